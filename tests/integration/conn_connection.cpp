#include <gtest/gtest.h>

#include "app/AdjConnInfo.h"
#include "app/Connection.h"
#include "app/VDemon.h"
#include "link/BankList.h"
#include "link/SystemLink.h"
#include "link/SystemStatus.h"
#include "support/conn_Fixture.h"

using namespace conntest;
using kvt::SystemStatus;
using kvt::TfrmAdjustConnectionInfo;

namespace {

const char* kReady = "\n\nСИСТЕМА ГОТОВА К РАБОТЕ!";

std::vector<std::vector<std::string>> Rows(const platform::StringGrid& grid) {
  std::vector<std::vector<std::string>> rows;
  for (int r = 1; r < grid.RowCount(); ++r) rows.push_back(grid.RowCells(r));
  return rows;
}

class Connection : public ConnFixture {
 protected:
  // Connected on COM1, the monitor stopped, the connection window there to read.
  void ConnectOnCom1(std::unique_ptr<TestHost>& host) {
    host = NewHost();
    ASSERT_EQ(kvt::RunConnectionSequence(*host), "COM1");
    host->StopMonitor();
    ASSERT_NE(host->ConnectionWindow(), nullptr);
  }
};

}  // namespace

TEST(ConnBankList, DigitsAndCommasOnly) {
  EXPECT_EQ(kvt::ParseBankList("3, 5,x7"), (std::vector<std::uint8_t>{3, 5, 7}));
  EXPECT_EQ(kvt::ParseBankList(""), std::vector<std::uint8_t>{});
  EXPECT_EQ(kvt::ParseBankList(",,a,"), std::vector<std::uint8_t>{});
  EXPECT_EQ(kvt::ParseBankList("1,2,"), (std::vector<std::uint8_t>{1, 2}));
  // Only the low 8 bits count, and an absurdly long number does not overflow anything.
  EXPECT_EQ(kvt::ParseBankList("258"), (std::vector<std::uint8_t>{2}));
  EXPECT_EQ(kvt::ParseBankList("99999999999999999999999"),
            (std::vector<std::uint8_t>{255}));  // its value modulo 256
}

TEST_F(Connection, PortsAreTriedInOrderAndATwoByteAnswerIsRefused) {
  WriteSettings(DefaultSettings("COM1=simulator\nCOM2=simulator\nCOM3=simulator"));
  auto ctl = Controller();
  ctl->SetAddressAnswers({2, 0, 1});  // COM1 babbles two bytes, COM2 is silent, COM3 answers
  auto host = NewHost();
  EXPECT_EQ(kvt::RunConnectionSequence(*host), "COM3");
  EXPECT_EQ(ctl->Openings(), 4);  // three probes, then the connection link on COM3
  EXPECT_EQ(ctl->OpenPorts(), 1);
  EXPECT_TRUE(host->ConnectionLinkOpen());
  EXPECT_EQ(host->ConnectionWindow()->Label2.Caption().rfind("Последовательный порт COM3", 0), 0u);
  host->StopMonitor();
}

// A trainee on the simulator must not take it for the apparatus on the cable.
TEST_F(Connection, TheSimulatorIsNamedInTheWindowAndTheTitle) {
  auto ctl = Controller();
  auto host = NewHost();
  std::vector<std::pair<std::string, bool>> told;
  host->OnPortInUse = [&](const std::string& port, bool sim) { told.emplace_back(port, sim); };
  ASSERT_EQ(kvt::RunConnectionSequence(*host), "COM1");
  EXPECT_EQ(host->ConnectionWindow()->Label2.Caption().rfind(
                "Последовательный порт COM1 (Имитатор аппарата)\n", 0),
            0u)
      << host->ConnectionWindow()->Label2.Caption();
  host->StopMonitor();
  host->DestroyConnectionLink();
  PumpFor(50);
  EXPECT_EQ(told, (std::vector<std::pair<std::string, bool>>{{"COM1", true}, {"", false}}));
  EXPECT_EQ(kvt::MainWindowTitle("KVT-Vesmar", "COM1", true),
            "KVT-Vesmar — COM1 (Имитатор аппарата)");
  EXPECT_EQ(kvt::MainWindowTitle("KVT-Vesmar", "COM2", false), "KVT-Vesmar — COM2");
  EXPECT_EQ(kvt::MainWindowTitle("KVT-Vesmar", "", false), "KVT-Vesmar");
}

