// The generic bindings: each widget shows its model at once, follows its changes and hands the
// user's actions to the model; a binding outlives neither side.

#include <gtest/gtest.h>

#include <QApplication>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <QXYSeries>
#include <memory>

#include "platform/qt/Bindings.h"
#include "support/Shots.h"

namespace {

using namespace platform;
using namespace platform::qt;

TEST(Bindings, LabelAndButtonFollowTheModelAndClicksReachIt) {
  QWidget form;
  auto* label = new QLabel(&form);
  auto* button = new QPushButton(&form);
  Label lb("lbState");
  Button btn("btnGo");
  lb.SetCaption("СВЯЗЬ НЕ УСТАНОВЛЕНА");
  lb.SetFontColor(colors::Lime);
  lb.SetBackgroundColor(colors::Black);
  BindLabel(label, lb);
  int clicks = 0;
  btn.OnClick = [&] { ++clicks; };
  btn.SetCaption("Включить питание");
  BindButton(button, btn);
  EXPECT_EQ(label->text(), QString("СВЯЗЬ НЕ УСТАНОВЛЕНА"));
  EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(0, 255, 0));
  EXPECT_EQ(label->palette().color(QPalette::Window), QColor(0, 0, 0));
  lb.SetCaption("ПОДНАКАЛ ВКЛЮЧЕН");
  EXPECT_EQ(label->text(), QString("ПОДНАКАЛ ВКЛЮЧЕН"));

  EXPECT_EQ(button->text(), QString("Включить питание"));
  button->click();
  EXPECT_EQ(clicks, 1);
  btn.SetEnabled(false);
  EXPECT_FALSE(button->isEnabled());
  button->click();  // a disabled button is not pressed
  EXPECT_EQ(clicks, 1);
  btn.SetVisible(false);
  EXPECT_FALSE(button->isVisibleTo(&form));
}

TEST(Bindings, EditsCheckBoxesCombosAndSpinnersGoBothWays) {
  QWidget form;
  auto* line = new QLineEdit(&form);
  auto* check = new QCheckBox(&form);
  auto* combo = new QComboBox(&form);
  auto* spin = new QSpinBox(&form);
  Edit ed("edValue");
  CheckBox cb("cbAuto");
  ComboBox cmb("cbPort");
  Edit udEdit("edUd");  // outlives the up-down bound to it
  UpDown ud("udValue");
  ud.SetRange(0, 50);
  ud.SetIncrement(5);
  ud.SetAssociate(&udEdit);
  int edChanges = 0, cbClicks = 0, comboChanges = 0, udClicks = 0;
  ed.OnChange = [&] { ++edChanges; };
  cb.OnClick = [&] { ++cbClicks; };
  cmb.OnChange = [&] { ++comboChanges; };
  ud.OnClick = [&](bool) { ++udClicks; };
  cmb.SetItems({"COM1", "COM2"});
  cmb.SetDropDownList(true);
  BindEdit(line, ed);
  BindCheckBox(check, cb);
  BindComboBox(combo, cmb);
  BindUpDown(spin, ud);

  ed.SetText("12");
  EXPECT_EQ(line->text(), QString("12"));
  line->setText("");   // programmatic: not the user
  line->insert("34");  // the user's typing
  EXPECT_EQ(ed.Text(), "34");
  EXPECT_EQ(edChanges, 2);  // the program's "12", then the user's "34"

  check->click();
  EXPECT_TRUE(cb.Checked());
  EXPECT_EQ(cbClicks, 1);
  cb.SetChecked(false);
  EXPECT_FALSE(check->isChecked());

  EXPECT_EQ(combo->count(), 2);
  emit combo->activated(1);
  EXPECT_EQ(cmb.ItemIndex(), 1);
  EXPECT_EQ(cmb.Text(), "COM2");
  EXPECT_EQ(comboChanges, 1);

  spin->stepUp();
  EXPECT_EQ(ud.Position(), 5);
  EXPECT_EQ(udClicks, 1);
  EXPECT_EQ(udEdit.Text(), "5");
  ud.SetPosition(40);
  EXPECT_EQ(spin->value(), 40);
}

