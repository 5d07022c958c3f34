// The progress window model: the open window, nesting, the gauge's range, refused close.

#include <gtest/gtest.h>

#include <vector>

#include "app/Progress.h"

namespace kvt {
namespace {

struct RecordingView : TfrmProgress::View {
  std::vector<int>* seen;
  explicit RecordingView(std::vector<int>* s) : seen(s) {}
  void ProgressChanged(int percent) override { seen->push_back(percent); }
};

TEST(ManagerProgress, SetProgressReachesTheOpenWindowOnly) {
  std::vector<int> seen;
  TfrmProgress::SetViewFactory(
      [&](TfrmProgress&) { return std::make_unique<RecordingView>(&seen); });
  EXPECT_EQ(TfrmProgress::Current(), nullptr);
  SetProgress(40);  // no window: nothing happens
  {
    TfrmProgress outer("Чтение образа памяти...");
    EXPECT_EQ(TfrmProgress::Current(), &outer);
    EXPECT_EQ(outer.Caption(), "Чтение образа памяти...");
    EXPECT_FALSE(outer.FormCloseQuery());
    SetProgress(10);
    {
      TfrmProgress inner("inner");
      SetProgress(55);
      EXPECT_EQ(inner.Position(), 55);
    }
    EXPECT_EQ(TfrmProgress::Current(), &outer);
    SetProgress(150);
    SetProgress(-3);
    EXPECT_EQ(outer.Position(), 0);
  }
  EXPECT_EQ(TfrmProgress::Current(), nullptr);
  TfrmProgress::SetViewFactory(nullptr);
  EXPECT_EQ(seen, (std::vector<int>{10, 55, 100, 0}));
}

TEST(ManagerProgress, WithProgressPassesTheWindowsCallback) {
  int last = -1;
  WithProgress("Запись", [&](std::function<void(int)> progress) {
    progress(33);
    last = TfrmProgress::Current()->Position();
  });
  EXPECT_EQ(last, 33);
  EXPECT_EQ(TfrmProgress::Current(), nullptr);
}

}  // namespace
}  // namespace kvt