TEST_F(Connection, NoAnsweringPortLeavesNoLinkAndNoMonitor) {
  WriteSettings(DefaultSettings("COM1=simulator\nCOM2=simulator"));
  auto ctl = Controller();
  ctl->SetAddressAnswers({0, 2});
  SystemStatus().ImageLoaded = true;
  auto host = NewHost();
  EXPECT_EQ(kvt::RunConnectionSequence(*host), "");
  EXPECT_EQ(host->States(), (std::vector<std::string>{"УСТАНОВКА СВЯЗИ", "СВЯЗЬ НЕ УСТАНОВЛЕНА"}));
  EXPECT_FALSE(host->HasConnectionLink());
  EXPECT_EQ(host->Monitor(), nullptr);
  EXPECT_FALSE(host->MonitorRunning);
  EXPECT_EQ(ctl->OpenPorts(), 0);
  EXPECT_FALSE(SystemStatus().LinkUp);
  EXPECT_TRUE(SystemStatus().ImageLoaded);
  // The window says that nothing answered and where it was asked.
  EXPECT_EQ(host->WindowsShown(), 1);
  ASSERT_NE(host->ConnectionWindow(), nullptr);
  const std::string conclusion = host->ConnectionWindow()->lbConclusion.Caption();
  EXPECT_NE(conclusion.find("СИСТЕМА НЕ ОТВЕЧАЕТ!"), std::string::npos) << conclusion;
  EXPECT_NE(conclusion.find("COM1"), std::string::npos) << conclusion;
}

TEST_F(Connection, HealthySystemIsReady) {
  ControllerScript script;
  script.bankChecksums = {{0, 0xABCD}, {1, 0x000A}};
  auto ctl = Controller(script);
  auto host = NewHost();
  ASSERT_EQ(kvt::RunConnectionSequence(*host), "COM1");
  EXPECT_EQ(host->States(), (std::vector<std::string>{"УСТАНОВКА СВЯЗИ", "ОПРЕДЕЛЕНИЕ ТИПА",
                                                      "ОПРЕДЕЛЕНИЕ СОСТАВА", "ПРОВЕРКА КС"}));
  TfrmAdjustConnectionInfo& w = *host->ConnectionWindow();
  EXPECT_EQ(w.Self.Caption(), "Настройка связи с системой");
  EXPECT_EQ(w.Label2.Caption(),
            "Последовательный порт COM1 (Имитатор аппарата)\nОбнаружено устройство KVT-K2\n"
            "Версия программного обеспечения 2.3");
  EXPECT_EQ(w.ModulesTable.Cell(0, 0), "  Стр.");
  EXPECT_EQ(w.ModulesTable.Cell(1, 0), "                       Наименование модуля");
  EXPECT_EQ(w.ModulesTable.Cell(2, 0), "   Код");
  EXPECT_EQ(w.ModulesTable.ColWidth(1), 376);
  EXPECT_EQ(Rows(w.ModulesTable),
            (std::vector<std::vector<std::string>>{{"0", "Модуль памяти", "10"},
                                                   {"1", "Модуль управления", "21"},
                                                   {"2", "Модуль накала", "32"},
                                                   {"3", "Модуль вращения", "43"},
                                                   {"4", "Модуль измерений", "54"},
                                                   {"", "", ""}}));  // the trailing empty row
  EXPECT_TRUE(w.GroupBox2.Visible());
  EXPECT_EQ(w.StringGrid1.Cell(2, 0), "    КС");
  EXPECT_EQ(w.StringGrid1.ColWidth(2), 81);
  auto banks = Rows(w.StringGrid1);
  ASSERT_EQ(banks.size(), 5u);
  EXPECT_EQ(banks[0], (std::vector<std::string>{"0", "OK", "ABCD"}));
  EXPECT_EQ(banks[1], (std::vector<std::string>{"1", "OK", "000A"}));
  EXPECT_EQ(banks[4], (std::vector<std::string>{"4", "OK", "0000"}));

  auto& s = SystemStatus();
  EXPECT_TRUE(s.LinkUp && s.TypeKnown && s.ChecksumsOk);
  EXPECT_FALSE(s.UnknownModules || s.AddressViolation || s.MissingRequired);
  for (int p = 0; p <= 4; ++p) EXPECT_TRUE(s.PagePresent[std::size_t(p)]) << p;
  EXPECT_FALSE(s.PagePresent[5]);
  EXPECT_EQ(s.SystemType(), "K2");

  EXPECT_EQ(w.lbConclusion.Caption(), kReady);
  EXPECT_EQ(w.lbConclusion.Font().color, platform::colors::Green);
  EXPECT_EQ(w.lbConclusion.Font().size, 10);
  EXPECT_EQ(host->WindowsShown(), 1);
  EXPECT_TRUE(host->MonitorRunning);
  EXPECT_TRUE(host->ToolWindowOpen(kvt::ToolWindow::ConnectionInfo));
  host->StopMonitor();
  EXPECT_FALSE(host->MonitorRunning);
  host->DestroyConnectionWindow();
  EXPECT_FALSE(host->ToolWindowOpen(kvt::ToolWindow::ConnectionInfo));
}

