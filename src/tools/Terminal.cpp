#include "tools/Terminal.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "app/Manager.h"
#include "app/Progress.h"
#include "link/SystemStatus.h"
#include "platform/Codepage.h"
#include "platform/LinkLock.h"
#include "platform/Ui.h"

namespace kvt {

namespace {

TfrmTerminal::ModalRunner& Runner() {
  static TfrmTerminal::ModalRunner runner;
  return runner;
}

std::string Hex2(unsigned value) {
  char buf[3];
  std::snprintf(buf, sizeof buf, "%02X", value & 0xFFu);
  return buf;
}

}  // namespace

void TfrmTerminal::SetModalRunner(ModalRunner runner) {
  Runner() = std::move(runner);
}

TfrmTerminal::TfrmTerminal(TConfigWorkflows& workflows, MainHost* host)
    : ToolFormModel("frmTerminal", "Терминал", host, ToolWindow::Terminal), workflows_(workflows) {
  platform::TheLinkLock().Lock();

  Pages.AddPage(kConsole, "Консоль");
  Pages.AddPage(kMemory, "Память");
  Pages.AddPage(kMemImage, "Текущие настройки");
  Pages.SetActivePageIndex(0);
  Pages.OnChange = [this] { PagesChange(); };

  GroupBox1.SetCaption(" Монитор ");
  fMonitor.SetReadOnly(true);
  fMonitor.SetFontBold(true);
  GroupBox2.SetCaption(" Команда ");
  btnClBL.SetCaption("Снять блокировку");
  btnReset.SetCaption("Произвести сброс системы");
  btnPowOn.SetCaption("Включить систему");
  btnClBL.OnClick = [this] { btnClBLClick(); };
  btnReset.OnClick = [this] { btnResetClick(); };
  btnPowOn.OnClick = [this] { btnPowOnClick(); };

  Label1.SetCaption("Страница");
  Label2.SetCaption("Банк");
  udPage.SetAssociate(&edPage);
  udPage.SetRange(0, 15);
  udPage.SetPosition(0);
  udBank.SetAssociate(&edBank);
  udBank.SetRange(0, 255);
  udBank.SetPosition(0);
  btnReadBank.SetCaption("Читать");
  btnReadBank.OnClick = [this] { btnReadBankClick(); };
  BankData.SetFixedCols(1);
  BankData.SetFixedRows(1);
  BankData.SetDefaultColWidth(30);

  GroupBox3.SetCaption(" Загруженный образ памяти системы ");
  btnOpen.SetCaption("Открыть");
  btnRead.SetCaption("Прочитать");
  btnSave.SetCaption("Сохранить");
  btnTranslate.SetCaption("Транслировать");
  btnTemplate.SetCaption("Шаблон");
  btnOpen.OnClick = [this] { btnOpenClick(); };
  btnRead.OnClick = [this] { btnReadClick(); };
  btnSave.OnClick = [this] { btnSaveClick(); };
  btnTranslate.OnClick = [this] { btnTranslateClick(); };
  btnTemplate.OnClick = [this] { btnTemplateClick(); };
  ShowHint();

  workflows_.AttachTerminal(this);
}

TfrmTerminal::~TfrmTerminal() {
  link_.reset();
  if (!closeAsked_ && SystemStatus().ImageModified && platform::AskYesNo(kAskSaveChanges)) {
    // The terminal still exists, so a ".dat" save writes the text as it stands in the memo.
    workflows_.btnSaveConfigClick();
  }
  workflows_.DetachTerminal(this);
  platform::TheLinkLock().Unlock();
}

// ----------------------------------------------------------------------------- set-up

void TfrmTerminal::FillGridHeaders() {
  for (int i = 1; i <= 16; ++i) {
    BankData.SetCell(0, i, Hex2(unsigned(i - 1) * 16));
    BankData.SetCell(i, 0, Hex2(unsigned(i - 1)));
  }
}

void TfrmTerminal::ShowHint() {
  memoCentered_ = true;
  ImageMemo.SetFontSize(12);  // 16 pixels on a 96-dpi screen
  ImageMemo.SetLines(
      {"", "", "Необходимо загрузить настройки системы из файла или ", "прочитать их из памяти."});
  ImageMemo.SetReadOnly(true);
  textShown_ = false;
}

void TfrmTerminal::FormCreate() {
  link_ = std::make_unique<TSystemLink>();
  fMonitor.Clear();
  InputLine.SetText("");
  FillGridHeaders();

  const auto& status = SystemStatus();
  const bool linkUp = status.LinkUp;
  const bool loaded = status.ImageLoaded;
  Pages.SetTabVisible(Pages.IndexOf(kConsole), linkUp);
  Pages.SetTabVisible(Pages.IndexOf(kMemory), linkUp);
  if (!linkUp) Pages.SetActivePage(kMemImage);
  // Set-up runs again after an image was opened or read here, so every button gets its state
  // anew rather than keeping one disabled by an earlier set-up.
  btnRead.SetEnabled(linkUp);
  btnTranslate.SetEnabled(linkUp && loaded);
  btnSave.SetEnabled(loaded);
  btnTemplate.SetEnabled(loaded);
  if (loaded)
    ShowImageAsText();
  else
    ShowHint();
  UpdateCaption();
}

void TfrmTerminal::UpdateCaption() {
  std::string caption = "Терминал";
  if (SystemStatus().ImageLoaded) {
    const std::string file = workflows_.ImageFile();
    if (!file.empty()) caption += " - " + std::filesystem::path(file).filename().string();
    if (SystemStatus().ImageModified) caption += " *";
  }
  if (Form.Caption() != caption) Form.SetCaption(caption);
}

void TfrmTerminal::ShowImageAsText() {
  ImageMemo.BeginUpdate();
  ImageMemo.Clear();
  ImageMemo.SetFontSize(8);
  memoCentered_ = false;
  RenderedImageText r = workflows_.RenderImageText();
  if (r.ok) {
    std::string text = r.text;
    // The memo holds lines; the final line end is not an extra empty line.
    if (!text.empty() && text.back() == '\n') text.pop_back();
    if (!text.empty() && text.back() == '\r') text.pop_back();
    ImageMemo.SetText(text);
    ImageMemo.SetReadOnly(false);
    textShown_ = true;
    textUtf8_ = r.utf8;
    lineEnd_ = r.lineEnd;
    textPartial_ = r.partial;
  } else {
    ImageMemo.SetText(r.problem);
    ImageMemo.SetReadOnly(true);
    textShown_ = false;
  }
  ImageMemo.EndUpdate();
  if (!r.ok)
    platform::ShowMessage("Образ памяти не показан как текст.\n" + r.problem, "",
                          platform::Icon::Error);
}

void TfrmTerminal::FormShow() {
  visible_ = true;
  const std::string page = Pages.ActivePageName();
  if (SystemStatus().LinkUp && page == kConsole)
    Focus("InputLine");
  else if (page == kMemImage)
    Focus("ImageMemo");
}

void TfrmTerminal::PagesChange() {
  const std::string page = Pages.ActivePageName();
  if (page == kConsole)
    Focus("InputLine");
  else if (page == kMemImage && visible_)
    Focus("ImageMemo");
}

void TfrmTerminal::SelectPage(const std::string& page) {
  for (int i = 0; i < Pages.PageCount(); ++i) {
    if (Pages.PageName(i) != page && Pages.PageCaption(i) != page) continue;
    if (Pages.TabVisible(i)) {
      Pages.SetActivePageIndex(i);
      PagesChange();
    }
    return;
  }
}

void TfrmTerminal::ShowImagePage() {
  Pages.SetActivePage(kMemImage);
  if (visible_) Focus("ImageMemo");
}

bool TfrmTerminal::TakeEditsIntoImage() {
  return ApplyEditedText();
}

std::optional<std::vector<std::string>> TfrmTerminal::ImageTextLines() const {
  if (!textShown_) return std::nullopt;
  return ImageMemo.Lines();
}

// ----------------------------------------------------------------------------- console

std::optional<std::vector<std::uint8_t>> TfrmTerminal::ParseConsoleLine(const std::string& line) {
  std::vector<std::uint8_t> bytes;
  const std::string padded = line + " ";
  unsigned value = 0;
  bool inToken = false;
  for (char raw : padded) {
    char c = raw;
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    if (c == ' ') {
      if (inToken) bytes.push_back(std::uint8_t(value));
      inToken = false;
      value = 0;
      continue;
    }
    unsigned digit;
    if (c >= '0' && c <= '9')
      digit = unsigned(c - '0');
    else if (c >= 'A' && c <= 'F')
      digit = unsigned(c - 'A' + 10);
    else
      return std::nullopt;  // tabs and every other character make the line invalid
    inToken = true;
    value = value * 16 + digit;
    if (value > 0xFF) return std::nullopt;
  }
  return bytes;
}

std::string TfrmTerminal::HexEcho(const std::uint8_t* bytes, std::size_t count) {
  std::string text;
  text.reserve(count * 3);
  for (std::size_t i = 0; i < count; ++i) {
    text += Hex2(bytes[i]);
    text += ' ';
  }
  return text;
}

std::string TfrmTerminal::ConsoleLineProblem(const std::string& line) {
  if (!ParseConsoleLine(line)) {
    std::string text = kBadLine;
    std::string token;
    const std::string padded = line + " ";
    for (char c : padded) {
      if (c != ' ') {
        token += c;
        continue;
      }
      if (token.empty()) continue;
      const bool hex = token.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
      if (!hex || !ParseConsoleLine(token)) {
        text += "«";
        text += token;
        text += hex ? "» больше FF: байт не может быть больше FF."
                    : "» не является шестнадцатеричным числом.";
        break;
      }
      token.clear();
    }
    if (text == kBadLine) text += "в строке недопустимый символ (например, табуляция).";
    text += kLineRule;
    return text;
  }
  const auto bytes = *ParseConsoleLine(line);
  if (bytes.empty()) return "";
  // The first byte counts the bytes after it (a module's frame: its low four bits). A frame
  // shorter than it says would leave the apparatus waiting for the rest, and it would not answer.
  const std::size_t after = bytes.size() - 1;
  if (bytes[0] == after || (bytes[0] & 0x0F) == after) return "";
  std::string text = kBadLine;
  text += "первый байт (";
  text += Hex2(bytes[0]);
  text += ") — длина команды — говорит о ";
  text += std::to_string(bytes[0]);
  text += " байтах после него, а введено ";
  text += std::to_string(after);
  text += ". Система ждала бы недостающие байты и не ответила бы.";
  text += kLineRule;
  return text;
}

void TfrmTerminal::InputLineEnter() {
  const auto bytes = ParseConsoleLine(InputLine.Text());
  const std::string problem = ConsoleLineProblem(InputLine.Text());
  if (!bytes || !problem.empty()) {
    platform::ShowMessage(problem, "", platform::Icon::Error);
    return;
  }
  const std::string sent = HexEcho(bytes->data(), bytes->size());
  fMonitor.Add(sent);
  bool known = false;
  for (const auto& item : InputLine.Items()) known = known || item == sent;
  if (!known) InputLine.AddItem(sent);

  if (!link_) link_ = std::make_unique<TSystemLink>();
  {
    // Held already for the terminal's life; taken again so the exchange is guarded on its own.
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    // An empty line writes nothing (and so drops nothing unread): it only collects what the
    // apparatus has sent meanwhile.
    if (!bytes->empty()) link_->Write(std::uint32_t(bytes->size()), bytes->data());
    // Collected into the link's buffer, which a longer reply cannot overrun.
    link_->Read(std::uint32_t(kRxBufferSize));
  }
  const std::uint32_t count = std::min<std::uint32_t>(link_->LastCount(), kRxBufferSize);
  fMonitor.Add(HexEcho(link_->RxBuffer().data(), count));
  // Silence is told, not only shown as an empty line.
  StatusBar.SetCaption(count == 0 && !bytes->empty() ? kNoReply : "");
  if (OnSelectInputLine) OnSelectInputLine();
}

void TfrmTerminal::PressQuickButton(const char* line) {
  InputLine.SetText(line);
  InputLineEnter();
  // The next key belongs to the command line: Enter must not press the same button again.
  Focus("InputLine");
}

void TfrmTerminal::btnClBLClick() {
  PressQuickButton("01 54");
}
void TfrmTerminal::btnResetClick() {
  PressQuickButton("01 40");
}
void TfrmTerminal::btnPowOnClick() {
  PressQuickButton("01 4d");
}

// ----------------------------------------------------------------------------- memory viewer

void TfrmTerminal::btnReadBankClick() {
  if (!link_) link_ = std::make_unique<TSystemLink>();
  const std::uint32_t address =
      (std::uint32_t(udPage.Position()) << 16) | (std::uint32_t(udBank.Position()) << 8);
  std::uint8_t bank[256] = {};
  bool ok = false;
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    WithProgress(kProgressBank, [&](std::function<void(int)> progress) {
      link_->ReadMemory(address, sizeof bank, bank, progress);
      ok = link_->LastTransferOk();
    });
  }
  BankData.BeginUpdate();
  for (int r = 1; r <= 16; ++r)
    for (int c = 1; c <= 16; ++c)
      BankData.SetCell(c, r, ok ? Hex2(bank[(r - 1) * 16 + (c - 1)]) : std::string());
  BankData.EndUpdate();
  // Zeros from a silent line must not pass for the bank's contents.
  if (!ok) platform::ShowMessage(kBankNotRead, "", platform::Icon::Error);
}

