#include "image/Workflows.h"

#include <cstdio>
#include <system_error>

#include "image/ImageBackup.h"
#include "image/Settings.h"
#include "link/SystemStatus.h"
#include "platform/Codepage.h"
#include "platform/Files.h"
#include "platform/LinkLock.h"
#include "platform/Ui.h"

namespace kvt {

namespace {

TConfigWorkflows* theWorkflows = nullptr;

void ShowError(const std::string& text, const std::string& title = "") {
  platform::ShowMessage(text, title, platform::Icon::Error);
}

std::string PathText(const std::filesystem::path& p) {
  return p.string();
}

// Text from disk for the memo: windows-1251 unless the file is UTF-8 (kept as it came).
std::string ToMemoText(const std::string& bytes, bool& utf8) {
  utf8 = platform::LooksLikeUtf8(bytes);
  if (!utf8) return platform::Cp1251ToUtf8(bytes);
  // A byte-order mark is not part of the text the engineer edits.
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return bytes.substr(3);
  return bytes;
}

std::string FromMemoText(const std::string& text, bool utf8) {
  return utf8 ? text : platform::Utf8ToCp1251(text);
}

std::string DetectLineEnd(const std::string& text) {
  return text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
}

// What the engineer is told about a format error; the token is shown in the text's own encoding.
std::string DescribeDatError(const DatError& e, bool utf8) {
  if (!utf8) return e.Describe();
  DatError copy = e;
  copy.token = platform::Utf8ToCp1251(e.token);
  return copy.Describe();
}

}  // namespace

TConfigWorkflows* TheConfigWorkflows() {
  return theWorkflows;
}

void SetTheConfigWorkflows(TConfigWorkflows* workflows) {
  theWorkflows = workflows;
}

TConfigWorkflows::TConfigWorkflows(WorkflowHost& host) : host_(host) {}

TConfigWorkflows::~TConfigWorkflows() {
  if (theWorkflows == this) theWorkflows = nullptr;
}

bool TConfigWorkflows::ImageHeld() {
  return SystemStatus().ImageLoaded && host_.CurrentImage() != nullptr;
}

std::string TConfigWorkflows::ApplyExtensionRule(const std::string& chosen, int filterIndex) {
  const char* ext = filterIndex == kFilterMi ? ".mi" : filterIndex == kFilterDat ? ".dat" : nullptr;
  if (!ext) return chosen;
  // Only the file name's own last point counts, not one in a folder name.
  const std::size_t slash = chosen.find_last_of("/\\");
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t dot = chosen.find_last_of('.');
  std::string base = chosen;
  if (dot != std::string::npos && dot >= nameStart) base.resize(dot);
  return base + ext;
}

bool TConfigWorkflows::SaveLines(const std::filesystem::path& path,
                                 const std::vector<std::string>& lines, bool utf8,
                                 const std::string& lineEnd) {
  std::string text;
  for (const auto& line : lines) {
    text += line;
    text += lineEnd;
  }
  return platform::WriteFileAtomic(path, FromMemoText(text, utf8));
}

// ----------------------------------------------------------------------------- image changes

bool TConfigWorkflows::StoreIntoImage(std::size_t offset, const std::uint8_t* bytes,
                                      std::size_t count) {
  auto& image = host_.CurrentImage();
  if (!SystemStatus().ImageLoaded || !image) return false;
  if (!image->Store(offset, count, bytes)) return false;
  SystemStatus().ImageModified = true;
  return true;
}

void TConfigWorkflows::ReplaceImage(const std::vector<std::uint8_t>& bytes) {
  host_.CurrentImage() = TMemoryImage::CreateFromBuffer(bytes);
  SystemStatus().ImageLoaded = true;
}

// ----------------------------------------------------------------------------- image as text

std::filesystem::path TConfigWorkflows::TemplatePath() {
  const std::string& dat = host_.CurrentDatFile();
  if (!dat.empty()) return dat;
  return host_.ProgramDir() / "Memory" / "etalon.pat";
}

RenderedImageText TConfigWorkflows::RenderImageText() {
  RenderedImageText r;
  auto& image = host_.CurrentImage();
  if (!image) {
    r.problem = "Образ памяти не загружен.";
    return r;
  }
  const std::filesystem::path templ = TemplatePath();
  // The scratch copy of the image, as the save workflow and the converter expect it there.
  if (!platform::WriteFileAtomic(Scratch("mi.tmp"), image->Image))
    r.problem = "Не удалось записать файл " + PathText(Scratch("mi.tmp")) + ".\n";
  auto templText = platform::ReadTextFile(templ);
  if (!templText) {
    r.problem += "Не удалось открыть шаблон " + PathText(templ) + ".";
    return r;
  }
  bool utf8 = platform::LooksLikeUtf8(*templText);
  std::string out;
  DatError error;
  // Bytes the image does not hold are not shown with the template's values as if they were its.
  if (!RenderDatText(*templText, image->Image, out, &error, true, &r.partial)) {
    r.problem += "Ошибка в шаблоне " + PathText(templ) + ":\n" + DescribeDatError(error, utf8);
    return r;
  }
  // The text shown is the one dat.tmp holds; it is not read back, so a stale dat.tmp is never
  // shown in place of this image.
  platform::WriteFileAtomic(Scratch("dat.tmp"), out);
  r.ok = true;
  r.lineEnd = DetectLineEnd(out);
  r.text = ToMemoText(out, r.utf8);
  r.utf8 = utf8;
  r.problem.clear();
  return r;
}

bool TConfigWorkflows::ApplyImageText(const std::string& utf8Text, bool utf8OnDisk,
                                      const std::string& lineEnd, DatError* error) {
  auto& image = host_.CurrentImage();
  if (!image) return false;
  // Line by line, as the memo holds it.
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (;;) {
    const std::size_t nl = utf8Text.find('\n', start);
    if (nl == std::string::npos) {
      lines.push_back(utf8Text.substr(start));
      break;
    }
    lines.push_back(utf8Text.substr(start, nl - start));
    start = nl + 1;
  }
  SaveLines(Scratch("dat.tmp"), lines, utf8OnDisk, lineEnd);
  std::string onDisk;
  for (const auto& l : lines) onDisk += l + lineEnd;
  onDisk = FromMemoText(onDisk, utf8OnDisk);
  // Onto a copy of the held image: bytes the text does not name keep their values.
  std::vector<std::uint8_t> bytes = image->Image;
  DatError e;
  if (!ParseDatText(onDisk, bytes, &e)) {
    if (error) {
      *error = e;
      if (utf8OnDisk) error->token = platform::Utf8ToCp1251(e.token);
    }
    return false;
  }
  platform::WriteFileAtomic(Scratch("mi.tmp"), bytes);
  ReplaceImage(bytes);
  return true;
}

// ----------------------------------------------------------------------------- terminal

void TConfigWorkflows::ShowTerminalWithImage() {
  if (terminal_) {
    terminal_->Setup();
    terminal_->ShowImagePage();
    return;
  }
  host_.OpenTerminal(kTerminalImagePage);
}

// ----------------------------------------------------------------------------- read

void TConfigWorkflows::btnReadConfigClick() {
  auto& status = SystemStatus();
  if (status.ImageLoaded && !platform::AskYesNo(wftext::kAskLoadNew)) return;
  const auto config = settings::ReadImageConfig(host_.ProgramDir() / "vesmar.ini");
  if (!config) {
    ShowError(wftext::kNoImageConfig);
    return;
  }
  // Only the low byte of each bank number counts; an empty range would give an empty image that
  // replaces the held one.
  if ((config->endBank & 0xFF) <= (config->startBank & 0xFF)) {
    ShowError(wftext::kBadImageConfig);
    return;
  }
  host_.ShowState(wftext::kStateReading);
  // The held image stays until the new one has been read whole: a silent line must not leave
  // zeros behind that a later translation would write into the apparatus.
  auto image = std::make_unique<TMemoryImage>();
  bool ok = false;
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    host_.WithProgress(wftext::kProgressRead, [&](const ProgressCallback& progress) {
      ok = image->LoadFromSystem(config->startBank, config->endBank, progress);
    });
  }
  if (!ok) {
    host_.ShowState(wftext::kStateReadFailed);
    ShowError(wftext::kReadFailed);
    host_.RefreshButtons();
    host_.RequestReannounce();
    return;
  }
  host_.CurrentImage() = std::move(image);
  // The raw image is also kept in the backup folder; a backup that fails is said, the read stands.
  const BackupResult backup =
      BackupImage(host_.ProgramDir(), status.SystemType(), host_.CurrentImage()->Image);
  if (backup.ok) {
    host_.ShowState(wftext::kStateRead);
  } else {
    std::fprintf(stderr, "Резервная копия образа не сохранена: %s\n", backup.problem.c_str());
    host_.ShowState(kStateReadNoBackup);
  }
  status.ImageLoaded = true;
  host_.CurrentDatFile().clear();
  imageFile_.clear();
  host_.RefreshButtons();
  // The monitor would replace the state text at its next poll; a missing backup stays in view
  // until the apparatus's state changes, so the engineer gets to read it.
  if (backup.ok) host_.RequestReannounce();
  ShowTerminalWithImage();
}

