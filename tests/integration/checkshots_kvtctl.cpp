// kvtctl check-shots as an engineer scripts it: on the shipped simulator plant a series within
// tolerance, read back as JSON; with a regulation error of ±6 kV the voltage out of tolerance and
// exit 1; a K3 refused; a bad tolerance reported and its default used.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "support/Kvtctl.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

using testsupport::CliRun;

class CheckShotsKvtctl : public testsupport::KvtctlFixture {
 protected:
  void MakeFolder() override {
    // The shipped settings with no pause between shots, and a tolerance given as text.
    std::string ini = testsupport::ReadBytes(fs::path(KVT_DATA_DIR) / "vesmar.ini");
    const std::string pause = "SNAPSHOTTIMEOUT=1";
    ini.replace(ini.find(pause), pause.size(), "SNAPSHOTTIMEOUT=0");
    const std::string current = "CurrentPercent=10";
    ini.replace(ini.find(current), current.size(), "CurrentPercent=ten");
    testsupport::WriteBytes(dir_ / "vesmar.ini", ini);
  }
  void Simulator(const std::string& plant, const std::string& type = "K2") {
    WriteSimulator(type, "", std::string("State=8\n[Plant]\n").append(plant));
  }
};

TEST_F(CheckShotsKvtctl, ShippedPlantWithinToleranceAsJson) {
  Simulator("");
  const CliRun r = Kvtctl("check-shots --kv 80,100 --repeat 3 --ms 100 --json");
  ASSERT_EQ(r.status, 0) << r.err << r.out;
  EXPECT_NE(r.err.find("CurrentPercent=ten"), std::string::npos) << r.err;
  const auto j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["summary"], "В допуске");
  EXPECT_TRUE(j["ok"].get<bool>());
  EXPECT_EQ(j["tolerances"]["current_percent"], 10.0);  // the default, for the bad value
  ASSERT_EQ(j["shots"].size(), 6u);
  for (const auto& s : j["shots"]) {
    EXPECT_NEAR(s["kv"].get<double>(), s["kv_set"].get<double>(), 4.0);
    EXPECT_NEAR(s["ms"].get<double>(), 100.0, 1.0);
    EXPECT_EQ(s["ma_set"], 70);
    EXPECT_TRUE(s["within"].get<bool>());
  }
  ASSERT_EQ(j["repeats"].size(), 2u);
  EXPECT_EQ(j["repeats"][1]["kv_set"], 100);
  EXPECT_EQ(j["repeats"][1]["count"], 3);
  EXPECT_LE(j["repeats"][1]["cv"].get<double>(), 0.05);
}

TEST_F(CheckShotsKvtctl, RegulationErrorIsOutOfToleranceAndK3IsRefused) {
  Simulator("RegulationError=6\n");
  const CliRun r = Kvtctl("check-shots --kv 60,70,80,90,100");
  EXPECT_EQ(r.status, 1) << r.err << r.out;
  EXPECT_NE(r.out.find("shot=5 kv_set=100 "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(" OUT\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\nВне допуска: Ua"), std::string::npos) << r.out;

  Simulator("", "K3");
  const CliRun k3 = Kvtctl("check-shots");
  EXPECT_EQ(k3.status, 2);
  EXPECT_NE(k3.err.find("of type K3"), std::string::npos) << k3.err;
  EXPECT_EQ(k3.out.find("shot="), std::string::npos);

  EXPECT_EQ(Kvtctl("check-shots --kv 60,x").status, 2);
}

}  // namespace
