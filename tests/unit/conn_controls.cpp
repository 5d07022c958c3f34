#include <gtest/gtest.h>

#include "platform/Controls.h"

using namespace platform;

TEST(Controls, ListenersHearRealChangesOnlyAndCanLeaveDuringANotice) {
  Label label("lbState");
  int first = 0, second = 0;
  Control::ListenerToken t2 = 0;
  const auto t1 = label.AddListener([&] {
    ++first;
    label.RemoveListener(t2);  // a view closing another view while it is told
  });
  t2 = label.AddListener([&] { ++second; });
  label.SetCaption("ОШИБКА");
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 0);
  label.SetCaption("ОШИБКА");  // same value: nobody is told
  EXPECT_EQ(first, 1);
  label.SetFontColor(colors::Red);
  label.SetFontBold(true);
  EXPECT_EQ(first, 3);
  EXPECT_EQ(label.Font(), (Font{colors::Red, 0, true}));
  label.RemoveListener(t1);
  label.SetVisible(false);
  EXPECT_EQ(first, 3);
  EXPECT_EQ(label.Name(), "lbState");
}

TEST(Controls, UpdateBracketGivesOneNoticeAndNoneWithoutChange) {
  StringGrid grid("ModulesTable", 3, 2);
  int notices = 0;
  grid.AddListener([&] { ++notices; });
  grid.BeginUpdate();
  grid.SetCell(0, 1, "0");
  grid.SetCell(1, 1, "Модуль");
  grid.SetRowCount(3);
  grid.EndUpdate();
  EXPECT_EQ(notices, 1);
  grid.BeginUpdate();
  grid.SetCell(0, 1, "0");
  grid.EndUpdate();
  EXPECT_EQ(notices, 1);
}

TEST(Controls, GridKeepsCellsOnResizeAndIgnoresCellsOutside) {
  StringGrid grid("g", 3, 2);
  grid.SetCell(2, 1, "x");
  grid.SetRowCount(4);
  EXPECT_EQ(grid.Cell(2, 1), "x");
  EXPECT_EQ(grid.Cell(2, 3), "");
  grid.SetCell(3, 0, "outside");
  grid.SetCell(-1, 0, "outside");
  EXPECT_EQ(grid.Cell(3, 0), "");
  EXPECT_EQ(grid.Cell(0, 9), "");
  grid.SetColWidth(1, 376);
  EXPECT_EQ(grid.ColWidth(1), 376);
  EXPECT_EQ(grid.ColWidth(0), grid.DefaultColWidth());
  grid.SetRowCount(1);
  grid.SetRowCount(2);
  EXPECT_EQ(grid.Cell(2, 1), "");
  EXPECT_EQ(grid.RowCells(0).size(), 3u);
  // Only editable non-fixed cells take typing.
  int edits = 0;
  grid.OnEditCell = [&](int, int) { ++edits; };
  grid.EditCell(0, 1, "a");
  EXPECT_EQ(edits, 0);
  grid.SetEditable(true);
  grid.EditCell(0, 0, "header");
  grid.EditCell(0, 1, "a");
  EXPECT_EQ(edits, 1);
  EXPECT_EQ(grid.Cell(0, 0), "");
  EXPECT_EQ(grid.Cell(0, 1), "a");
}

TEST(Controls, UpDownAndItsEditFollowEachOther) {
  Edit ed("edTDmin");
  UpDown ud("udTDmin");
  int edChanges = 0, udChanges = 0;
  ed.OnChange = [&] { ++edChanges; };
  ud.OnChange = [&] { ++udChanges; };
  ud.SetRange(10, 50);
  ud.SetAssociate(&ed);
  EXPECT_EQ(ud.Position(), 10);  // clamped into the range
  EXPECT_EQ(ed.Text(), "10");
  ud.SetPosition(99);
  EXPECT_EQ(ud.Position(), 50);
  EXPECT_EQ(ed.Text(), "50");
  ed.SetText("25");  // typed
  EXPECT_EQ(ud.Position(), 25);
  ed.SetText("abc");  // not a number: the position stays
  EXPECT_EQ(ud.Position(), 25);
  ed.SetText("70");  // outside the range: the position stays
  EXPECT_EQ(ud.Position(), 25);
  bool upSeen = false;
  ud.OnClick = [&](bool up) { upSeen = up; };
  ud.SetIncrement(5);
  ud.Click(true);
  EXPECT_EQ(ud.Position(), 30);
  EXPECT_EQ(ed.Text(), "30");
  EXPECT_TRUE(upSeen);
  ud.SetMax(20);
  EXPECT_EQ(ud.Position(), 20);
  EXPECT_EQ(ed.Text(), "20");
  EXPECT_GT(edChanges, 0);
  EXPECT_GT(udChanges, 0);
}