// ----------------------------------------------------------------------------- open

void TConfigWorkflows::btnOpenConfigClick() {
  auto& status = SystemStatus();
  if (status.ImageLoaded) {
    if (!platform::AskYesNo(wftext::kAskLoadNew)) return;
    if (status.ImageModified) {
      // A save the engineer asked for that did not happen (the edited text has an error, the
      // file could not be written) ends the workflow: the changes are still only here.
      if (platform::AskYesNo(wftext::kAskSaveCurrent) && SaveImage() == SaveResult::Failed) return;
      status.ImageModified = false;
    }
  }
  platform::FileDialogRequest request;
  request.save = false;
  request.initialDir = host_.ImageDir();
  request.filter = kImageFileFilter;
  request.filterIndex = kFilterMi;
  request.defaultExt = "mi";
  const platform::FileDialogResult chosen = platform::CurrentUi().RunFileDialog(request);
  if (!chosen.accepted) return;
  const std::string name = ApplyExtensionRule(chosen.path, chosen.filterIndex);

  if (chosen.filterIndex == kFilterMi) {
    // The held image is replaced only once the new file has been read.
    auto bytes = platform::ReadBinaryFile(name);
    if (!bytes) {
      ShowError(wftext::kCannotOpen + name);
    } else if (bytes->empty() || bytes->size() > kMaxImageSize) {
      ShowError(wftext::kNotAnImage + name + "\nДлина файла " + std::to_string(bytes->size()) +
                " байт; образ памяти занимает от 1 до " + std::to_string(kMaxImageSize) +
                " байт (страница 0).");
    } else {
      ReplaceImage(*bytes);
      host_.CurrentDatFile().clear();
      imageFile_ = name;
      WarnOfImageSize(name, bytes->size());
    }
  } else if (chosen.filterIndex == kFilterDat) {
    DatError error;
    const int n = ConvertDat(DatToBinary, name, Scratch("mi.tmp"), {}, kDatImageSize, &error);
    if (n != 0) {
      // The file and the place of the error, as far as the converter knows them.
      std::string why = "Ошибка " + std::to_string(n) + "\n" + name;
      if (error.kind != DatErrorKind::None) {
        auto raw = platform::ReadTextFile(name);
        why += "\n" + DescribeDatError(error, raw && platform::LooksLikeUtf8(*raw));
      } else {
        why += "\nФайл не удалось прочитать, или не удалось записать " +
               PathText(Scratch("mi.tmp")) + ".";
      }
      ShowError(why, wftext::kVesmarTitle);
    } else {
      auto bytes = platform::ReadBinaryFile(Scratch("mi.tmp"));
      if (!bytes || bytes->size() != kDatImageSize) {
        ShowError(wftext::kCannotOpen + PathText(Scratch("mi.tmp")));
      } else {
        ReplaceImage(*bytes);
        host_.CurrentDatFile() = name;
        imageFile_ = name;
      }
    }
  }
  host_.RefreshButtons();
  if (status.ImageLoaded) ShowTerminalWithImage();
}