// ----------------------------------------------------------------------------- image page

bool TfrmTerminal::ApplyEditedText() {
  if (!textShown_) return true;
  DatError error;
  if (workflows_.ApplyImageText(ImageMemo.Text(), textUtf8_, lineEnd_, &error)) {
    return true;
  }
  // The text stays in the memo as typed, so the engineer can put it right.
  platform::ShowMessage(std::string(kTextError) + error.Describe() + kTextErrorTail, "",
                        platform::Icon::Error);
  if (OnShowTextLine && error.line > 0) OnShowTextLine(error.line);
  return false;
}

void TfrmTerminal::btnOpenClick() {
  workflows_.btnOpenConfigClick();
  UpdateCaption();
  Focus("ImageMemo");
}

void TfrmTerminal::btnReadClick() {
  workflows_.btnReadConfigClick();
  UpdateCaption();
  Focus("ImageMemo");
}

void TfrmTerminal::btnSaveClick() {
  // The save workflow takes the edited text into the image first (TakeEditsIntoImage).
  if (SystemStatus().ImageLoaded) workflows_.btnSaveConfigClick();
  UpdateCaption();
  Focus("ImageMemo");
}

void TfrmTerminal::btnTranslateClick() {
  if (SystemStatus().ImageLoaded && ApplyEditedText()) workflows_.btnTranslateToMemoryClick();
  Focus("ImageMemo");
}

