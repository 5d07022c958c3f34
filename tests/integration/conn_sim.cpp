// The connection sequence and the monitor against the apparatus simulator with the shipped
// settings file.

#include <gtest/gtest.h>

#include <filesystem>

#include "app/AdjConnInfo.h"
#include "app/Connection.h"
#include "link/SystemLink.h"
#include "link/SystemStatus.h"
#include "sim/Install.h"
#include "support/conn_Fixture.h"

using namespace conntest;

namespace {

class ConnSim : public ConnFixture {
 protected:
  ConnSim() {
    std::filesystem::copy_file(std::filesystem::path(KVT_DATA_DIR) / "vesmar.ini",
                               dir_ / "vesmar.ini",
                               std::filesystem::copy_options::overwrite_existing);
  }
};

}  // namespace

TEST_F(ConnSim, DefaultApparatusIsReadyWithTheShippedSettings) {
  sim::InstallForTest(sim::Profile{});
  auto host = NewHost();
  ASSERT_EQ(kvt::RunConnectionSequence(*host), "COM1");
  host->StopMonitor();
  const kvt::TfrmAdjustConnectionInfo& w = *host->ConnectionWindow();
  EXPECT_EQ(w.Label2.Caption(),
            "Последовательный порт COM1 (Имитатор аппарата)\nОбнаружено устройство KVT-K2\n"
            "Версия программного обеспечения 2.3");
  EXPECT_EQ(w.ModulesTable.RowCount(), 7);  // header, five modules, the empty row
  EXPECT_EQ(w.ModulesTable.Cell(2, 5), "54");
  EXPECT_EQ(w.StringGrid1.RowCount(), 6);
  for (int r = 1; r <= 5; ++r) EXPECT_EQ(w.StringGrid1.Cell(1, r), "OK") << r;
  EXPECT_EQ(w.lbConclusion.Caption(), "\n\nСИСТЕМА ГОТОВА К РАБОТЕ!");
}

TEST_F(ConnSim, BrokenBankAndUnknownModule) {
  sim::Profile profile;
  profile.brokenBanks = {2};
  profile.pageCodes[9] = 99;
  sim::InstallForTest(profile);
  auto host = NewHost();
  ASSERT_EQ(kvt::RunConnectionSequence(*host), "COM1");
  host->StopMonitor();
  const kvt::TfrmAdjustConnectionInfo& w = *host->ConnectionWindow();
  EXPECT_EQ(w.StringGrid1.Cell(1, 3), "Несовпадение");
  EXPECT_EQ(w.StringGrid1.Cell(1, 2), "OK");
  EXPECT_FALSE(kvt::SystemStatus().ChecksumsOk);
  EXPECT_EQ(w.lbConclusion.Caption(),
            "\nВ системе обнаружен неизветный модуль на странице: 9"
            "\nОбнаружено несоответствие контрольных сумм в модуле памяти."
            "\n\nВключение системы невозможно до устранения аппартных неисправностей.");
}

TEST_F(ConnSim, LineThatDiesIsReportedOnce) {
  sim::Profile profile;
  profile.silentAfter = 45;  // the identification takes fewer exchanges than this
  sim::InstallForTest(profile);
  auto host = NewHost();
  ASSERT_EQ(kvt::RunConnectionSequence(*host), "COM1");
  EXPECT_TRUE(PumpUntil([&] { return !host->MonitorRunning; }, 30000));
  PumpFor(300);
  ASSERT_EQ(ui_->Messages().size(), 1u);
  EXPECT_EQ(ui_->Messages()[0].text, "Потеряна связь с системой. ");
  EXPECT_FALSE(kvt::SharedPortOpen());
  EXPECT_EQ(host->LastState(), "СВЯЗЬ НЕ УСТАНОВЛЕНА");
}