void TConfigWorkflows::WarnOfImageSize(const std::string& name, std::size_t size) {
  const auto config = settings::ReadImageConfig(host_.ProgramDir() / "vesmar.ini");
  if (!config) return;
  const int banks = (config->endBank & 0xFF) - (config->startBank & 0xFF);
  if (banks <= 0 || size == std::size_t(banks) * 256) return;
  const std::size_t expected = std::size_t(banks) * 256;
  std::string text = wftext::kImageSizeDiffers + name + "\nВ файле " + std::to_string(size) +
                     " байт, ожидается " + std::to_string(expected) +
                     " байт (банков: " + std::to_string(banks) + ").";
  if (size < expected)
    text += "\nЗначения за концом образа не показаны и не будут записаны в систему.";
  else
    text +=
        "\nОбраз будет записан в систему целиком, со всеми " + std::to_string(size) + " байтами.";
  platform::ShowMessage(text, "", platform::Icon::Warning);
}

// ----------------------------------------------------------------------------- save

SaveResult TConfigWorkflows::SaveImage() {
  // What was typed into the terminal's text goes into the image first, so a ".mi" save holds it
  // too; a text with an error is not saved at all.
  if (terminal_ && host_.CurrentImage() && !terminal_->TakeEditsIntoImage())
    return SaveResult::Failed;
  platform::FileDialogRequest request;
  request.save = true;
  request.initialDir = host_.ImageDir();
  request.filter = kImageFileFilter;
  request.filterIndex = kFilterMi;
  const platform::FileDialogResult chosen = platform::CurrentUi().RunFileDialog(request);
  if (!chosen.accepted) return SaveResult::Cancelled;
  if (!host_.CurrentImage()) return SaveResult::Cancelled;
  const std::string name = ApplyExtensionRule(chosen.path, chosen.filterIndex);
  if (chosen.filterIndex == kFilterMi) return SaveMi(name);
  if (chosen.filterIndex == kFilterDat) return SaveDat(name);
  return SaveResult::Cancelled;
}