TEST_F(Connection, BankListWithJunkAndAMismatch) {
  WriteSettings(DefaultSettings("COM1=simulator", "3, 5,x7"));
  ControllerScript script;
  script.badBanks = {5};
  Controller(script);
  std::unique_ptr<TestHost> host;
  ASSERT_NO_FATAL_FAILURE(ConnectOnCom1(host));
  TfrmAdjustConnectionInfo& w = *host->ConnectionWindow();
  auto banks = Rows(w.StringGrid1);
  ASSERT_EQ(banks.size(), 3u);
  EXPECT_EQ(banks[0][0], "3");
  EXPECT_EQ(banks[1], (std::vector<std::string>{"5", "Несовпадение", "0000"}));
  EXPECT_EQ(banks[2][0], "7");
  EXPECT_FALSE(SystemStatus().ChecksumsOk);
  EXPECT_EQ(w.lbConclusion.Caption(),
            "\nОбнаружено несоответствие контрольных сумм в модуле памяти.");
  EXPECT_EQ(w.lbConclusion.Font(), (platform::Font{platform::colors::Red, 0, true}));
  EXPECT_EQ(w.lbConclusion.BackgroundColor(), platform::colors::Black);
}

TEST_F(Connection, EmptyBankListChecksNothingAndIsOk) {
  WriteSettings(DefaultSettings("COM1=simulator", ""));
  auto ctl = Controller();
  std::unique_ptr<TestHost> host;
  ASSERT_NO_FATAL_FAILURE(ConnectOnCom1(host));
  TfrmAdjustConnectionInfo& w = *host->ConnectionWindow();
  EXPECT_TRUE(w.GroupBox2.Visible());
  EXPECT_EQ(w.StringGrid1.RowCount(), 1);
  EXPECT_TRUE(SystemStatus().ChecksumsOk);
  for (const auto& f : ctl->Frames()) EXPECT_FALSE(f.size() == 3 && f[1] == 0x44);
  EXPECT_EQ(w.lbConclusion.Caption(), kReady);
}

