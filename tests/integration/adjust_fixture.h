#pragma once
// The adjustment windows against the simulated apparatus in instant timing: a program folder
// whose vesmar.ini sets the pause between shots, the simulator on the shared port in standby
// heating, a scripted Ui, and a scripted reader of the determination dialog.

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "exposure/DefineCurrent.h"
#include "link/SystemLink.h"
#include "platform/LinkLock.h"
#include "sim/Apparatus.h"
#include "sim/Install.h"
#include "support/ScopedUi.h"
#include "support/SimulatorLine.h"
#include "support/TempDir.h"

namespace adjusttest {

class AdjustFixture : public ::testing::Test {
 protected:
  void Start(sim::Profile profile = {}, int pauseSeconds = 0) {
    testsupport::WriteBytes(dir.Path() / "vesmar.ini",
                            "[Описание режимов автоконфигурации]\r\nSNAPSHOTTIMEOUT=" +
                                std::to_string(pauseSeconds) + "\r\n");
    programDir.emplace(dir.Path());
    apparatus = &testsupport::AttachSimulator(std::move(profile));
    apparatus->SetState(8);
  }
  void TearDown() override {
    kvt::DefineCurrentDialog().SetModalRunner(nullptr);
    kvt::CloseSharedPort();
  }

  // The determination dialog read by a script: each showing takes the next answer (a value
  // set with the two bars, or a close by the frame when empty) and records its mode and curve.
  struct Reading {
    kvt::DefineMode mode;
    kvt::CurvePoints curve;
  };
  void ScriptDialog(std::deque<std::optional<int>> answers) {
    answers_ = std::move(answers);
    kvt::DefineCurrentDialog().SetModalRunner([this](kvt::TfrmDefineCurrent& d) {
      kvt::CurvePoints curve;
      for (const auto& p : d.Series3().Points()) curve.emplace_back(p.x, p.y);
      readings.push_back({d.Mode(), curve});
      std::optional<int> a;
      if (!answers_.empty()) {
        a = answers_.front();
        answers_.pop_front();
      }
      if (!a) {
        d.FormCloseByFrame();
        return;
      }
      // Both lines at the same distance from zero: the upper bar moves, the lower one follows.
      d.UpTrack1.SetPosition(d.UpTrack1.Max() - *a);
      d.Button1.Click();
    });
  }

  // The dialog read as an engineer reads it: the upper line onto the curve's highest point, the
  // lower one onto its lowest.
  void ReadDialogPeaks() {
    kvt::DefineCurrentDialog().SetModalRunner([this](kvt::TfrmDefineCurrent& d) {
      double hi = 0, lo = 0;
      kvt::CurvePoints curve;
      for (const auto& p : d.Series3().Points()) {
        curve.emplace_back(p.x, p.y);
        hi = std::max(hi, p.y);
        lo = std::min(lo, p.y);
      }
      readings.push_back({d.Mode(), curve});
      d.UpTrack1.SetPosition(d.UpTrack1.Max() - int(hi + 0.5));
      d.DownTrack1.SetPosition(int(-lo + 0.5));
      d.Button1.Click();
    });
  }

  // Frames of one command received by the main controller.
  std::vector<std::vector<std::uint8_t>> Frames(std::uint8_t header, std::uint8_t command) {
    std::vector<std::vector<std::uint8_t>> out;
    for (const auto& f : apparatus->FrameLog())
      if (f.bytes.size() >= 2 && f.bytes[0] == header && f.bytes[1] == command && f.selected == 0)
        out.push_back(f.bytes);
    return out;
  }

  testsupport::TempDir dir;
  std::optional<testsupport::ScopedProgramDir> programDir;
  testsupport::ScopedUi ui;
  sim::Apparatus* apparatus = nullptr;
  std::vector<Reading> readings;

 private:
  std::deque<std::optional<int>> answers_;
};

}  // namespace adjusttest
