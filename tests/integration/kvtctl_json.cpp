// kvtctl for the bench and for scripts: the power commands from a cold simulator, and --json
// documents read back with the JSON library, exit codes as in text mode.

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
using nlohmann::json;

struct CliRun : testsupport::CliRun {
  json doc;  // the document on standard output (null when it was not JSON)
};

class KvtctlJson : public testsupport::KvtctlFixture {
 protected:
  void MakeFolder() override {
    CopyShippedSettings(true);
    // A cold apparatus: switched off, its memory kept between the commands.
    std::ofstream(dir_ / "simulator.ini")
        << "[Simulator]\nType=K2\nTiming=instant\nMemoryFile=sim-memory.bin\n";
  }
  CliRun Kvtctl(const std::string& args) {
    CliRun run{testsupport::KvtctlFixture::Kvtctl(args), json()};
    run.doc = json::parse(run.out, nullptr, /*allow_exceptions=*/false);
    return run;
  }
};

TEST_F(KvtctlJson, BenchSequenceFromAColdSimulator) {
  CliRun r = Kvtctl("identify --json");
  ASSERT_TRUE(r.doc.is_object()) << r.out << r.err;
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.doc["command"], "identify");
  EXPECT_EQ(r.doc["exit"], 0);
  EXPECT_EQ(r.doc["port"], "COM1");
  EXPECT_EQ(r.doc["simulator"], true);
  EXPECT_EQ(r.doc["type"], "K2");
  EXPECT_TRUE(r.doc["version"].is_string());
  EXPECT_GE(r.doc["modules"].size(), 3u);
  EXPECT_TRUE(r.doc["modules"][0]["code"].is_number());
  EXPECT_TRUE(r.doc["checksums"][0]["ok"].get<bool>());
  EXPECT_EQ(r.doc["state"]["code"], 0);

  // Calibration refuses the cold apparatus; the power commands bring it to standby heating.
  EXPECT_EQ(Kvtctl("calibrate --from 60 --to 70 --json").status, 2);
  r = Kvtctl("power standby");
  EXPECT_EQ(r.status, 2) << r.out;  // not offered while the system is off
  EXPECT_NE(r.err.find("nothing sent"), std::string::npos) << r.err;
  r = Kvtctl("power on");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("СИСТЕМА ВКЛЮЧЕНА"), std::string::npos) << r.out;
  r = Kvtctl("power standby");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  r = Kvtctl("state --json");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.doc["code"], 8);
  EXPECT_EQ(r.doc["text"], "ПОДНАКАЛ ВКЛЮЧЕН");

  r = Kvtctl("read-image before.mi --json");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.doc["bytes"], 1280);
  EXPECT_EQ(r.doc["format"], "mi");
  ASSERT_TRUE(r.doc["backup"].is_string()) << r.out;
  EXPECT_TRUE(fs::exists(r.doc["backup"].get<std::string>()));

  r = Kvtctl("tables --json");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.doc["currents_ma"].size(), 8u);
  ASSERT_FALSE(r.doc["calibration"].empty());
  EXPECT_EQ(r.doc["calibration"][0]["codes"].size(), 8u);
  EXPECT_EQ(r.doc["kuan"], 100);
  r = Kvtctl("sim-truth --json");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_GT(r.doc["kuan"].get<double>(), 100.0);

  r = Kvtctl("calibrate --from 60 --to 70 --apply --json");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.doc["range"]["from_kv"], 60);
  EXPECT_FALSE(r.doc["shots"].empty());
  EXPECT_TRUE(r.doc["shots"][0]["ma"].is_number());
  EXPECT_TRUE(r.doc["applied"].get<bool>());
  EXPECT_FALSE(r.doc["tables"]["calibration"].empty());

  // The image changed where the tables lie: diff says so, with exit 1, as in text mode.
  r = Kvtctl("diff before.mi apparatus --json");
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(r.doc["equal"], false);
  EXPECT_FALSE(r.doc["differences"].empty());
  EXPECT_EQ(r.doc["ok"], false);

  r = Kvtctl("power off");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST_F(KvtctlJson, DiffRefusesEmptyAndTruncatedImages) {
  testsupport::WriteBytes(dir_ / "good.mi", std::string(1280, '\x01'));
  testsupport::WriteBytes(dir_ / "empty.mi", "");
  testsupport::WriteBytes(dir_ / "cut.mi", std::string(1000, '\x01'));
  testsupport::WriteBytes(dir_ / "short.mi", std::string(512, '\x01'));
  for (const char* bad : {"empty.mi", "cut.mi", "short.mi"}) {
    SCOPED_TRACE(bad);
    CliRun r = Kvtctl(std::string("diff good.mi ") + bad + " --json");
    EXPECT_EQ(r.status, 2);
    ASSERT_TRUE(r.doc.is_object()) << r.out;
    EXPECT_EQ(r.doc["ok"], false);
    EXPECT_EQ(r.doc["exit"], 2);
    EXPECT_NE(r.doc["error"].get<std::string>().find(bad), std::string::npos) << r.out;
    EXPECT_EQ(Kvtctl(std::string("diff ") + bad + " good.mi").status, 2);
  }
  CliRun r = Kvtctl("diff good.mi good.mi --json");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.doc["equal"], true);
  // Commands without a document refuse --json rather than printing text.
  EXPECT_EQ(Kvtctl("send 01 2E --json").status, 2);
}

}  // namespace
