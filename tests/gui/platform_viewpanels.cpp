// The view parts that frame a window and its content: the window named after its form, panels and
// the room inside a group box.

#include <gtest/gtest.h>

#include <QGroupBox>

#include "platform/qt/ViewParts.h"

namespace {

using namespace platform;
using namespace platform::qt;

TEST(ViewPanels, WindowPanelsAndGroupsFrameTheirContent) {
  QWidget form;
  Form model("frmProbe");
  model.SetCaption("Проба");
  FrameWindow(&form, model, QSize(320, 240));
  EXPECT_EQ(form.objectName(), QString("frmProbe"));
  EXPECT_EQ(form.minimumSize(), QSize(320, 240));
  EXPECT_EQ(form.maximumSize(), QSize(320, 240));
  EXPECT_EQ(form.windowTitle(), QString("Проба"));
  model.SetCaption("Проба 2");
  EXPECT_EQ(form.windowTitle(), QString("Проба 2"));

  Panel panel("pnlProbe");
  QFrame* frame = MakePanel(&form, panel, QRect(8, 8, 120, 60), QFrame::Sunken, 2);
  EXPECT_EQ(frame->objectName(), QString("pnlProbe"));
  EXPECT_EQ(frame->geometry(), QRect(8, 8, 120, 60));
  EXPECT_EQ(frame->frameShadow(), QFrame::Sunken);
  EXPECT_EQ(frame->lineWidth(), 2);
  panel.SetEnabled(false);
  EXPECT_FALSE(frame->isEnabled());

  QGroupBox group(&form);
  group.setGeometry(8, 80, 537, 160);
  EXPECT_EQ(InsideGroup(&group), QRect(6, 16, 525, 138));
  EXPECT_EQ(InsideGroup(&group, 8, 20), QRect(8, 20, 521, 132));
}

}  // namespace