SaveResult TConfigWorkflows::SaveMi(const std::string& name) {
  if (!platform::WriteFileAtomic(name, host_.CurrentImage()->Image)) {
    // The changes are still only in the program: the flag stays so the close offers to save.
    ShowError(wftext::kCannotWrite + name);
    return SaveResult::Failed;
  }
  SystemStatus().ImageModified = false;
  imageFile_ = name;
  return SaveResult::Saved;
}

SaveResult TConfigWorkflows::SaveDat(const std::string& name) {
  const TMemoryImage& image = *host_.CurrentImage();
  const std::filesystem::path templ = TemplatePath();
  const bool scratchWritten = platform::WriteFileAtomic(Scratch("mi.tmp"), image.Image);

  std::optional<std::vector<std::string>> lines;
  if (terminal_) lines = terminal_->ImageTextLines();
  if (lines) {
    // The text as the terminal shows it, edits included.
    if (!SaveLines(name, *lines, terminal_->ImageTextUtf8(), terminal_->ImageTextLineEnd())) {
      ShowError(wftext::kCannotWrite + name);
      return SaveResult::Failed;
    }
    host_.CurrentDatFile() = name;
    SystemStatus().ImageModified = false;
    imageFile_ = name;
    return SaveResult::Saved;
  }
  // The converter reads the image back from mi.tmp: an old copy there must not be saved as this
  // image.
  if (!scratchWritten) {
    ShowError(wftext::kDatSaveFailed + std::string(wftext::kCannotWrite) +
              PathText(Scratch("mi.tmp")));
    return SaveResult::Failed;
  }
  DatError error;
  const int n = ConvertDat(BinaryToDat, name, Scratch("mi.tmp"), templ, image.Image.size(), &error);
  if (n != 0) {
    std::string why;
    if (error.kind != DatErrorKind::None) {
      auto raw = platform::ReadTextFile(templ);
      why = "Ошибка в шаблоне " + PathText(templ) + ":\n" +
            DescribeDatError(error, raw && platform::LooksLikeUtf8(*raw));
    } else {
      why = "Не удалось открыть шаблон " + PathText(templ) + " или записать файл " + name + ".";
    }
    ShowError(wftext::kDatSaveFailed + why);
    return SaveResult::Failed;
  }
  SystemStatus().ImageModified = false;
  imageFile_ = name;
  return SaveResult::Saved;
}

// ----------------------------------------------------------------------------- translate

void TConfigWorkflows::btnTranslateToMemoryClick() {
  auto& image = host_.CurrentImage();
  if (!image) return;
  // An empty image would send only the commit frames; a longer one than page 0 would run on
  // into the next module's memory.
  if (image->Image.empty() || image->Image.size() > kMaxImageSize) {
    ShowError(wftext::kNothingToWrite);
    return;
  }
  bool ok = true;
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    host_.WithProgress(wftext::kProgressWrite, [&](const ProgressCallback& progress) {
      image->WriteMemory(0, std::uint32_t(image->Image.size()), image->Image.data(), progress);
      ok = image->LastTransferOk();
    });
  }
  if (!ok) ShowError(wftext::kWriteFailed);
}

}  // namespace kvt