TEST(Bindings, GridShowsCellsWidthsAndFixedRowsAndTakesEdits) {
  QTableWidget table;
  StringGrid grid("ShotsTable", 3, 3);
  grid.SetColWidth(1, 120);
  grid.SetCell(0, 0, "  Стр.");
  grid.SetCell(2, 1, "10");
  grid.SetEditable(true);
  int edits = 0;
  grid.OnEditCell = [&](int c, int r) {
    ++edits;
    EXPECT_EQ(c, 1);
    EXPECT_EQ(r, 2);
  };
  BindStringGrid(&table, grid);
  EXPECT_EQ(table.rowCount(), 3);
  EXPECT_EQ(table.columnWidth(1), 120);
  EXPECT_EQ(table.item(0, 0)->text(), QString("  Стр."));
  EXPECT_FALSE(table.item(0, 1)->flags() & Qt::ItemIsEditable);
  EXPECT_TRUE(table.item(1, 1)->flags() & Qt::ItemIsEditable);
  grid.SetRowCount(5);
  grid.SetCell(1, 4, "x");
  EXPECT_EQ(table.rowCount(), 5);
  EXPECT_EQ(table.item(4, 1)->text(), QString("x"));
  table.item(2, 1)->setText("7");  // as the user's editor commits it
  EXPECT_EQ(grid.Cell(1, 2), "7");
  EXPECT_EQ(edits, 1);
}

// A log that follows its new rows: each new row is selected and scrolled into view, until the
// user scrolls the newest row away with the wheel; scrolled back down, it follows again.
TEST(Bindings, GridFollowsNewRowsUnlessScrolledAway) {
  QTableWidget table;
  table.resize(300, 120);
  StringGrid grid("ShotsTable", 3, 2);
  grid.SetCell(0, 0, "N");
  grid.SetFollowNewRows(true);
  BindStringGrid(&table, grid);
  table.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&table));
  auto visible = [&](int row) {
    const QRect r = table.visualItemRect(table.item(row, 0));
    return r.isValid() && table.viewport()->rect().contains(r.center());
  };
  auto log = [&](int n) {
    grid.BeginUpdate();
    grid.SetCell(0, n, std::to_string(n));
    grid.SetRowCount(n + 2);  // the log keeps an empty row below its last
    grid.EndUpdate();
    QApplication::processEvents();
  };
  for (int n = 1; n <= 20; ++n) log(n);
  EXPECT_TRUE(visible(20));
  EXPECT_EQ(table.currentRow(), 20);
  EXPECT_FALSE(visible(1));

  // The user scrolls up to the first rows: a new row leaves them where they are.
  for (int k = 0; k < 20; ++k) {
    QWheelEvent up(QPointF(50, 50), table.viewport()->mapToGlobal(QPointF(50, 50)), {},
                   QPoint(0, 120), Qt::NoButton, {}, Qt::NoScrollPhase, false);
    QApplication::sendEvent(table.viewport(), &up);
  }
  ASSERT_TRUE(visible(1));
  log(21);
  EXPECT_TRUE(visible(1));
  EXPECT_FALSE(visible(21));

  // Back at the bottom, the log follows again.
  for (int k = 0; k < 20; ++k) {
    QWheelEvent down(QPointF(50, 50), table.viewport()->mapToGlobal(QPointF(50, 50)), {},
                     QPoint(0, -120), Qt::NoButton, {}, Qt::NoScrollPhase, false);
    QApplication::sendEvent(table.viewport(), &down);
  }
  ASSERT_TRUE(visible(21));
  log(22);
  EXPECT_TRUE(visible(22));
  EXPECT_EQ(table.currentRow(), 22);
}

