#pragma once
// The four configuration workflows behind the main window's buttons "Прочитать файл настроек
// системы", "Открыть файл настроек с диска", "Сохранить файл на диск" and "Транслировать файл в
// систему": they move the memory image between the apparatus, the program and the disk. The
// terminal's page "Текущие настройки" calls the same handlers.
//
// They work on the main window's program-wide values through WorkflowHost, and on an open
// terminal through ImageTextView. They run on the interface thread.
//
// Every change of the held image's bytes goes through StoreIntoImage or ReplaceImage here, which
// keep ImageLoaded / ImageModified in step with the image.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "image/ConvertDat.h"
#include "image/MemoryImage.h"
#include "link/SystemLink.h"

namespace kvt {

// The filter of the image file dialogs: index 1 is the ".mi" format, index 2 the ".dat" format.
inline constexpr const char* kImageFileFilter =
    "Образ памяти(*.mi)|*.mi|Файлы конфигурции системы (*.dat)|*.dat";
inline constexpr int kFilterMi = 1;
inline constexpr int kFilterDat = 2;
// The terminal's page that shows the image as text.
inline constexpr const char* kTerminalImagePage = "Текущие настройки";

// What the workflows need of the main window.
class WorkflowHost {
 public:
  virtual ~WorkflowHost() = default;
  virtual std::filesystem::path ProgramDir() const = 0;
  // Folder the file dialogs open in first.
  virtual std::string ImageDir() const = 0;
  // The held image (null when none) and the ".dat" file it came from.
  virtual std::unique_ptr<TMemoryImage>& CurrentImage() = 0;
  virtual std::string& CurrentDatFile() = 0;
  virtual void ShowState(const std::string& text) = 0;
  virtual void RefreshButtons() = 0;
  // Makes the state monitor show the current state again at its next poll.
  virtual void RequestReannounce() = 0;
  // Creates the terminal on the named page and shows it modally; returns when it is closed.
  virtual void OpenTerminal(const std::string& page) = 0;
  // Runs work while a progress window with the caption is shown; work reports through the
  // callback it is given.
  virtual void WithProgress(const std::string& caption,
                            const std::function<void(const ProgressCallback&)>& work) = 0;
};

// What the workflows need of an open terminal.
class ImageTextView {
 public:
  virtual ~ImageTextView() = default;
  // Repeats the terminal's set-up, which shows the held image as text.
  virtual void Setup() = 0;
  virtual void ShowImagePage() = 0;
  // The lines of the image text as shown (and maybe edited); empty when no image text is shown.
  virtual std::optional<std::vector<std::string>> ImageTextLines() const = 0;
  // Whether the shown text was UTF-8 on disk (it is written back in the encoding it came in).
  virtual bool ImageTextUtf8() const = 0;
  // Line end of the shown text's source ("\r\n" or "\n").
  virtual std::string ImageTextLineEnd() const = 0;
  // Takes the text as edited into the held image before it is saved; false (the engineer told
  // where the text is wrong) when the text has a format error and the image was left as it was.
  virtual bool TakeEditsIntoImage() { return true; }
};

// The image rendered as ".dat" text through a template.
struct RenderedImageText {
  bool ok = false;
  std::string text;   // UTF-8 for the memo
  bool utf8 = false;  // the template was UTF-8 on disk
  std::string lineEnd = "\n";
  std::string problem;  // why it failed, for the engineer (UTF-8)
  // The template names bytes beyond the image's end; their values are left out of the text.
  bool partial = false;
};

// How a save ended: written, cancelled in the dialog, or failed (the engineer was told why).
enum class SaveResult { Saved, Cancelled, Failed };

// The longest image that fits page 0 of the memory: it is written back from address 0, and a
// longer one would run on into the next module's page.
inline constexpr std::size_t kMaxImageSize = 0x10000;

class TConfigWorkflows {
 public:
  explicit TConfigWorkflows(WorkflowHost& host);
  ~TConfigWorkflows();
  TConfigWorkflows(const TConfigWorkflows&) = delete;
  TConfigWorkflows& operator=(const TConfigWorkflows&) = delete;

  WorkflowHost& Host() { return host_; }

  // --- the four handlers (each complete in itself) ---
  void btnReadConfigClick();
  void btnOpenConfigClick();
  void btnSaveConfigClick() { SaveImage(); }
  void btnTranslateToMemoryClick();
  // The save workflow, telling how it ended.
  SaveResult SaveImage();

  // The file the held image was last opened from or saved to; empty after a read from the
  // system.
  const std::string& ImageFile() const { return imageFile_; }

  // --- the open terminal (at most one) ---
  void AttachTerminal(ImageTextView* terminal) { terminal_ = terminal; }
  void DetachTerminal(ImageTextView* terminal) {
    if (terminal_ == terminal) terminal_ = nullptr;
  }
  ImageTextView* Terminal() const { return terminal_; }
  // Refreshes an open terminal on its image page, or opens one modally.
  void ShowTerminalWithImage();

