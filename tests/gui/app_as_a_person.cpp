// The program's windows driven as an engineer drives them: clicks on the visible buttons, keys
// into the widget that has the focus, real message boxes and file dialogs answered by hand.
// Input during a memory transfer, one message box at a time, the progress window's colours, the
// open workflow's messages, the options window and Qt's own dialogs in Russian.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "app/Progress.h"
#include "app/ui/AdjConnInfoView.h"
#include "app/ui/Program.h"
#include "image/ConvertDat.h"
#include "image/ui/OptionsView.h"
#include "link/SystemStatus.h"
#include "platform/Codepage.h"
#include "sim/Apparatus.h"
#include "support/ProgramFixture.h"
#include "support/Pump.h"
#include "support/Shots.h"

namespace {

using guitest::Click;
using guitest::PumpUntil;

namespace fs = std::filesystem;
using kvt::ManagerButton;

// The engineer at the screen: whenever a new modal window is on top (a message box, a file
// dialog, the terminal), `act` deals with it as a person would. Runs inside the modal loops.
class Person {
 public:
  explicit Person(std::function<void(QWidget*)> act) : act_(std::move(act)) {
    timer_.setInterval(30);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      std::vector<QWidget*> modals;
      if (QWidget* top = QApplication::activeModalWidget()) modals.push_back(top);
      for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isModal()) modals.push_back(w);
      for (QWidget* modal : modals) {
        if (!modal->isVisible() || Seen(modal)) continue;
        seen_.emplace_back(modal);
        act_(modal);
        return;
      }
    });
    timer_.start();
  }

 private:
  bool Seen(QWidget* w) const {
    for (const auto& seen : seen_)
      if (seen == w) return true;
    return false;
  }

  std::function<void(QWidget*)> act_;
  QTimer timer_;
  std::vector<QPointer<QWidget>> seen_;  // each window is dealt with once
};

QPushButton* OkOf(QMessageBox* box) {
  for (QAbstractButton* b : box->buttons())
    if (box->buttonRole(b) == QMessageBox::AcceptRole) return qobject_cast<QPushButton*>(b);
  return nullptr;
}

class ProgramAsAPerson : public guitest::ProgramOnSimulatorFixture {
 protected:
  void SetUp() override {
    guitest::ProgramOnSimulatorFixture::SetUp();
    imageDir_ = dir_ / "Memory" / "BIN";
    fs::create_directories(imageDir_);
    fs::copy_file(fs::path(KVT_DATA_DIR) / "Memory" / "etalon.pat", dir_ / "Memory" / "etalon.pat");
  }

  fs::path imageDir_;
};