TEST_F(Connection, UnknownModulesOnPagesFourAndNine) {
  ControllerScript script;
  script.moduleCodes[4] = 57;  // in range but without a description
  script.moduleCodes[9] = 200;
  Controller(script);
  std::unique_ptr<TestHost> host;
  ASSERT_NO_FATAL_FAILURE(ConnectOnCom1(host));
  TfrmAdjustConnectionInfo& w = *host->ConnectionWindow();
  EXPECT_EQ(w.UnknownPages(), (std::vector<int>{4, 9}));
  EXPECT_EQ(w.ModulesTable.RowCells(6),
            (std::vector<std::string>{"9", "Неизвестный модуль", "200"}));
  EXPECT_TRUE(SystemStatus().UnknownModules);
  EXPECT_FALSE(SystemStatus().PagePresent[4]);  // an unknown module does not make a page present
  EXPECT_EQ(w.lbConclusion.Caption(),
            "\nВ системе обнаружены неизветные модули на страницах: 4,9"
            "\n\nВключение системы невозможно до устранения аппартных неисправностей.");
}

TEST_F(Connection, ViolatingModuleIsNamedAfterItsFirstDash) {
  WriteSettings(DefaultSettings("COM1=simulator", "0", "35=БУ-Блок-управления\n"));
  ControllerScript script;
  script.moduleCodes[3] = 35;  // page 3 allows 40..49
  Controller(script);
  std::unique_ptr<TestHost> host;
  ASSERT_NO_FATAL_FAILURE(ConnectOnCom1(host));
  TfrmAdjustConnectionInfo& w = *host->ConnectionWindow();
  EXPECT_EQ(w.ViolatingRows(), (std::vector<int>{4}));
  EXPECT_TRUE(SystemStatus().AddressViolation);
  EXPECT_FALSE(SystemStatus().PagePresent[3]);
  EXPECT_EQ(w.lbConclusion.Caption(),
            "\nОбнаружено нарушение магистрального адреса для модуля: Блок-управления"
            "\n\nВключение системы невозможно до устранения аппартных неисправностей.");
}

TEST_F(Connection, RequiredPageWithUnknownModuleIsMissingAndUnknown) {
  ControllerScript script;
  script.moduleCodes[2] = 38;   // in the page's range, no description
  script.moduleCodes.erase(1);  // and page 1 is empty
  Controller(script);
  std::unique_ptr<TestHost> host;
  ASSERT_NO_FATAL_FAILURE(ConnectOnCom1(host));
  TfrmAdjustConnectionInfo& w = *host->ConnectionWindow();
  EXPECT_EQ(w.MissingPages(), (std::vector<int>{1, 2}));
  EXPECT_EQ(w.UnknownPages(), (std::vector<int>{2}));
  EXPECT_TRUE(SystemStatus().MissingRequired);
  EXPECT_EQ(w.lbConclusion.Caption(),
            "\nВ системе обнаружен неизветный модуль на странице: 2"
            "\nНа странице 1 не распознан модуль управления"
            "\nНа странице 2 не распознан модуль накала"
            "\n\nВключение системы невозможно до устранения аппартных неисправностей.");
}

TEST_F(Connection, MissingOptionalDescriptionLimitsFunctions) {
  WriteSettings(DefaultSettings("COM1=simulator", "0") + "[Page7]\nModuleRequired=1\n");
  Controller();
  std::unique_ptr<TestHost> host;
  ASSERT_NO_FATAL_FAILURE(ConnectOnCom1(host));
  EXPECT_EQ(host->ConnectionWindow()->lbConclusion.Caption(),
            "\nНа странице 7 не распознан неизвестный модуль\n\nФункции системы будут ограничены.");
}