TEST(Bindings, PagesGaugeMemoGroupAndPicture) {
  QWidget form;
  auto* tabs = new QTabWidget(&form);
  tabs->addTab(new QWidget, "a");
  tabs->addTab(new QWidget, "b");
  auto* bar = new QProgressBar(&form);
  auto* memo = new QPlainTextEdit(&form);
  auto* group = new QGroupBox(&form);
  auto* lamp = new QLabel(&form);
  lamp->resize(16, 16);
  PageControl pc("pgMain");
  pc.AddPage("tsConsole", "Консоль");
  pc.AddPage("tsImage", "Текущие настройки");
  pc.SetActivePage("tsImage");
  int pageChanges = 0;
  pc.OnChange = [&] { ++pageChanges; };
  Gauge g("ProgressBar");
  Memo m("mmImage");
  GroupBox gb("GroupBox2");
  Picture pic("imgLamp");
  gb.SetCaption(" Вывод ");
  pic.SetResource("GreenLamp");
  BindPageControl(tabs, pc);
  BindGauge(bar, g);
  BindMemo(memo, m);
  BindGroupBox(group, gb);
  BindPicture(lamp, pic);
  EXPECT_EQ(tabs->tabText(0), QString("Консоль"));
  EXPECT_EQ(tabs->currentIndex(), 1);
  tabs->setCurrentIndex(0);  // the user picks the first tab
  EXPECT_EQ(pc.ActivePageName(), "tsConsole");
  EXPECT_EQ(pageChanges, 1);
  g.SetProgress(64);
  EXPECT_EQ(bar->value(), 64);
  m.SetText("02 20 23\nE0");
  EXPECT_EQ(memo->toPlainText(), QString("02 20 23\nE0"));
  memo->appendPlainText("FC");
  EXPECT_EQ(m.Lines().back(), "FC");
  EXPECT_EQ(group->title(), QString(" Вывод "));
  EXPECT_FALSE(lamp->pixmap().isNull());
  gb.SetVisible(false);
  EXPECT_FALSE(group->isVisibleTo(&form));
}

TEST(Bindings, TimerRunsWhileEnabledAndNotDuringATransfer) {
  QObject owner;
  Timer t("RotationTimer1");
  t.SetInterval(10);
  int ticks = 0;
  t.OnTimer = [&] { ++ticks; };
  QTimer* qt = BindTimer(&owner, t);
  EXPECT_TRUE(qt->isActive());
  QElapsedTimer clock;
  clock.start();
  while (ticks < 3 && clock.elapsed() < 5000)
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_GE(ticks, 3);
  {
    TimerSuspension transfer;
    const int before = ticks;
    clock.restart();
    while (clock.elapsed() < 100) QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(ticks, before);
  }
  t.SetEnabled(false);
  EXPECT_FALSE(qt->isActive());
}

TEST(Bindings, ChartShowsSeriesAndLimitsAndReportsClickedPoints) {
  QChartView view;
  view.resize(400, 300);
  Chart chart("chartVoltage");
  auto& s = chart.AddSeries("Series1", SeriesKind::Point, colors::Red);
  s.AddXY(1, 10);
  s.AddXY(2, 20, colors::Blue);
  chart.SetLeftLimits(0, 50, 10);
  std::size_t clickedSeries = 99, clickedPoint = 99;
  chart.OnClickSeries = [&](std::size_t si, std::size_t pi) {
    clickedSeries = si;
    clickedPoint = pi;
  };
  BindChart(&view, chart);
  QApplication::processEvents();
  ASSERT_EQ(view.chart()->series().size(), 1);
  auto* xy = qobject_cast<QXYSeries*>(view.chart()->series()[0]);
  ASSERT_NE(xy, nullptr);
  EXPECT_EQ(xy->count(), 2);
  s.AddXY(3, 30);
  QApplication::processEvents();
  xy = qobject_cast<QXYSeries*>(view.chart()->series()[0]);
  EXPECT_EQ(xy->count(), 3);
  emit xy->clicked(QPointF(2.1, 19));
  EXPECT_EQ(clickedSeries, 0u);
  EXPECT_EQ(clickedPoint, 1u);
  EXPECT_TRUE(guitest::SaveShot(&view, "binding-chart"));
}

TEST(Bindings, WidgetOutlivingItsModelAndModelOutlivingItsWidget) {
  auto label = std::make_unique<QLabel>();
  {
    Label lb("lb");
    lb.SetCaption("a");
    BindLabel(label.get(), lb);
  }
  label->setText("still here");  // the model is gone; nothing may touch it
  Label lb2("lb2");
  {
    QLabel shortLived;
    BindLabel(&shortLived, lb2);
  }
  lb2.SetCaption("after the widget");  // must not reach the destroyed widget
  EXPECT_EQ(lb2.Caption(), "after the widget");
}

}  // namespace
