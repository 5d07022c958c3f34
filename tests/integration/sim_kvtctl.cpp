// kvtctl's table commands on the simulator: the stored tables, and the truth only the simulator
// can tell.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/Kvtctl.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

class SimKvtctl : public testsupport::KvtctlFixture {
 protected:
  SimKvtctl() { dirArg_ = dir_.Path().string(); }
  void Folder(const std::string& ports, const std::string& profile) {
    testsupport::WriteBytes(dir_ / "vesmar.ini", "[Ports]\r\n" + ports + "\r\n");
    testsupport::WriteBytes(dir_ / "simulator.ini",
                            "[Simulator]\r\nTiming=instant\r\nMemoryFile=\r\n" + profile);
  }
  int Run(const std::string& command) {
    const testsupport::CliRun run = Kvtctl(command);
    out = run.out;
    err = run.err;
    return run.status;
  }
  std::string out;
  std::string err;
};

TEST_F(SimKvtctl, TablesAndTruthOnTheShippedPlant) {
  Folder("COM2=simulator", "");
  ASSERT_EQ(Run("tables"), 0) << err;
  // The nominal table of the factory image: header currents, then a row per 10 kV.
  EXPECT_NE(out.find(" kV\\mA     50     75    100    125    150    175    200    250"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("\n    40    755"), std::string::npos) << out;
  EXPECT_NE(out.find("KUAN 100  KMES 100"), std::string::npos);

  ASSERT_EQ(Run("sim-truth"), 0) << err;
  EXPECT_NE(out.find("KUAN 103.0 (stored 100)  KMES 103.1 (stored 100)"), std::string::npos) << out;
  // The aged tube needs other codes than the stored table says.
  EXPECT_EQ(out.find("\n    40    755"), std::string::npos) << out;
  EXPECT_NE(out.find("\n    40    770"), std::string::npos) << out;
  EXPECT_EQ(out.find("phase"), std::string::npos);
}

TEST_F(SimKvtctl, K4TruthNamesThePhaseCoefficients) {
  Folder("COM1=simulator", "Type=K4\r\n[Plant]\r\nPhaseSlopeA=1.75\r\nPhaseOffsetA=5\r\n");
  ASSERT_EQ(Run("sim-truth"), 0) << err;
  EXPECT_NE(out.find("phase A: A 224.0 B -640.0 (stored A 224 B -640)"), std::string::npos) << out;
  EXPECT_NE(out.find("phase B: A 230.4 B -384.0"), std::string::npos) << out;
  ASSERT_EQ(Run("tables"), 0) << err;
}

TEST_F(SimKvtctl, TruthIsRefusedWithoutTheSimulator) {
  Folder("COM1=/dev/null-no-such-port", "");
  EXPECT_EQ(Run("sim-truth"), 2);  // could not start
  EXPECT_NE(err.find("no port of vesmar.ini [Ports] maps to the simulator"), std::string::npos)
      << err;
  EXPECT_TRUE(out.empty());
}

}  // namespace
