#pragma once
// A program folder with the shipped vesmar.ini and template, the simulator in instant timing on
// the shared port, a scripted Ui and a main window stand-in for the configuration workflows.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/Progress.h"
#include "image/MemoryImage.h"
#include "image/Workflows.h"
#include "link/SystemLink.h"
#include "link/SystemStatus.h"
#include "platform/LinkLock.h"
#include "sim/Apparatus.h"
#include "sim/Install.h"
#include "support/ScopedUi.h"
#include "support/SimulatorLine.h"
#include "support/TempDir.h"

namespace termtest {

namespace fs = std::filesystem;

class TestHost : public kvt::WorkflowHost {
 public:
  fs::path dir;
  std::string imageDir;
  std::unique_ptr<kvt::TMemoryImage> image;
  std::string datFile;
  std::vector<std::string> states;
  std::vector<std::string> terminalOpens;
  std::vector<std::string> progressCaptions;
  int refreshes = 0;
  int reannounces = 0;
  std::function<void(const std::string&)> onOpenTerminal;

  fs::path ProgramDir() const override { return dir; }
  std::string ImageDir() const override { return imageDir; }
  std::unique_ptr<kvt::TMemoryImage>& CurrentImage() override { return image; }
  std::string& CurrentDatFile() override { return datFile; }
  void ShowState(const std::string& text) override { states.push_back(text); }
  void RefreshButtons() override { ++refreshes; }
  void RequestReannounce() override { ++reannounces; }
  void OpenTerminal(const std::string& page) override {
    terminalOpens.push_back(page);
    if (onOpenTerminal) onOpenTerminal(page);
  }
  void WithProgress(const std::string& caption,
                    const std::function<void(const kvt::ProgressCallback&)>& work) override {
    progressCaptions.push_back(caption);
    kvt::WithProgress(caption, [&](std::function<void(int)> cb) { work(cb); });
  }
};

class TermFixture : public ::testing::Test {
 protected:
  TermFixture() : programDir_(dir_.Path()) {
    fs::copy_file(fs::path(KVT_DATA_DIR) / "vesmar.ini", dir_ / "vesmar.ini");
    fs::create_directories(dir_ / "Memory");
    fs::copy_file(fs::path(KVT_DATA_DIR) / "Memory" / "etalon.pat", dir_ / "Memory" / "etalon.pat");
    sim::Profile profile;
    profile.timing = sim::Timing::Instant;
    profile.memoryFile.clear();
    apparatus_ = &testsupport::AttachSimulator(profile);
    ResetStatus();
    kvt::SystemStatus().LinkUp = true;
    kvt::SystemStatus().PagePresent[0] = true;
    host.dir = dir_.Path();
    host.imageDir = dir_.Path().string();
  }
  ~TermFixture() override {
    kvt::CloseSharedPort();
    ResetStatus();
  }
  static void ResetStatus() {
    kvt::SystemStatus().Clear();
    kvt::SystemStatus().ImageModified = false;
  }

  std::vector<platform::MessageRequest> Messages() { return ui->Messages(); }
  // Texts of the messages shown so far.
  std::vector<std::string> Texts() {
    std::vector<std::string> t;
    for (const auto& m : ui->Messages()) t.push_back(m.text);
    return t;
  }
  void ChooseFile(const fs::path& path, int filterIndex) {
    platform::FileDialogResult r;
    r.accepted = true;
    r.path = path.string();
    r.filterIndex = filterIndex;
    ui->QueueFileDialog(r);
  }
  void CancelFileDialog() { ui->QueueFileDialog(platform::FileDialogResult{}); }
  // The simulator's page 0 from address 0.
  std::vector<std::uint8_t> SimMemory(std::size_t count) {
    return apparatus_->ReadMemory(0, count);
  }

  testsupport::TempDir dir_;
  testsupport::ScopedProgramDir programDir_;
  testsupport::ScopedUi ui;
  sim::Apparatus* apparatus_ = nullptr;
  TestHost host;
  kvt::TConfigWorkflows wf{host};
};

}  // namespace termtest
