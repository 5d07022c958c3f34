// Which port the program talks through, as the engineer sees it: the simulator named in the
// connection window and the title, the ports page of the options chosen with the mouse, and tool
// windows opening beside the main window instead of over the connection window.

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <functional>

#include "app/ui/ManagerView.h"
#include "app/ui/Program.h"
#include "link/SystemStatus.h"
#include "platform/Ini.h"
#include "platform/SerialPort.h"
#include "support/ProgramFixture.h"
#include "support/Pump.h"

namespace {

using guitest::Click;
using guitest::PumpUntil;
using guitest::TopLevel;

using kvt::ManagerButton;

class AppPorts : public guitest::ProgramOnSimulatorFixture {};

TEST_F(AppPorts, TheSimulatorIsNamedInTheConnectionWindowAndTheTitle) {
  kvt::ui::ProgramWindows windows;
  auto& view = windows.MainView();
  EXPECT_EQ(view.windowTitle(), "KVT-Vesmar");
  Connect(windows);
  ASSERT_TRUE(PumpUntil([&] { return view.windowTitle().contains("Имитатор аппарата"); }, 5000))
      << view.windowTitle().toStdString();
  EXPECT_EQ(view.windowTitle(), "KVT-Vesmar — COM1 (Имитатор аппарата)");
  QWidget* info = TopLevel("frmAdjustConnectionInfo");
  ASSERT_NE(info, nullptr);
  bool named = false;
  for (QLabel* l : info->findChildren<QLabel*>())
    named = named || l->text().startsWith("Последовательный порт COM1 (Имитатор аппарата)\n");
  EXPECT_TRUE(named);
}

TEST_F(AppPorts, ToolWindowsOpenBesideTheMainWindow) {
  kvt::ui::ProgramWindows windows;
  auto& view = windows.MainView();
  Connect(windows);
  Click(view.ButtonWidget(ManagerButton::btnShowOscilograms));
  QWidget* tool = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return (tool = TopLevel("frmOscillograms")) != nullptr; }, 5000));
  const QRect m = view.frameGeometry();
  const QRect s = view.screen()->availableGeometry();
  const QPoint beside(std::max(s.left(), m.left() - tool->frameGeometry().width()), m.top());
  EXPECT_TRUE(PumpUntil([&] { return tool->frameGeometry().topLeft() == beside; }, 2000))
      << tool->frameGeometry().x() << "," << tool->frameGeometry().y() << " main " << m.x();
  tool->close();
}

// The engineer maps COM2 to the simulator with the mouse; the file says so and the next
// connection finds it there.
TEST_F(AppPorts, PortsPageChosenWithTheMouse) {
  kvt::ui::ProgramWindows windows;
  auto& view = windows.MainView();
  bool done = false;
  QTimer timer;
  timer.setInterval(30);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    QWidget* options = QApplication::activeModalWidget();
    if (done || !options || options->objectName() != "frmOptions") return;
    done = true;
    auto* pages = options->findChild<QTabWidget*>("pgOptions");
    ASSERT_NE(pages, nullptr);
    QTabBar* tabs = pages->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    EXPECT_EQ(pages->tabText(1), "Порты");
    auto* com1 = options->findChild<QComboBox*>("cbCOM1");
    auto* com2 = options->findChild<QComboBox*>("cbCOM2");
    ASSERT_NE(com2, nullptr);
    EXPECT_EQ(com1->currentText(), "Имитатор");
    // Chosen as a person does: click, then keys in the opened list.
    Click(com2);
    const int simulator = com2->findText("Имитатор");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Home);
    for (int i = 0; i < simulator; ++i) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    // Return takes the item in the opened list (in a closed box it would press OK).
    if (com2->view()->isVisible()) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(com2->currentText(), "Имитатор");
    Click(options->findChild<QPushButton*>("BitBtn1"));
  });
  timer.start();
  Click(view.ButtonWidget(ManagerButton::btnOptions));
  ASSERT_TRUE(done);
  platform::IniFile ini(dir_ / "vesmar.ini");
  EXPECT_EQ(ini.ReadString("Ports", "COM1", "?"), "simulator");
  EXPECT_EQ(ini.ReadString("Ports", "COM2", "?"), "simulator");
  EXPECT_EQ(ini.ReadString("Ports", "COM3", "?"), "");
  EXPECT_TRUE(platform::PortIsSimulator("COM2"));
}

}  // namespace
