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
#include <vector>

#include "platform/Controls.h"

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
QLineEdit* MakeEdit(QWidget* parent, Edit& model, const QRect& where);
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
// A panel drawn as a raised or sunken frame (its model gives the common properties only).
QFrame* MakePanel(QWidget* parent, Panel& model, const QRect& where,
                  QFrame::Shadow shadow = QFrame::Raised, int lineWidth = 1);
// A page control with a plain widget for each of the model's pages, named as the model names the
// page (widget(0) is the first), bound once the pages are there.
QTabWidget* MakePages(QWidget* parent, PageControl& model, const QRect& where);
// The room inside a group box below its title: `top` from its top edge, `margin` from the others.
QRect InsideGroup(const QWidget* group, int margin = 6, int top = 16);
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
  // The widgets (and the timers) go before the model they are bound to.
  void DeleteChildren();

  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::map<QObject*, std::function<bool()>> enter_;
};

// A tool window that owns its form model. It keeps the list of its kind's open windows; its
// destructor frees the widgets first, then the model (which may wait for its worker or switch
// the apparatus off). The view's own destructor only drops the model's callbacks.
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

 protected:
  explicit ToolWindow(std::unique_ptr<FormModel> model, QWidget* parent = nullptr,
                      Qt::WindowFlags flags = kToolWindowFlags)
      : ViewWindow(parent, flags), model_(std::move(model)) {
    Registry().append(this);
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
