// The view parts: widgets made from their models at their places, and the tool window base that
// keeps the open windows, hands Enter in a field to the model and frees the widgets before the
// model.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <functional>
#include <memory>

#include "platform/qt/ViewParts.h"

namespace {

using namespace platform;
using namespace platform::qt;

bool g_fieldGone = false;
bool g_fieldGoneBeforeModel = false;
bool g_hookDroppedBeforeModel = false;

struct ProbeForm {
  platform::Form Form{"frmProbe"};
  Edit edValue{"edValue"};
  Button btnOne{"btnOne"};
  Button btnTwo{"btnTwo"};
  std::function<void()> OnClose;
  int enters = 0;
  int created = 0;
  void FormCreate() { ++created; }
  ~ProbeForm() {
    g_fieldGoneBeforeModel = g_fieldGone;
    g_hookDroppedBeforeModel = !OnClose;
  }
};

class ProbeView : public ToolWindow<ProbeView, ProbeForm> {
 public:
  explicit ProbeView(std::unique_ptr<ProbeForm> model)
      : ToolWindow(std::move(model), "frmProbe", QSize(240, 120)) {
    Hook(Model().OnClose, [this] { close(); });
    QLineEdit* field = MakeEdit(this, Model().edValue, QRect(4, 4, 100, 24));
    QObject::connect(field, &QObject::destroyed, [] { g_fieldGone = true; });
    OnEnter(field, [this] { return ++Model().enters > 0; });
    MakeButtonRow(this, {&Model().btnOne, &Model().btnTwo}, QRect(4, 40, 60, 24), QPoint(70, 0));
  }
};

TEST(ViewParts, ToolWindowRoutesEnterKeepsItsListAndFreesWidgetsBeforeModel) {
  g_fieldGone = g_fieldGoneBeforeModel = g_hookDroppedBeforeModel = false;
  ProbeForm* model = new ProbeForm;
  model->Form.SetCaption("Проба");
  ProbeView* first = ProbeView::Launch(std::unique_ptr<ProbeForm>(model));
  QPointer<ProbeView> second = new ProbeView(std::make_unique<ProbeForm>());
  ASSERT_EQ(ProbeView::OpenViews().size(), 2);
  EXPECT_EQ(ProbeView::Current(), second.data());
  EXPECT_TRUE(first->isVisible());
  EXPECT_EQ(first->Model().created, 1);
  EXPECT_EQ(first->objectName(), QString("frmProbe"));
  EXPECT_EQ(first->windowTitle(), QString("Проба"));
  EXPECT_EQ(first->size(), QSize(240, 120));

  first->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(first));
  first->findChild<QLineEdit*>("edValue")->setFocus();
  QTest::keyClicks(QApplication::focusWidget(), "12");
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter);
  EXPECT_EQ(first->Model().enters, 2);
  EXPECT_EQ(first->Model().edValue.Text(), "12");

  auto* two = first->findChild<QPushButton*>("btnTwo");
  ASSERT_NE(two, nullptr);
  EXPECT_EQ(two->geometry(), QRect(74, 40, 60, 24));
  EXPECT_FALSE(two->autoDefault());

  first->Model().OnClose();  // the model closes its window, which frees itself
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(g_fieldGoneBeforeModel);
  EXPECT_TRUE(g_hookDroppedBeforeModel);
  ASSERT_EQ(ProbeView::OpenViews().size(), 1);
  ProbeView::CloseAll();
  EXPECT_TRUE(second.isNull());
  EXPECT_TRUE(ProbeView::OpenViews().isEmpty());
  EXPECT_EQ(ProbeView::Current(), nullptr);
}

TEST(ViewParts, CaptionedFieldAndMessagePanelTakeTheirPlaces) {
  QWidget form;
  Label caption("lbValue");
  Label message("lbMessage");
  UpDown updown("udValue");
  message.SetBackgroundColor(colors::Black);
  QSpinBox* spin = MakeSpin(&form, updown, {});
  QLabel* label = MakeCaptioned(&form, caption, spin, QRect(128, 22, 112, 42), 100);
  EXPECT_EQ(label->geometry(), QRect(128, 22, 112, 16));
  EXPECT_EQ(spin->geometry(), QRect(134, 40, 100, 24));
  EXPECT_EQ(spin->objectName(), QString("udValue"));

  QLabel* panel = MakeMessagePanel(&form, message, QRect(8, 504, 584, 100));
  EXPECT_EQ(panel->objectName(), QString("lbMessage"));
  EXPECT_TRUE(panel->autoFillBackground());
  EXPECT_EQ(panel->palette().color(QPalette::Window), QColor(0, 0, 0));
  EXPECT_EQ(panel->alignment(), Qt::AlignLeft | Qt::AlignTop);
  EXPECT_EQ(panel->margin(), 6);
}

}  // namespace
