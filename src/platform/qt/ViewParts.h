#pragma once
// The parts every view is built of, so that a view file reads as its window's layout: widgets made
// from their control models (named after the model, placed, bound), the captioned field, the
// black message panel, lamps, rows of buttons, the chart looks, and the tool window base that
// keeps the open windows, places them, routes Enter to the model and frees the widgets before
// the model.

#include <QFrame>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QWidget>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/Controls.h"
#include "platform/qt/Bindings.h"

class QChartView;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QSpinBox;
class QTabWidget;
class QTableWidget;

namespace platform::qt {

// Names the widget after its model and places it (an empty rect leaves the place to the caller).
template <class W, class M>
W* Named(W* widget, const M& model, const QRect& where) {
  widget->setObjectName(QString::fromStdString(model.Name()));
  if (!where.isNull()) widget->setGeometry(where);
  return widget;
}

QGroupBox* MakeGroup(QWidget* parent, GroupBox& model, const QRect& where);
QLabel* MakeLabel(QWidget* parent, Label& model, const QRect& where);
// The spin box stands for the up-down and its edit together.
QSpinBox* MakeSpin(QWidget* parent, UpDown& model, const QRect& where);
QSpinBox* MakeSpin(QWidget* parent, UpDown& model, const QRect& where, Qt::Alignment alignment);
QLineEdit* MakeEdit(QWidget* parent, Edit& model, const QRect& where);
QLineEdit* MakeEdit(QWidget* parent, Edit& model, const QRect& where, Qt::Alignment alignment);
QCheckBox* MakeCheck(QWidget* parent, CheckBox& model, const QRect& where);
QRadioButton* MakeRadio(QWidget* parent, RadioButton& model, const QRect& where);
QComboBox* MakeCombo(QWidget* parent, ComboBox& model, const QRect& where);
QPlainTextEdit* MakeMemo(QWidget* parent, Memo& model, const QRect& where);
QTableWidget* MakeGrid(QWidget* parent, StringGrid& model, const QRect& where);
QProgressBar* MakeGauge(QWidget* parent, Gauge& model, const QRect& where,
                        Qt::Orientation orientation = Qt::Horizontal);
QScrollBar* MakeScrollBar(QWidget* parent, ScrollBar& model, const QRect& where,
                          Qt::Orientation orientation = Qt::Vertical);
// A push button that Enter presses only when `autoDefault` (tool windows keep Enter for their
// fields unless the engineer times something with it).
QPushButton* MakePushButton(QWidget* parent, Button& model, const QRect& where,
                            bool autoDefault = false);
// Buttons of one size, the first at `first`, each next one `step` further (a row or a column).
std::vector<QPushButton*> MakeButtonRow(QWidget* parent, std::initializer_list<Button*> buttons,
                                        const QRect& first, QPoint step, bool autoDefault = false);
// Widgets of one size that `make` makes (MakeLabel, ...), the first at `first`, each next one
// `step` further.
template <class M, class Make>
auto MakeRow(QWidget* parent, std::initializer_list<M*> models, const QRect& first, QPoint step,
             Make make) {
  std::vector<decltype(make(parent, **models.begin(), first))> made;
  QRect at = first;
  for (M* model : models) {
    made.push_back(make(parent, *model, at));
    at.translate(step);
  }
  return made;
}
// The tab widget's pages, one named after each page of the model and captioned as it is, in the
// model's order; the view fills them and then binds the tabs (BindPageControl).
std::vector<QWidget*> AddPages(QTabWidget* tabs, const PageControl& pages);
// A panel drawn as a raised or sunken frame (its model gives the common properties only).
QFrame* MakePanel(QWidget* parent, Panel& model, const QRect& where,
                  QFrame::Shadow shadow = QFrame::Raised, int lineWidth = 1);
// The room inside a group box below its title: `top` from its top edge, `margin` from the others.
QRect InsideGroup(const QWidget* group, int margin = 6, int top = 16);
// A window (not a tool window) named after its form, of fixed size, its title and looks bound to
// the form.
void FrameWindow(QWidget* window, Form& form, QSize size);
// A lamp (or any picture by resource name), centred in its place.
QLabel* MakeLamp(QWidget* parent, Picture& model, const QRect& where);

// A caption above its field: the caption centred on the first 16 pixels of `where`, the field of
// `fieldWidth` centred below it, two pixels down, in the rest of the height.
QLabel* MakeCaptioned(QWidget* parent, Label& caption, QWidget* field, const QRect& where,
                      int fieldWidth);

// The message panel: the model's black background filled, the text from the top left `margin`
// pixels inside (or as `alignment` says; no alignment leaves it to the model). A frame the view
// gives it stays at the panel's edge.
QLabel* MakeMessagePanel(QWidget* parent, Label& model, const QRect& where, int margin = 6,
                         Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignTop);

// Plain: antialiased only. Compact: the plot fills the view (small margins, square corners).
// Scope: compact on an oscilloscope's dark plot area, where bright curves read best.
enum class ChartLook { Plain, Compact, Scope };
QChartView* MakeChart(QWidget* parent, Chart& model, const QRect& where,
                      ChartLook look = ChartLook::Compact);

// The flags of a modeless tool window of fixed size.
inline constexpr Qt::WindowFlags kToolWindowFlags =
    Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
    Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint;

// What every tool window does the same way, whatever its model.
class ViewWindow : public QWidget {
 public:
  // Moves the window to its screen's top left corner.
  void PlaceAtTopLeft();