void TfrmTerminal::btnTemplateClick() {
  if (SystemStatus().ImageLoaded && textShown_ && textPartial_) {
    // The text lacks the values past the image's end: as the template it would lose them.
    platform::ShowMessage(kTemplatePartial, "", platform::Icon::Error);
  } else if (SystemStatus().ImageLoaded && textShown_ && platform::AskYesNo(kAskTemplate)) {
    // A template with an error would spoil every later display and ".dat" save: refuse it.
    std::string onDisk;
    for (const auto& l : ImageMemo.Lines()) onDisk += l + lineEnd_;
    if (!textUtf8_) onDisk = platform::Utf8ToCp1251(onDisk);
    std::vector<DatValue> values;
    DatError error;
    if (!ListDatValues(onDisk, values, &error)) {
      if (textUtf8_) error.token = platform::Utf8ToCp1251(error.token);
      platform::ShowMessage(std::string(kTextError) + error.Describe() + "\nШаблон не заменён.", "",
                            platform::Icon::Error);
      if (OnShowTextLine && error.line > 0) OnShowTextLine(error.line);
    } else {
      const auto path = workflows_.Host().ProgramDir() / "Memory" / "etalon.pat";
      if (!TConfigWorkflows::SaveLines(path, ImageMemo.Lines(), textUtf8_, lineEnd_))
        platform::ShowMessage(std::string(wftext::kCannotWrite) + path.string(), "",
                              platform::Icon::Error);
    }
  }
  Focus("ImageMemo");
}

void TfrmTerminal::ImageMemoKeyPress() {
  SystemStatus().ImageModified = bool(SystemStatus().ImageLoaded);
  UpdateCaption();
}

bool TfrmTerminal::FormCloseQuery() {
  if (closeAsked_) return true;
  if (SystemStatus().ImageModified) {
    if (platform::AskYesNo(kAskSaveChanges)) {
      // Typed changes go into the image first (the save workflow does it), so a ".mi" save holds
      // them too. A save that failed keeps the window open: the text would be lost with it.
      if (workflows_.SaveImage() == SaveResult::Failed) return false;
      closeAsked_ = true;
      return true;
    }
  }
  closeAsked_ = true;
  return true;
}

// ----------------------------------------------------------------------------- showing

void OpenTerminalWindow(TConfigWorkflows& workflows, const std::string& page, MainHost* host) {
  TfrmTerminal terminal(workflows, host);
  terminal.FormCreate();
  terminal.SelectPage(page);
  terminal.FormShow();
  if (Runner()) Runner()(terminal);
  terminal.visible_ = false;
}

}  // namespace kvt
