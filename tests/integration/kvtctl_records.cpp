// kvtctl's records for the engineer against the simulator: the backup of every image read, the
// image diff with its exit codes, and the serial trace of one command.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>

#include "image/ImageBackup.h"
#include "support/Kvtctl.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

using testsupport::CliRun;

class KvtctlRecords : public testsupport::KvtctlFixture {
 protected:
  KvtctlRecords() { dirArg_ = dir_.Path().string(); }
  void MakeFolder() override {
    testsupport::WriteBytes(dir_ / "simulator.ini",
                            "[Simulator]\r\nTiming=instant\r\nMemoryFile=sim-memory.bin\r\n");
    CopyShippedSettings(true);
  }
  std::size_t Backups() {
    const fs::path d = kvt::BackupDir(dir_.Path());
    if (!fs::exists(d)) return 0;
    return std::size_t(std::distance(fs::directory_iterator(d), fs::directory_iterator()));
  }
};

TEST_F(KvtctlRecords, DiffTellsEqualDifferentAndBroken) {
  CliRun r = Kvtctl("read-image before.mi");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Backups(), 1u);
  r = Kvtctl("read-image before.dat");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Backups(), 2u);

  r = Kvtctl("diff before.mi before.dat");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out, "");
  r = Kvtctl("diff before.mi apparatus");
  EXPECT_EQ(r.status, 0) << r.out << r.err;

  // KUAN edited in the text: told with its comment, against the file and against the apparatus.
  ASSERT_TRUE(EditKuan("before.dat", "96", "edited.dat"));
  r = Kvtctl("diff before.mi edited.dat");
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(r.out, "0x013 KUAN 100 → 96 (коэффициент канала анодного напряжения, сотые доли)\n");
  r = Kvtctl("diff apparatus edited.dat");
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(r.out.rfind("0x013 KUAN 100 → 96", 0), 0u) << r.out;

  // Errors: a missing file, a word that is neither, a broken text; nothing is read then.
  const std::size_t backups = Backups();
  testsupport::WriteBytes(dir_ / "broken.dat", "1 2 oops\n");
  testsupport::WriteBytes(dir_ / "huge.mi", std::string(0x10001, '\0'));
  for (const char* args :
       {"diff before.mi missing.mi", "diff before.mi apparatus2", "diff broken.dat apparatus",
        "diff before.mi", "diff huge.mi before.mi"}) {
    r = Kvtctl(args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_NE(r.err, "") << args;
  }
  EXPECT_EQ(Backups(), backups);
}

TEST_F(KvtctlRecords, TraceOfOneCommandShowsTheAddressByteAndTheReply) {
  CliRun r = Kvtctl("--trace line.log send 01 2E");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string reply = r.out.substr(0, r.out.find_last_not_of(" \n") + 1);
  ASSERT_FALSE(reply.empty());
  const std::string trace = testsupport::ReadBytes(dir_ / "line.log");
  const std::string stamp = R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )";
  // The probe's address byte with the ninth bit set and the controller's answer, then the frame
  // in data bytes with the reply kvtctl printed.
  EXPECT_TRUE(std::regex_search(trace, std::regex(stamp + R"(TX 9=1: 00 \| RX \+\d+ms: \w\w\n)")))
      << trace;
  EXPECT_TRUE(std::regex_search(
      trace, std::regex(stamp + R"(TX 9=0: 01 2E \| RX \+\d+ms: )" + reply + "\n")))
      << trace;

  // The settings switch it on for every run; without either nothing is written.
  fs::remove(dir_ / "line.log");
  r = Kvtctl("state");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(fs::exists(dir_ / "line.log"));
  testsupport::WriteBytes(dir_ / "vesmar.ini", testsupport::ReadBytes(dir_ / "vesmar.ini") +
                                                   "\r\n[Trace]\r\nTrace=line.log\r\n");
  r = Kvtctl("state");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(testsupport::ReadBytes(dir_ / "line.log").find("TX 9=0: 00 | RX"), std::string::npos);
}

}  // namespace