// A click during a memory transfer is dropped, not carried out when the transfer ends; the main
// window's commands look disabled meanwhile and come back as they were.
TEST_F(ProgramAsAPerson, ClicksDuringATransferAreDropped) {
  kvt::ui::ProgramWindows windows;
  auto& view = windows.MainView();
  auto& m = windows.Manager();
  std::vector<std::string> terminalPages;
  m.SetLauncher(kvt::ManagerTool::Terminal,
                [&](kvt::TfrmManager&, const std::string& page) { terminalPages.push_back(page); });
  Connect(windows);
  QPushButton* powerOn = view.ButtonWidget(ManagerButton::btnPowerOn);
  std::vector<std::string> states;
  m.StateMonitor.AddListener([&] { states.push_back(m.StateMonitor.Caption()); });

  {
    kvt::TfrmProgress progress("Чтение образа памяти...");
    EXPECT_FALSE(powerOn->isEnabled());
    EXPECT_FALSE(view.ButtonWidget(ManagerButton::btnOptions)->isEnabled());
    EXPECT_TRUE(view.StateMonitorWidget()->isEnabled());
  }
  EXPECT_TRUE(powerOn->isEnabled());
  EXPECT_FALSE(view.ButtonWidget(ManagerButton::btnPowerOff)->isEnabled());

  // The click on "Включить питание" waits in the queue while "Прочитать" runs the read.
  const QPoint centre = powerOn->rect().center();
  QCoreApplication::postEvent(
      powerOn, new QMouseEvent(QEvent::MouseButtonPress, centre, powerOn->mapToGlobal(centre),
                               Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
  QCoreApplication::postEvent(
      powerOn, new QMouseEvent(QEvent::MouseButtonRelease, centre, powerOn->mapToGlobal(centre),
                               Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
  Click(view.ButtonWidget(ManagerButton::btnReadConfig));
  EXPECT_TRUE(kvt::SystemStatus().ImageLoaded);
  EXPECT_EQ(terminalPages.size(), 1u);
  PumpUntil([] { return false; }, 1500);
  for (const auto& s : states) EXPECT_NE(s, "ВКЛЮЧЕНИЕ СИСТЕМЫ");
  EXPECT_FALSE(kvt::SystemStatus().SystemOn);
  EXPECT_TRUE(powerOn->isEnabled());
}

// A message a worker shows while another is open waits until the engineer has closed the first.
TEST_F(ProgramAsAPerson, OneMessageBoxAtATime) {
  ui_.SetNonInteractive(false);
  kvt::ui::ProgramWindows windows;
  std::vector<QString> texts;
  int mostAtOnce = 0;
  std::thread worker;
  std::atomic<bool> workerDone{false};
  Person person([&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (!box) return;
    texts.push_back(box->text());
    if (texts.size() == 1) {
      // The line dies while the engineer reads the first message.
      worker = std::thread([&] {
        platform::ShowMessage("Потеряна связь с системой.", "vdemon", platform::Icon::Error);
        workerDone = true;
      });
    }
    // The engineer reads for a while, then presses OK.
    QTimer::singleShot(400, box, [&, box] {
      int open = 0;
      for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<QMessageBox*>(w) && w->isVisible()) ++open;
      mostAtOnce = std::max(mostAtOnce, open);
      QTest::mouseClick(OkOf(box), Qt::LeftButton);
    });
  });
  platform::ShowMessage("Образ памяти прочитан не полностью: система не ответила.", "",
                        platform::Icon::Error);
  ASSERT_TRUE(PumpUntil([&] { return workerDone.load(); }, 10000));
  worker.join();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[1], QString::fromUtf8("Потеряна связь с системой."));
  EXPECT_EQ(mostAtOnce, 1);
}

// Contrast of two colours as the eye reads text on a background (1 .. 21).
double Contrast(QColor a, QColor b) {
  auto lum = [](QColor c) {
    auto ch = [](double v) {
      v /= 255.0;
      return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * ch(c.red()) + 0.7152 * ch(c.green()) + 0.0722 * ch(c.blue());
  };
  double x = lum(a), y = lum(b);
  if (x < y) std::swap(x, y);
  return (x + 0.05) / (y + 0.05);
}

TEST_F(ProgramAsAPerson, ProgressFiguresStayReadablePastHalfWay) {
  kvt::ui::ProgramWindows windows;
  kvt::TfrmProgress progress("Запись образа памяти в систему...");
  progress.SetProgress(70);
  QWidget* w = nullptr;
  for (QWidget* top : QApplication::topLevelWidgets())
    if (top->objectName() == "frmProgress" && top->isVisible()) w = top;
  ASSERT_NE(w, nullptr);
  auto* bar = w->findChild<QProgressBar*>("ProgressBar");
  ASSERT_TRUE(guitest::SaveShot(w, "frmProgress-70"));
  const QImage shot = bar->grab().toImage();
  const int y = shot.height() / 2;
  const QColor done = shot.pixelColor(shot.width() / 10, y);
  const QColor left = shot.pixelColor(shot.width() * 95 / 100, y);
  EXPECT_EQ(left, QColor(0x00, 0xC0, 0x00));  // the green background stays
  EXPECT_GT(Contrast(done, left), 1.5);       // the part done is told from the rest
  EXPECT_GE(Contrast(done, QColor(Qt::blue)), 4.5);
  // The figures "70%" are drawn in blue over the part done.
  int blue = 0;
  for (int x = shot.width() / 3; x < shot.width() * 2 / 3; ++x)
    for (int yy = 2; yy < shot.height() - 2; ++yy) {
      const QColor c = shot.pixelColor(x, yy);
      if (c.blue() > 160 && c.red() < 120 && c.green() < 120) ++blue;
    }
  EXPECT_GT(blue, 10);
}

// The file dialog as the engineer uses it: the file type chosen in its list, the name typed.
void ChooseFile(QFileDialog* dialog, const QString& name, bool datType) {
  dialog->activateWindow();
  EXPECT_TRUE(QTest::qWaitForWindowActive(dialog));
  if (datType) {
    auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
    ASSERT_NE(types, nullptr);
    Click(types);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    if (types->currentIndex() != 1) {
      ADD_FAILURE() << "the .dat file type was not chosen";
      dialog->reject();
      return;
    }
  }
  auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
  ASSERT_NE(edit, nullptr);
  Click(edit);
  QTest::keyClicks(QApplication::focusWidget(), name);
  // The offscreen dialog keeps its "Open" button disabled (it never finishes looking at the
  // file), so the name typed is taken as Enter would take it.
  QMetaObject::invokeMethod(dialog, "accept");
}

// "Открыть файл настроек с диска": the dialog opens in the image folder that the options show, in
// Russian; a broken .dat says where it is broken; a .mi of the wrong size says so, and the text
// shows no value the image does not hold.
TEST_F(ProgramAsAPerson, OpeningImageFilesTellsWhatIsWrong) {
  ui_.SetNonInteractive(false);
  {
    std::ofstream(imageDir_ / "broken.dat") << "; settings\n$8bitformat\n>00 12 1x 7\n";
    std::ofstream(imageDir_ / "short.mi", std::ios::binary) << std::string(1024, '\x05');
  }
  kvt::ui::ProgramWindows windows;
  auto& view = windows.MainView();
  QString dialogDir, cancelText;
  std::vector<QString> messages;
  QString memoText;
  const char* file = "broken.dat";
  Person person([&](QWidget* modal) {
    if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
      dialogDir = dialog->directory().absolutePath();
      if (auto* box = dialog->findChild<QDialogButtonBox*>())
        if (auto* cancel = box->button(QDialogButtonBox::Cancel)) cancelText = cancel->text();
      ChooseFile(dialog, file, QString(file).endsWith(".dat"));
    } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      messages.push_back(box->text());
      QTimer::singleShot(0, box, [box] { QTest::mouseClick(OkOf(box), Qt::LeftButton); });
    } else if (modal->objectName() == "frmTerminal") {
      if (auto* memo = modal->findChild<QPlainTextEdit*>("ImageMemo"))
        memoText = memo->toPlainText();
      QTimer::singleShot(0, modal,
                         [] { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape); });
    }
  });

  Click(view.ButtonWidget(ManagerButton::btnOpenConfig));
  EXPECT_EQ(fs::path(dialogDir.toStdString()), imageDir_);
  EXPECT_EQ(cancelText, QString::fromUtf8("Отмена"));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_TRUE(messages[0].startsWith("Ошибка 1")) << messages[0].toStdString();
  EXPECT_TRUE(messages[0].contains("broken.dat"));
  EXPECT_TRUE(messages[0].contains(QString::fromUtf8("Строка 3"))) << messages[0].toStdString();
  EXPECT_TRUE(messages[0].contains("1x"));
  EXPECT_FALSE(kvt::SystemStatus().ImageLoaded);

  file = "short.mi";
  messages.clear();
  Click(view.ButtonWidget(ManagerButton::btnOpenConfig));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_TRUE(messages[0].contains("1024")) << messages[0].toStdString();
  EXPECT_TRUE(messages[0].contains("1280"));
  ASSERT_TRUE(kvt::SystemStatus().ImageLoaded);
  // Every value the terminal shows is one of the image's 1024 bytes.
  ASSERT_FALSE(memoText.isEmpty());
  std::vector<kvt::DatValue> values;
  ASSERT_TRUE(kvt::ListDatValues(platform::Utf8ToCp1251(memoText.toStdString()), values));
  ASSERT_FALSE(values.empty());
  for (const auto& v : values) EXPECT_LE(v.address + (v.wide ? 2 : 1), 1024u);
}