TEST_F(Connection, SilentControllerAfterTheProbeGivesNoTypeAndNoGarbage) {
  ControllerScript script;
  script.answerType = false;
  script.answerVersion = false;
  auto ctl = Controller(script);
  std::unique_ptr<TestHost> host;
  ASSERT_NO_FATAL_FAILURE(ConnectOnCom1(host));
  TfrmAdjustConnectionInfo& w = *host->ConnectionWindow();
  EXPECT_EQ(w.Label2.Caption(), "Последовательный порт COM1 (Имитатор аппарата)");
  EXPECT_FALSE(SystemStatus().TypeKnown);
  EXPECT_EQ(SystemStatus().SystemType(), "");
  EXPECT_EQ(Rows(w.ModulesTable), (std::vector<std::vector<std::string>>{{"", "", ""}}));
  EXPECT_FALSE(w.GroupBox2.Visible());
  EXPECT_EQ(w.lbConclusion.Caption(), "\nТип системы не определен.");
  EXPECT_EQ(host->States(), (std::vector<std::string>{"УСТАНОВКА СВЯЗИ", "ОПРЕДЕЛЕНИЕ ТИПА"}));
}

TEST_F(Connection, TypeLettersOutsideAsciiAreReadInTheControllersCodePage) {
  ControllerScript script;
  script.type = "\xCA\x32";  // "К2" with a Cyrillic К
  auto ctl = Controller(script);
  std::unique_ptr<TestHost> host;
  ASSERT_NO_FATAL_FAILURE(ConnectOnCom1(host));
  EXPECT_TRUE(SystemStatus().TypeKnown);
  EXPECT_EQ(SystemStatus().SystemType(), "К2");
  EXPECT_NE(host->ConnectionWindow()->Label2.Caption().find("KVT-К2"), std::string::npos);
}

TEST_F(Connection, TypeK4AnnouncesItselfAndListsExtensionModules) {
  WriteSettings(DefaultSettings("COM1=simulator", "0", "77=Модуль расширения\n"));
  ControllerScript script;
  script.type = "K4";
  script.version = 5;
  script.extensionModules = {{253, 77}};
  auto ctl = Controller(script);
  std::unique_ptr<TestHost> host;
  ASSERT_NO_FATAL_FAILURE(ConnectOnCom1(host));
  TfrmAdjustConnectionInfo& w = *host->ConnectionWindow();
  EXPECT_EQ(w.Label2.Caption(),
            "Последовательный порт COM1 (Имитатор аппарата)\nОбнаружено устройство KVT-K4\n"
            "Версия программного обеспечения .5");
  const auto frames = ctl->Frames();
  EXPECT_NE(std::find(frames.begin(), frames.end(), Bytes{0x04, 0x04, 0x8A, 0x00, 0x4D}),
            frames.end());
  for (int m = 252; m <= 255; ++m)
    EXPECT_NE(std::find(frames.begin(), frames.end(), Bytes{0x03, 0x2A, std::uint8_t(m), 0xFF}),
              frames.end());
  auto rows = Rows(w.ModulesTable);
  ASSERT_EQ(rows.size(), 7u);
  EXPECT_EQ(rows[5], (std::vector<std::string>{"", "Модуль расширения", "77"}));
  EXPECT_EQ(rows[6], (std::vector<std::string>{"", "", ""}));
  EXPECT_EQ(w.lbConclusion.Caption(), kReady);
}

TEST_F(Connection, SecondAttemptReopensThePortAndKeepsTheImage) {
  auto ctl = Controller();
  auto host = NewHost();
  ASSERT_EQ(kvt::RunConnectionSequence(*host), "COM1");
  SystemStatus().ImageLoaded = true;
  const int openingsBefore = ctl->Openings();
  ASSERT_EQ(kvt::RunConnectionSequence(*host), "COM1");
  EXPECT_EQ(ctl->Openings(), openingsBefore + 2);  // probe and connection link again
  EXPECT_EQ(ctl->OpenPorts(), 1);
  EXPECT_TRUE(SystemStatus().ImageLoaded);
  EXPECT_TRUE(host->MonitorRunning);
  EXPECT_NE(host->ConnectionWindow(), nullptr);
  host->Shutdown();
  EXPECT_EQ(ctl->OpenPorts(), 0);
  EXPECT_FALSE(host->MonitorRunning);
}
