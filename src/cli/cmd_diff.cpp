// kvtctl diff: what differs between two configuration images, in the template's words. Either
// side is a ".mi" or ".dat" file or the word "apparatus" (its image read now).

#include <cctype>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/ApparatusImage.h"
#include "cli/Command.h"
#include "cli/Json.h"
#include "image/ConvertDat.h"
#include "image/ImageDiff.h"
#include "image/MemoryImage.h"
#include "image/Settings.h"
#include "image/Workflows.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kApparatus = "apparatus";

std::string Extension(const fs::path& p) {
  std::string ext = p.extension().string();
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

// A file side of the comparison; 0, or the exit code with the reason printed.
int LoadFile(const std::string& name, std::vector<std::uint8_t>& image) {
  const std::string ext = Extension(name);
  if (ext != ".mi" && ext != ".dat")
    return cli::Fail("diff: " + name + ": give a .mi or .dat file or the word apparatus");
  auto bytes = platform::ReadBinaryFile(name);
  if (!bytes) return cli::Fail("diff: cannot read " + name);
  if (ext == ".mi") {
    // An image is at most page 0; anything longer is not one (and would only cost memory).
    if (bytes->size() > kvt::kMaxImageSize)
      return cli::Fail("diff: " + name + " is larger than page 0 (65536 bytes): not an image");
    // An empty or cut-off file would show every value of the other side as changed.
    if (bytes->empty()) return cli::Fail("diff: " + name + " is empty: not an image");
    if (bytes->size() % 256 != 0)
      return cli::Fail("diff: " + name + " holds " + std::to_string(bytes->size()) +
                       " bytes, not whole 256-byte banks: a truncated image");
    if (const auto config = kvt::settings::ReadImageConfig()) {
      const int banks = (config->endBank & 0xFF) - (config->startBank & 0xFF);
      if (banks > 0 && bytes->size() < std::size_t(banks) * 256)
        return cli::Fail("diff: " + name + " holds " + std::to_string(bytes->size()) +
                         " bytes, less than the " + std::to_string(banks * 256) +
                         " bytes vesmar.ini configures: a truncated image");
    }
    image = std::move(*bytes);
    return 0;
  }
  const std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
  kvt::DatError error;
  image = kvt::DatTextToImage(text, kvt::kDatImageSize, &error);
  if (error.kind != kvt::DatErrorKind::None)
    return cli::Fail("diff: " + name + ": " + error.Describe());
  return 0;
}

int Diff(cli::Context& context) {
  const auto& args = context.args;
  if (args.size() != 2) return cli::Fail("usage: diff A B (each a .mi or .dat file or apparatus)");
  // Both files are checked before the apparatus is asked, so a typo costs no image read.
  std::vector<std::uint8_t> images[2];
  for (int i = 0; i < 2; ++i) {
    if (args[std::size_t(i)] == kApparatus) continue;
    if (const int failed = LoadFile(args[std::size_t(i)], images[i])) return failed;
  }
  if (args[0] == kApparatus || args[1] == kApparatus) {
    std::vector<std::uint8_t> read;
    if (cli::ReadApparatusImage("diff", read) != 0) return cli::kExitNotStarted;
    for (int i = 0; i < 2; ++i)
      if (args[std::size_t(i)] == kApparatus) images[i] = read;
  }

  // Without the template the lines carry no comments; the comparison itself still holds.
  const fs::path templatePath = platform::ProgramDir() / "Memory" / "etalon.pat";
  std::string templ;
  if (auto text = platform::ReadTextFile(templatePath)) {
    std::vector<kvt::DatValue> values;
    kvt::DatError error;
    if (kvt::ListDatValues(*text, values, &error))
      templ = std::move(*text);
    else
      std::cerr << "kvtctl: diff: template " << templatePath.string() << ": " << error.Describe()
                << "; no comments shown\n";
  } else {
    std::cerr << "kvtctl: diff: cannot read the template " << templatePath.string()
              << "; no comments shown\n";
  }

  const kvt::ImageDiffResult diff = kvt::DiffImages(images[0], images[1], templ, args[0], args[1]);
  const int status = diff.equal ? 0 : 1;
  if (cli::JsonOutput()) {
    cli::Json doc = cli::JsonDocument();
    doc["a"] = args[0];
    doc["b"] = args[1];
    doc["equal"] = diff.equal;
    doc["differences"] = diff.lines;
    return cli::EmitJson(std::move(doc), status);
  }
  for (const std::string& line : diff.lines) std::cout << line << "\n";
  return status;
}

const cli::Registrar diffCommand(
    "diff", "diff A B              differing values of two images (.mi, .dat or apparatus)", Diff,
    true);

}  // namespace