 protected:
  ViewWindow(QWidget* parent, Qt::WindowFlags flags);

  // Names the window, fixes its size and, for a window that frees itself, deletes it on close.
  void Frame(const char* objectName, QSize size, bool deleteOnClose = true);
  // Enter (either key) in `field` calls `handler`; the key goes no further when it returns true.
  void OnEnter(QWidget* field, std::function<bool()> handler);
  // Gives the focus to the widget of that name (a model's OnFocus).
  void FocusNamed(const std::string& name);
  // Sets a callback of the model that reaches this window; DeleteChildren drops it again.
  template <class Slot, class F>
  void Hook(Slot& slot, F&& callback) {
    slot = std::forward<F>(callback);
    unhooks_.push_back([&slot] { slot = nullptr; });
  }
  // The model's callbacks are dropped, then the widgets (and the timers) go, before the model
  // they are bound to.
  void DeleteChildren();

  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::map<QObject*, std::function<bool()>> enter_;
  std::vector<std::function<void()>> unhooks_;
};

// A tool window that owns its form model. It keeps the list of its kind's open windows; its
// destructor frees the widgets first, then the model (which may wait for its worker or switch
// the apparatus off); the callbacks the view hooked into the model are dropped before either.
template <class View, class FormModel>
class ToolWindow : public ViewWindow {
 public:
  FormModel& Model() { return *model_; }

  static QList<View*> OpenViews() {
    QList<View*> views;
    for (ToolWindow* w : Registry()) views.append(static_cast<View*>(w));
    return views;
  }
  // The window of this kind opened last (null when none).
  static View* Current() { return Registry().isEmpty() ? nullptr : OpenViews().last(); }
  // Destroys every window of this kind at once (the main window closing).
  static void CloseAll() { qDeleteAll(OpenViews()); }
  // Shows a new window at the top left, then runs its model's opening sequence.
  static View* ShowAtTopLeft(View* view) {
    view->show();
    view->PlaceAtTopLeft();
    view->Model().FormCreate();
    return view;
  }
  // A new window of this model, shown as ShowAtTopLeft shows it.
  static View* Launch(std::unique_ptr<FormModel> model) {
    return ShowAtTopLeft(new View(std::move(model)));
  }

 protected:
  explicit ToolWindow(std::unique_ptr<FormModel> model, QWidget* parent = nullptr,
                      Qt::WindowFlags flags = kToolWindowFlags)
      : ViewWindow(parent, flags), model_(std::move(model)) {
    Registry().append(this);
  }
  // A window that frees itself when closed, named, of fixed size, its title and looks bound to
  // the model's form.
  ToolWindow(std::unique_ptr<FormModel> model, const char* objectName, QSize size,
             QWidget* parent = nullptr)
      : ToolWindow(std::move(model), parent) {
    Frame(objectName, size);
    BindForm(this, model_->Form);
  }
  ~ToolWindow() override {
    Registry().removeAll(this);
    DeleteChildren();
    model_.reset();
  }

 private:
  static QList<ToolWindow*>& Registry() {
    static QList<ToolWindow*> open;
    return open;
  }

  std::unique_ptr<FormModel> model_;
};

}  // namespace platform::qt

namespace kvt::ui {
// The short name every view uses for its parts.
namespace pq = platform::qt;
}  // namespace kvt::ui