  // --- changes of the held image ---
  // Stores bytes into the held image and marks it modified. Refused (false, nothing changed)
  // when no image is held or the bytes would reach beyond it (TMemoryImage::Store warns then).
  bool StoreIntoImage(std::size_t offset, const std::uint8_t* bytes, std::size_t count);
  bool StoreIntoImage(std::size_t offset, const std::vector<std::uint8_t>& bytes) {
    return StoreIntoImage(offset, bytes.data(), bytes.size());
  }
  // Replaces the held image by a new one holding these bytes (ImageLoaded becomes true).
  void ReplaceImage(const std::vector<std::uint8_t>& bytes);

  // --- the image as text ---
  // CurrentDatFile when set, else ProgramDir/Memory/etalon.pat.
  std::filesystem::path TemplatePath();
  // Writes the image to ProgramDir/mi.tmp, renders it through the template into
  // ProgramDir/dat.tmp and returns the text.
  RenderedImageText RenderImageText();
  // Applies an edited text to the held image: the bytes the text names take its values, the
  // others keep theirs. The text goes to ProgramDir/dat.tmp and the result to mi.tmp. On a format
  // error the image is left unchanged and *error says where.
  bool ApplyImageText(const std::string& utf8Text, bool utf8OnDisk, const std::string& lineEnd,
                      DatError* error);

  // The name read or written for a file chosen in a dialog: its extension replaced by ".mi"
  // (filter 1) or ".dat" (filter 2), or added when it has none; other filters keep the name.
  static std::string ApplyExtensionRule(const std::string& chosen, int filterIndex);

  // Writes text lines to a file (windows-1251 unless utf8, each line followed by lineEnd), never
  // leaving a half-written file. False when it could not be written.
  static bool SaveLines(const std::filesystem::path& path, const std::vector<std::string>& lines,
                        bool utf8, const std::string& lineEnd);

 private:
  std::filesystem::path Scratch(const char* name) { return host_.ProgramDir() / name; }
  bool ImageHeld();
  // Tells the engineer when an opened image is not as long as vesmar.ini gives the image.
  void WarnOfImageSize(const std::string& name, std::size_t size);
  SaveResult SaveMi(const std::string& name);
  SaveResult SaveDat(const std::string& name);

  WorkflowHost& host_;
  ImageTextView* terminal_ = nullptr;
  std::string imageFile_;
};

// The program's workflows (null when none are installed).
TConfigWorkflows* TheConfigWorkflows();
void SetTheConfigWorkflows(TConfigWorkflows* workflows);

// Messages of the workflows.
namespace wftext {
inline constexpr const char* kAskLoadNew = "Образ памяти уже был загружен.\nЗагрузить новый?";
inline constexpr const char* kNoImageConfig =
    "В файле vesmar.ini отсутствует конфигурация образа памяти.\nStart_Image_Bank\n"
    "Memory_Image_Size";
inline constexpr const char* kAskSaveCurrent = "Сохранить текущий файл настроек?";
inline constexpr const char* kStateReading = "ЧТЕНИЕ ОБРАЗА ПАМЯТИ";
inline constexpr const char* kStateRead = "ОБРАЗ ПРОЧИТАН";
inline constexpr const char* kStateReadFailed = "ОШИБКА ЧТЕНИЯ ОБРАЗА";
inline constexpr const char* kProgressRead = "Чтение образа памяти...";
inline constexpr const char* kProgressWrite = "Запись образа памяти в систему...";
inline constexpr const char* kReadFailed =
    "Образ памяти прочитан не полностью: система не ответила.\nПрочитанные данные отброшены.";
inline constexpr const char* kWriteFailed =
    "Образ памяти записан в систему не полностью: система не ответила.\n"
    "Повторите трансляцию после проверки связи.";
inline constexpr const char* kCannotOpen = "Не удалось открыть файл\n";
inline constexpr const char* kCannotWrite = "Не удалось записать файл\n";
inline constexpr const char* kDatSaveFailed = "Файл не сохранён: образ не преобразован в текст.\n";
inline constexpr const char* kVesmarTitle = "vesmar";
inline constexpr const char* kBadImageConfig =
    "В файле vesmar.ini неверная конфигурация образа памяти:\nMemory_Image_Size должен быть "
    "больше Start_Image_Bank.";
inline constexpr const char* kNotAnImage = "Файл не подходит как образ памяти системы:\n";
inline constexpr const char* kImageSizeDiffers =
    "Длина образа памяти в файле не та, что задана в vesmar.ini:\n";
inline constexpr const char* kNothingToWrite =
    "Образ памяти не записан в систему: он пуст или длиннее страницы 0 (65536 байт).";
}  // namespace wftext

}  // namespace kvt