TEST(Controls, HandlersFireForUserActionsOnly) {
  Button btn("btnPowerOn");
  int clicks = 0;
  btn.OnClick = [&] { ++clicks; };
  btn.Click();
  btn.SetEnabled(false);
  btn.Click();
  EXPECT_EQ(clicks, 1);

  ComboBox cb("cbHistory");
  int changes = 0;
  cb.OnChange = [&] { ++changes; };
  cb.SetItems({"a", "b"});
  cb.SetItemIndex(1);
  EXPECT_EQ(cb.Text(), "b");
  EXPECT_EQ(changes, 0);
  cb.Select(0);
  EXPECT_EQ(cb.Text(), "a");
  EXPECT_EQ(changes, 1);
  cb.AddToHistory("b");
  EXPECT_EQ(cb.Items(), (std::vector<std::string>{"b", "a"}));
  cb.AddToHistory("c", 2);
  EXPECT_EQ(cb.Items(), (std::vector<std::string>{"c", "b"}));

  Timer timer("RotationTimer1");
  int ticks = 0;
  timer.OnTimer = [&] { ++ticks; };
  timer.Fire();
  timer.SetEnabled(false);
  timer.Fire();
  EXPECT_EQ(ticks, 1);

  PageControl pages("PageControl1");
  pages.AddPage("tsSettings", "Текущие настройки");
  pages.AddPage("tsConsole", "Консоль");
  int pageChanges = 0;
  pages.OnChange = [&] { ++pageChanges; };
  EXPECT_TRUE(pages.SetActivePage("tsConsole"));
  EXPECT_FALSE(pages.SetActivePage("nothing"));
  EXPECT_EQ(pages.ActivePageIndex(), 1);
  EXPECT_EQ(pageChanges, 0);
  pages.SelectPage(0);
  EXPECT_EQ(pageChanges, 1);
  EXPECT_EQ(pages.ActivePageName(), "tsSettings");
}

TEST(Controls, ChartSeriesChangesReachTheChartsListeners) {
  Chart chart("chartVoltage");
  ChartSeries& s = chart.AddSeries("Series1", SeriesKind::Line, colors::Red);
  int notices = 0;
  chart.AddListener([&] { ++notices; });
  s.AddXY(1, 2);
  s.AddXY(2, 3, colors::Blue);
  EXPECT_EQ(notices, 2);
  chart.BeginUpdate();
  for (int i = 0; i < 100; ++i) s.AddXY(i, i);
  chart.EndUpdate();
  EXPECT_EQ(notices, 3);
  EXPECT_EQ(s.Count(), 102u);
  EXPECT_EQ(s.Points()[1].color, colors::Blue);
  chart.SetLeftLimits(0, 150, 10);
  EXPECT_FALSE(chart.LeftAxis().automatic);
  EXPECT_EQ(chart.LeftAxis().maximum, 150);
  std::size_t clicked = 99;
  chart.OnClickSeries = [&](std::size_t, std::size_t p) { clicked = p; };
  chart.ClickPoint(0, 500);  // no such point
  EXPECT_EQ(clicked, 99u);
  chart.ClickPoint(0, 4);
  EXPECT_EQ(clicked, 4u);
  chart.ClearAll();
  EXPECT_EQ(s.Count(), 0u);
}

TEST(Controls, MemoSplitsAndJoinsLines) {
  Memo memo("Memo1");
  memo.SetText("one\r\ntwo\n\nfour");
  EXPECT_EQ(memo.Lines(), (std::vector<std::string>{"one", "two", "", "four"}));
  EXPECT_EQ(memo.Text(), "one\ntwo\n\nfour");
  memo.SetText("");
  EXPECT_TRUE(memo.Lines().empty());
  Gauge gauge("ProgressBar");
  gauge.SetProgress(140);
  EXPECT_EQ(gauge.Progress(), 100);
}

TEST(Controls, LifetimeExpiresWithTheControl) {
  std::weak_ptr<void> life;
  {
    Picture lamp("imgLamp");
    lamp.SetResource("GreenLamp");
    life = lamp.Lifetime();
    EXPECT_FALSE(life.expired());
  }
  EXPECT_TRUE(life.expired());
}