// The connection window once the line has died: the conclusion greyed and saying so; a new
// attempt that no port answers says which ports were tried.
TEST_F(ProgramAsAPerson, ConnectionWindowTellsALostLineAndAFailedReconnect) {
  kvt::ui::ProgramWindows windows;
  auto& view = windows.MainView();
  Connect(windows);
  auto* conn = qobject_cast<kvt::ui::AdjConnInfoView*>(view.ConnectionWindowView());
  ASSERT_NE(conn, nullptr);
  const QString ready = conn->Conclusion()->text();
  ASSERT_TRUE(ready.contains(QString::fromUtf8("СИСТЕМА ГОТОВА К РАБОТЕ!")));

  sim::CurrentApparatus()->GoSilent();
  ASSERT_TRUE(PumpUntil(
      [&] { return conn->Conclusion()->text().contains(QString::fromUtf8("ПОТЕРЯНА")); }, 30000));
  EXPECT_TRUE(conn->Conclusion()->text().endsWith(ready));
  EXPECT_EQ(conn->Conclusion()->palette().color(QPalette::WindowText), QColor(0x80, 0x80, 0x80));
  ASSERT_TRUE(guitest::SaveShot(conn, "frmAdjustConnectionInfo-lost"));

  Click(view.ButtonWidget(ManagerButton::btnAdjustConnection));
  auto* again = qobject_cast<kvt::ui::AdjConnInfoView*>(view.ConnectionWindowView());
  ASSERT_NE(again, nullptr);
  EXPECT_TRUE(again->isVisible());
  const QString text = again->Conclusion()->text();
  EXPECT_TRUE(text.contains(QString::fromUtf8("СИСТЕМА НЕ ОТВЕЧАЕТ!"))) << text.toStdString();
  EXPECT_TRUE(text.contains("COM1")) << text.toStdString();
  ASSERT_TRUE(guitest::SaveShot(again, "frmAdjustConnectionInfo-no-answer"));
}

