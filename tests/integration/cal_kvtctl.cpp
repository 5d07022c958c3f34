// kvtctl calibrate as an engineer scripts it: refused while the apparatus is not ready for
// exposures or is not of type K2; on a ready one a line per shot, the new tables, their .dat
// export and, with --apply, the tables in the apparatus's committed memory.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/Kvtctl.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

using testsupport::CliRun;

class CalKvtctl : public testsupport::KvtctlFixture {
 protected:
  void MakeFolder() override { CopyShippedSettings(false); }
  void Simulator(const std::string& extra, const std::string& type = "K2") {
    WriteSimulator(type, "sim-memory.bin", extra);
  }
};

TEST_F(CalKvtctl, RefusesAnApparatusThatIsNotReady) {
  Simulator("");  // switched off
  const CliRun r = Kvtctl("calibrate --from 60 --to 70");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("not ready for exposures (state 0)"), std::string::npos) << r.err;
  EXPECT_EQ(r.out.find("shot="), std::string::npos);

  // A ready K3 is not exposed either: its calibration needs the engineer's readings.
  Simulator("State=8\n", "K3");
  const CliRun k3 = Kvtctl("calibrate --from 60 --to 70");
  EXPECT_EQ(k3.status, 2);
  EXPECT_NE(k3.err.find("of type K3"), std::string::npos) << k3.err;
  EXPECT_EQ(k3.out.find("shot="), std::string::npos);

  const CliRun bad = Kvtctl("calibrate --from");
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("--from needs a voltage"), std::string::npos) << bad.err;
}

TEST_F(CalKvtctl, CalibratesExportsAndAppliesTheTables) {
  Simulator("State=8\n");
  const CliRun r = Kvtctl("calibrate --from 60 --to 80 --out new.dat --apply");
  ASSERT_EQ(r.status, 0) << r.err << r.out;
  EXPECT_NE(r.out.find("range=60..80 step=10"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("shot=1 stage=2 "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(" stage=3 "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("calibration table"), std::string::npos);
  EXPECT_NE(r.out.find("tables written into the apparatus"), std::string::npos);

  const std::string dat = testsupport::ReadBytes(dir_ / "new.dat");
  EXPECT_EQ(dat.rfind("$16bitformat\n#2\n>0\n\t60\n\t80\n\t10\n>10\n", 0), 0u) << dat;

  // The committed memory now describes the new table.
  const std::string mem = testsupport::ReadBytes(dir_ / "sim-memory.bin");
  ASSERT_GT(mem.size(), 0x300u);
  EXPECT_EQ(std::uint8_t(mem[0x201]), 60);
  EXPECT_EQ(std::uint8_t(mem[0x203]), 80);
  EXPECT_EQ(std::uint8_t(mem[0x205]), 10);
  // And the state file holds the procedure.
  EXPECT_TRUE(fs::exists(dir_ / "caltable.ini"));
}

}  // namespace
