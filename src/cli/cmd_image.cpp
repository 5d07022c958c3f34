// kvtctl commands of the memory image: converting between ".dat" and ".mi", and reading and
// writing the image of the apparatus.

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/ApparatusImage.h"
#include "cli/Command.h"
#include "cli/Json.h"
#include "image/ConvertDat.h"
#include "image/MemoryImage.h"
#include "image/Settings.h"
#include "link/SystemLink.h"
#include "platform/Files.h"
#include "platform/LinkLock.h"
#include "platform/Paths.h"

namespace {

namespace fs = std::filesystem;

// Converter failures: file errors are already on standard error (the converter's own line); a
// format error gets one line that names the token, and the exit code is the converter's result.
int ConvertFailed(const fs::path& text, const kvt::DatError& error, int result) {
  if (error.kind != kvt::DatErrorKind::None)
    std::cerr << "kvtctl: " << text.string() << ": " << error.Describe() << "\n";
  return result;
}

std::optional<std::size_t> ParseSize(const std::string& text) {
  if (text.empty() || text.size() > 8) return std::nullopt;
  std::size_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + std::size_t(c - '0');
  }
  // The controller's address space is 24 bits wide.
  if (value == 0 || value > 0x1000000) return std::nullopt;
  return value;
}

std::string Extension(const fs::path& p) {
  std::string ext = p.extension().string();
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

// Progress of a long transfer on a terminal; scripts redirecting stderr see nothing of it.
kvt::ProgressCallback Progress(const char* what) {
  if (!isatty(STDERR_FILENO)) return nullptr;
  return [what](int percent) {
    std::fprintf(stderr, "\r%s %3d%%", what, percent);
    if (percent >= 100) std::fputc('\n', stderr);
  };
}

int Dat2Mi(cli::Context& context) {
  const auto& a = context.args;
  if (a.size() < 2 || a.size() > 3) return cli::Fail("usage: dat2mi IN.dat OUT.mi [SIZE]");
  std::size_t size = kvt::kDatImageSize;
  if (a.size() == 3) {
    const auto parsed = ParseSize(a[2]);
    if (!parsed) return cli::Fail("dat2mi: SIZE must be a byte count from 1 to 16777216");
    size = *parsed;
  }
  kvt::DatError error;
  const int result = kvt::ConvertDat(kvt::DatToBinary, a[0], a[1], "", size, &error);
  return result == 0 ? 0 : ConvertFailed(a[0], error, result);
}

int Mi2Dat(cli::Context& context) {
  const auto& a = context.args;
  if (a.size() != 3) return cli::Fail("usage: mi2dat IN.mi OUT.dat TEMPLATE");
  std::error_code ec;
  const auto size = fs::file_size(a[0], ec);
  if (ec) {
    std::fprintf(stderr, "Can't open file %s\n", a[0].c_str());
    return 1;
  }
  kvt::DatError error;
  const int result = kvt::ConvertDat(kvt::BinaryToDat, a[1], a[0], a[2], std::size_t(size), &error);
  return result == 0 ? 0 : ConvertFailed(a[2], error, result);
}

int ReadImage(cli::Context& context) {
  if (context.args.size() != 1) return cli::Fail("usage: read-image OUT.mi|OUT.dat");
  const fs::path out = context.args[0];
  const std::string ext = Extension(out);
  if (ext != ".mi" && ext != ".dat")
    return cli::Fail("read-image: " + out.string() + ": the name must end in .mi or .dat");
  std::string templ;
  const fs::path templatePath = platform::ProgramDir() / "Memory" / "etalon.pat";
  if (ext == ".dat") {
    const auto text = platform::ReadTextFile(templatePath);
    if (!text) return cli::Fail("read-image: cannot read the template " + templatePath.string());
    templ = *text;
  }
  std::vector<std::uint8_t> image;
  kvt::BackupResult backup;
  if (const int failed = cli::ReadApparatusImage("read-image", image, &backup)) return failed;

  if (ext == ".mi") {
    if (!platform::WriteFileAtomic(out, image))
      return cli::Failed("read-image: cannot write " + out.string());
  } else {
    std::string text;
    kvt::DatError error;
    if (!kvt::RenderDatText(templ, image, text, &error))
      return cli::Failed("read-image: template " + templatePath.string() + ": " + error.Describe());
    if (!platform::WriteFileAtomic(out, text))
      return cli::Failed("read-image: cannot write " + out.string());
  }
  const auto config = kvt::settings::ReadImageConfig();
  if (cli::JsonOutput()) {
    cli::Json doc = cli::JsonDocument();
    doc["file"] = out.string();
    doc["format"] = ext.substr(1);
    doc["bytes"] = image.size();
    doc["first_bank"] = config ? cli::Json(config->startBank & 0xFF) : cli::Json();
    doc["last_bank"] = config ? cli::Json((config->endBank & 0xFF) - 1) : cli::Json();
    doc["backup"] = backup.ok ? cli::Json(backup.path.string()) : cli::Json();
    doc["backup_problem"] = backup.ok ? cli::Json() : cli::Json(backup.problem);
    return cli::EmitJson(std::move(doc), 0);
  }
  std::cout << image.size() << " bytes";
  if (config)
    std::cout << " (banks " << (config->startBank & 0xFF) << ".." << ((config->endBank & 0xFF) - 1)
              << ")";
  std::cout << " saved to " << out.string() << "\n";
  return 0;
}

int WriteImage(cli::Context& context) {
  if (context.args.size() != 1) return cli::Fail("usage: write-image IN.mi|IN.dat");
  const fs::path in = context.args[0];
  const std::string ext = Extension(in);
  std::vector<std::uint8_t> bytes;
  if (ext == ".mi") {
    auto file = platform::ReadBinaryFile(in);
    if (!file) return cli::Fail("write-image: cannot read " + in.string());
    bytes = std::move(*file);
  } else if (ext == ".dat") {
    const auto text = platform::ReadBinaryFile(in);
    if (!text) return cli::Fail("write-image: cannot read " + in.string());
    const std::string_view view(reinterpret_cast<const char*>(text->data()), text->size());
    kvt::DatError error;
    bytes = kvt::DatTextToImage(view, kvt::kDatImageSize, &error);
    if (error.kind != kvt::DatErrorKind::None)
      return cli::Fail("write-image: " + in.string() + ": " + error.Describe() + "; nothing sent");
    // A text that names no byte of the image would write zeros over the whole configuration.
    std::vector<kvt::DatValue> values;
    kvt::ListDatValues(view, values);
    const bool namesSome = std::any_of(values.begin(), values.end(), [](const kvt::DatValue& v) {
      return v.address + (v.wide ? 2 : 1) <= kvt::kDatImageSize;
    });
    if (!namesSome)
      return cli::Fail("write-image: " + in.string() +
                       " holds no value of the image; nothing sent");
  } else {
    return cli::Fail("write-image: " + in.string() + ": the name must end in .mi or .dat");
  }
  if (bytes.empty()) return cli::Fail("write-image: " + in.string() + " is empty; nothing sent");
  if (bytes.size() > 0x10000)
    return cli::Fail("write-image: " + in.string() + " is larger than page 0; nothing sent");

  auto connection = cli::ConnectApparatus();
  if (!connection) return 2;
  kvt::TSystemLink link;
  bool ok;
  {
    platform::LinkLock::Guard lock(platform::TheLinkLock());
    link.WriteMemory(0, std::uint32_t(bytes.size()), bytes.data(),
                     Progress("Запись образа памяти в систему..."));
    ok = link.LastTransferOk();
  }
  if (!ok)
    return cli::Failed(
        "write-image: the apparatus did not acknowledge every write; the write stopped there "
        "(nothing was committed when a chunk failed): check the system with identify");
  std::cout << bytes.size() << " bytes written from address 0\n";
  return 0;
}

const cli::Registrar dat2mi("dat2mi",
                            "dat2mi IN.dat OUT.mi [SIZE]   convert a .dat text (1280 bytes)",
                            Dat2Mi);
const cli::Registrar mi2dat("mi2dat",
                            "mi2dat IN.mi OUT.dat TEMPLATE  convert an image through a template",
                            Mi2Dat);
const cli::Registrar readImage(
    "read-image", "read-image OUT.mi|OUT.dat        read the memory image of the apparatus",
    ReadImage, true);
const cli::Registrar writeImage(
    "write-image", "write-image IN.mi|IN.dat         write an image into the apparatus",
    WriteImage);

}  // namespace