// "Опции": "Обзор" starts in the folder shown, and a time of 0 is refused with the reason.
TEST_F(ProgramAsAPerson, OptionsSayWhyATimeIsRefused) {
  ui_.SetNonInteractive(false);
  kvt::ui::ProgramWindows windows;
  QString shownPath, browseDir, refused;
  Person person([&](QWidget* modal) {
    if (modal->objectName() == "frmOptions") {
      QTimer::singleShot(0, modal, [&, modal] {
        shownPath = modal->findChild<QLineEdit*>("edMiPath")->text();
        auto* seconds = modal->findChild<QSpinBox*>("udSSTime");
        Click(seconds);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(QApplication::focusWidget(), "0");
        auto* reason = modal->findChild<QLabel*>("lbSSTimeRefused");
        if (reason && reason->isVisible()) refused = reason->text();
        Click(modal->findChild<QPushButton*>("Button1"));
      });
    } else if (modal->objectName() == "frmSelectDir") {
      QTimer::singleShot(0, modal, [&, modal] {
        browseDir = QString::fromStdString(
            static_cast<kvt::ui::SelectDirView*>(modal)->Model().Directory());
        QTest::keyClick(modal, Qt::Key_Escape);
        QTimer::singleShot(100, [] {
          if (QWidget* options = QApplication::activeModalWidget())
            Click(options->findChild<QPushButton*>("BitBtn2"));
        });
      });
    }
  });
  Click(windows.MainView().ButtonWidget(ManagerButton::btnOptions));
  EXPECT_EQ(fs::path(shownPath.toStdString()), dir_ / "Memory" / "BIN");
  EXPECT_EQ(fs::path(browseDir.toStdString()), dir_ / "Memory" / "BIN");
  EXPECT_TRUE(refused.contains(QString::fromUtf8("от 1 до 60"))) << refused.toStdString();
}

}  // namespace
