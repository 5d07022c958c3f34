#include "tools/ui/TerminalView.h"

#include <QComboBox>
#include <QEvent>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>

#include "app/ui/ToolRegistry.h"
#include "platform/qt/Bindings.h"
#include "platform/qt/ViewParts.h"

namespace kvt::ui {

TerminalView::TerminalView(TfrmTerminal& model, QWidget* parent)
    : QDialog(parent, pq::kToolWindowFlags | Qt::Dialog), model_(model) {
  pq::FrameWindow(this, model.Form, QSize(539, 404));
  setModal(true);

  auto* pages = pq::Named(new QTabWidget(this), model.Pages, QRect(0, 0, 539, 404));
  const std::vector<QWidget*> page = pq::AddPages(pages, model.Pages);
  // Enter belongs to the command line and the text, never to a default button: the buttons are
  // made without autoDefault.

  // --- console ---
  QWidget* console = page[model.Pages.IndexOf(TfrmTerminal::kConsole)];
  QGroupBox* gbMonitor = pq::MakeGroup(console, model.GroupBox1, QRect(4, 2, 525, 236));
  monitor_ = pq::MakeMemo(gbMonitor, model.fMonitor, pq::InsideGroup(gbMonitor, 8, 20));
  QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  fixed.setPixelSize(16);
  fixed.setBold(true);
  monitor_->setFont(fixed);
  // New lines scroll into view, as a console does.
  model.fMonitor.AddListener([m = QPointer<QPlainTextEdit>(monitor_)] {
    if (m) m->verticalScrollBar()->setValue(m->verticalScrollBar()->maximum());
  });

  QGroupBox* gbCommand = pq::MakeGroup(console, model.GroupBox2, QRect(4, 240, 525, 54));
  inputLine_ = pq::MakeCombo(gbCommand, model.InputLine, QRect(8, 20, 509, 26));
  inputLine_->setEditable(true);
  inputLine_->setInsertPolicy(QComboBox::NoInsert);
  // The keys reach the combo box, which hands them to its line edit without passing them through
  // event filters: Enter is caught on both.
  inputLine_->installEventFilter(this);
  inputLine_->lineEdit()->installEventFilter(this);

  pq::MakePushButton(console, model.btnClBL, QRect(4, 300, 170, 25));
  pq::MakePushButton(console, model.btnReset, QRect(180, 300, 175, 25));
  pq::MakePushButton(console, model.btnPowOn, QRect(361, 300, 168, 25));
  auto* status = new QStatusBar(console);
  status->setObjectName("StatusBar1");
  status->setGeometry(0, 352, 535, 22);
  status->setSizeGripEnabled(false);
  auto* statusText = new QLabel(status);
  status->addWidget(statusText, 1);
  pq::BindLabel(statusText, model.StatusBar);

  // --- memory viewer ---
  QWidget* memory = page[model.Pages.IndexOf(TfrmTerminal::kMemory)];
  pq::MakeLabel(memory, model.Label1, QRect(8, 10, 60, 20));
  pq::MakeSpin(memory, model.udPage, QRect(70, 8, 60, 24));
  pq::MakeLabel(memory, model.Label2, QRect(146, 10, 40, 20));
  pq::MakeSpin(memory, model.udBank, QRect(190, 8, 64, 24));
  pq::MakePushButton(memory, model.btnReadBank, QRect(270, 8, 90, 24));
  QTableWidget* bankData = pq::MakeGrid(memory, model.BankData, {});
  bankData->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  bankData->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  QFont gridFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  gridFont.setPixelSize(11);
  bankData->setFont(gridFont);
  // Cells of 30 x 18 pixels, whatever the font would ask for.
  bankData->verticalHeader()->setMinimumSectionSize(18);
  bankData->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  bankData->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  for (int r = 0; r < model.BankData.RowCount(); ++r) bankData->setRowHeight(r, 18);
  bankData->setGeometry(8, 38, 17 * 30 + 3, 17 * 18 + 3);

  // --- image page ---
  QWidget* image = page[model.Pages.IndexOf(TfrmTerminal::kMemImage)];
  QGroupBox* gbImage = pq::MakeGroup(image, model.GroupBox3, QRect(4, 2, 525, 334));
  imageMemo_ = pq::MakeMemo(gbImage, model.ImageMemo, pq::InsideGroup(gbImage, 8, 20));
  imageMemo_->setTabChangesFocus(false);
  // Both text panes scroll sideways instead of wrapping; their scroll bars always show.
  for (QPlainTextEdit* pane : {monitor_, imageMemo_}) {
    pane->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    pane->setLineWrapMode(QPlainTextEdit::NoWrap);
  }
  // Only a real change of the text is an edit: typed, pasted, cut or dropped. Keys that change
  // nothing (Esc, Ctrl+C, arrows) are not. The model's own text changes (setPlainText) leave no
  // undo step behind. Once the edit is over the document is marked unmodified again, so the next
  // edit (after a save, say) makes a step of its own instead of merging silently into this one.
  connect(imageMemo_->document(), &QTextDocument::undoCommandAdded, this, [this] {
    QTimer::singleShot(0, imageMemo_->document(),
                       [doc = imageMemo_->document()] { doc->setModified(false); });
    if (!imageMemo_->isReadOnly()) model_.ImageMemoKeyPress();
  });
  model.ImageMemo.AddListener([self = QPointer<TerminalView>(this)] {
    if (self) self->ApplyMemoAlignment();
  });
  ApplyMemoAlignment();
  pq::MakeButtonRow(
      image,
      {&model.btnOpen, &model.btnRead, &model.btnSave, &model.btnTranslate, &model.btnTemplate},
      QRect(4, 342, 101, 25), QPoint(106, 0));
  pq::BindPageControl(pages, model.Pages);

  model.OnFocus = [this](const std::string& control) { ApplyFocus(control); };
  model.OnSelectInputLine = [this] { inputLine_->lineEdit()->selectAll(); };
  model.OnShowTextLine = [this](int line) {
    QTextBlock block = imageMemo_->document()->findBlockByNumber(line - 1);
    if (!block.isValid()) return;
    QTextCursor cursor(block);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    imageMemo_->setTextCursor(cursor);
    imageMemo_->centerCursor();
  };
}

TerminalView::~TerminalView() {
  model_.OnFocus = nullptr;
  model_.OnSelectInputLine = nullptr;
  model_.OnShowTextLine = nullptr;
}

void TerminalView::ApplyMemoAlignment() {
  if (!imageMemo_) return;
  QTextOption option = imageMemo_->document()->defaultTextOption();
  const Qt::Alignment want = model_.ImageMemoCentered() ? Qt::AlignHCenter : Qt::AlignLeft;
  if (option.alignment() != want) {
    option.setAlignment(want);
    imageMemo_->document()->setDefaultTextOption(option);
  }
  // The hint wraps inside the box in the dialog's own font; the image text keeps its lines as
  // they are, in a fixed-pitch font so its columns line up.
  imageMemo_->setLineWrapMode(model_.ImageMemoCentered() ? QPlainTextEdit::WidgetWidth
                                                         : QPlainTextEdit::NoWrap);
  QFont font = model_.ImageMemoCentered() ? this->font()
                                          : QFontDatabase::systemFont(QFontDatabase::FixedFont);
  if (model_.ImageMemo.Font().size > 0) font.setPointSize(model_.ImageMemo.Font().size);
  if (imageMemo_->font() != font) imageMemo_->setFont(font);
}

void TerminalView::ApplyFocus(const std::string& control) {
  if (control == "InputLine")
    inputLine_->setFocus();
  else if (control == "ImageMemo")
    imageMemo_->setFocus();
}

void TerminalView::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  ApplyFocus(model_.FocusedControl());
}

bool TerminalView::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if ((watched == inputLine_ || watched == inputLine_->lineEdit()) &&
        (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
      // The key itself is swallowed.
      model_.InputLineEnter();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TerminalView::reject() {
  if (model_.FormCloseQuery()) QDialog::reject();
}

void InstallTerminalView(QWidget* parent) {
  QPointer<QWidget> owner = parent;
  TfrmTerminal::SetModalRunner([owner](TfrmTerminal& model) {
    TerminalView view(model, owner);
    view.exec();
  });
}

// The terminal opens modally over the main window, which owns it, on the workflows' values.
static ToolInstaller installTerminal([](MainWindowParts& parts) {
  parts.Manager().SetLauncher(ManagerTool::Terminal, [](TfrmManager& m, const std::string& page) {
    OpenTerminalWindow(m.Workflows(), page, &m);
  });
  InstallTerminalView(parts.Owner());
});

}  // namespace kvt::ui
