#pragma once
// TfrmTerminal ("Терминал"), the engineer's low-level tool, with three pages: a console that sends
// raw frames typed as hexadecimal bytes and shows what goes out and comes back; a memory viewer
// that shows one bank of any page as a hexadecimal grid; and "Текущие настройки", where the held
// image is shown and edited as ".dat" text and opened, read, saved, translated or kept as the
// template through the configuration workflows.
//
// It is shown modally and holds the device lock from construction to destruction, so nothing
// else talks to the apparatus meanwhile; the workflows it calls take the lock again on the same
// thread.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/ToolWindow.h"
#include "image/Workflows.h"
#include "link/SystemLink.h"
#include "platform/Controls.h"

namespace kvt {

class TfrmTerminal : public ImageTextView, public ToolFormModel, public platform::FormFocus {
 public:
  // Page names; the captions are "Консоль", "Память" and "Текущие настройки".
  static constexpr const char* kConsole = "tsConsole";
  static constexpr const char* kMemory = "tsMemory";
  static constexpr const char* kMemImage = "tsMemImage";
  // Texts of the window's questions and messages.
  static constexpr const char* kAskSaveChanges = "Сохранить изменения файла настроек?";
  static constexpr const char* kAskTemplate = "Сохранить текущие настройки как шаблон?";
  static constexpr const char* kProgressBank = "Чтение банка памяти...";
  static constexpr const char* kBankNotRead =
      "Банк памяти не прочитан: система не ответила.\nПовторите чтение после проверки связи.";
  static constexpr const char* kTemplatePartial =
      "Шаблон не заменён: образ памяти короче шаблона, и значения за его концом в тексте не "
      "показаны.";
  static constexpr const char* kTextError = "В тексте настроек ошибка.\n";
  static constexpr const char* kBadLine = "Команда не отправлена: ";
  static constexpr const char* kLineRule =
      "\n\nКоманда вводится байтами из двух шестнадцатеричных цифр (00..FF) через пробел; первый "
      "байт — число байтов после него, например: 01 2E";
  static constexpr const char* kNoReply = "Ответ не получен: система не ответила на команду.";
  static constexpr const char* kTextErrorTail =
      "\nОбраз памяти не изменён. Исправьте текст и повторите.";

  // Counts as the host's open terminal (none: a terminal tested alone) and takes the device lock.
  explicit TfrmTerminal(TConfigWorkflows& workflows, MainHost* host = nullptr);
  // Destruction: offers to save a modified image (unless the close already asked) and releases the
  // device lock.
  ~TfrmTerminal() override;

  // --- controls ---
  platform::PageControl Pages{"Pages"};
  // Console.
  platform::GroupBox GroupBox1{"GroupBox1"};  // " Монитор "
  platform::Memo fMonitor{"fMonitor"};
  platform::GroupBox GroupBox2{"GroupBox2"};  // " Команда "
  platform::ComboBox InputLine{"InputLine"};
  platform::Label StatusBar{"StatusBar1"};
  platform::Button btnClBL{"btnClBL"};
  platform::Button btnReset{"btnReset"};
  platform::Button btnPowOn{"btnPowOn"};
  // Memory viewer.
  platform::Label Label1{"Label1"};  // "Страница"
  platform::Edit edPage{"edPage"};
  platform::UpDown udPage{"udPage"};
  platform::Label Label2{"Label2"};  // "Банк"
  platform::Edit edBank{"edBank"};
  platform::UpDown udBank{"udBank"};
  platform::Button btnReadBank{"btnReadBank"};
  platform::StringGrid BankData{"BankData", 17, 17};
  // Image page.
  platform::GroupBox GroupBox3{"GroupBox3"};  // " Загруженный образ памяти системы "
  platform::Memo ImageMemo{"ImageMemo"};
  platform::Button btnOpen{"btnOpen"};
  platform::Button btnRead{"btnRead"};
  platform::Button btnSave{"btnSave"};
  platform::Button btnTranslate{"btnTranslate"};
  platform::Button btnTemplate{"btnTemplate"};

  // The memo's text is centred (the hint shown before an image is loaded) or left-aligned.
  bool ImageMemoCentered() const { return memoCentered_; }

  // --- handlers ---
  // Set-up: the terminal's link, cleared monitor and command line, grid headers, pages by the
  // link state, and the image as text.
  void FormCreate();
  void FormShow();
  void PagesChange();
  // Enter in the command line.
  void InputLineEnter();
  void btnClBLClick();
  void btnResetClick();
  void btnPowOnClick();
  void btnReadBankClick();
  void btnOpenClick();
  void btnReadClick();
  void btnSaveClick();
  void btnTranslateClick();
  void btnTemplateClick();
  // The image text was changed by the engineer (typed, pasted, cut, dropped).
  void ImageMemoKeyPress();
  // The window is asked to close: offers to save a modified image; false keeps it open (an edited
  // text with an error that would otherwise be lost).
  bool FormCloseQuery();

  // --- for the view ---
  // Select the whole text of the command line.
  std::function<void()> OnSelectInputLine;
  // Put the image text's cursor at the start of this line (1-based): a format error's place.
  std::function<void(int line)> OnShowTextLine;
  bool IsVisible() const { return visible_; }
  // Makes the page with this name or caption active (if its tab is shown).
  void SelectPage(const std::string& page);

  // --- ImageTextView ---
  void Setup() override { FormCreate(); }
  void ShowImagePage() override;
  std::optional<std::vector<std::string>> ImageTextLines() const override;
  bool ImageTextUtf8() const override { return textUtf8_; }
  std::string ImageTextLineEnd() const override { return lineEnd_; }
  bool TakeEditsIntoImage() override;

  // --- console helpers ---
  // The bytes of a console line, or nothing when the line is invalid: tokens separated by spaces,
  // each of the characters 0..9, A..F (either case) and at most FF.
  static std::optional<std::vector<std::uint8_t>> ParseConsoleLine(const std::string& line);
  // Why a console line is not sent (a character that is not a hexadecimal byte, a length byte
  // that does not match the bytes after it); empty for a line that is sent.
  static std::string ConsoleLineProblem(const std::string& line);
  // Two upper-case hexadecimal digits per byte, each followed by a space.
  static std::string HexEcho(const std::uint8_t* bytes, std::size_t count);

  // --- showing it ---
  // What the view does while the terminal is shown modally: returns once it has been closed.
  using ModalRunner = std::function<void(TfrmTerminal&)>;
  static void SetModalRunner(ModalRunner runner);

 private:
  // "Терминал", the image's file name when it came from or went to one, and " *" once edited.
  void UpdateCaption();
  void FillGridHeaders();
  void ShowImageAsText();
  void ShowHint();
  void PressQuickButton(const char* line);
  // Takes the edited text into the image; false (and the engineer told) on a format error.
  bool ApplyEditedText();

  TConfigWorkflows& workflows_;
  std::unique_ptr<TSystemLink> link_;
  bool visible_ = false;
  bool memoCentered_ = true;
  bool textShown_ = false;
  bool textUtf8_ = false;
  bool textPartial_ = false;  // the image is shorter than the template: values left out
  std::string lineEnd_ = "\n";
  bool closeAsked_ = false;

  friend void OpenTerminalWindow(TConfigWorkflows& workflows, const std::string& page,
                                 MainHost* host);
};

// Creates the terminal of the host on the named page (name or caption), shows it modally and
// destroys it when it is closed. The workflows' own terminal requests come here.
void OpenTerminalWindow(TConfigWorkflows& workflows, const std::string& page,
                        MainHost* host = nullptr);

}  // namespace kvt
