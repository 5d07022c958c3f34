#pragma once
// The generic bindings between the toolkit-free control models (platform/Controls.h) and Qt
// widgets. Each Bind call shows the model's state in the widget at once, follows every change
// notice of the model, and forwards the user's actions to the model. A binding ends when either
// side is destroyed; nothing dangles.
//
// Common properties (Enabled, Visible, font, background colour) are applied to every bound widget;
// BindForm leaves visibility to the view (a form is shown when its window is).

#include <QPixmap>
#include <QSize>
#include <functional>
#include <string>

#include "platform/Controls.h"

class QAbstractButton;
class QChartView;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QObject;
class QPlainTextEdit;
class QProgressBar;
class QScrollBar;
class QSpinBox;
class QTableWidget;
class QTabWidget;
class QTimer;
class QWidget;
class QPushButton;
class QRect;

namespace platform::qt {

void BindForm(QWidget* window, Form& form);
void BindLabel(QLabel* widget, Label& label);
void BindEdit(QLineEdit* widget, Edit& edit);
// The spin box stands for the up-down and its associated edit together.
void BindUpDown(QSpinBox* widget, UpDown& upDown);
void BindButton(QAbstractButton* widget, Button& button);
// A push button named after its model, placed at `where` and bound.
QPushButton* MakeButton(QWidget* parent, Button& model, const QRect& where);
// A QCheckBox or a QRadioButton.
void BindCheckBox(QAbstractButton* widget, CheckBox& checkBox);
void BindComboBox(QComboBox* widget, ComboBox& comboBox);
void BindStringGrid(QTableWidget* widget, StringGrid& grid);
void BindGauge(QProgressBar* widget, Gauge& gauge);
void BindMemo(QPlainTextEdit* widget, Memo& memo);
// The view adds one tab per page of the model, in the model's order, before binding.
void BindPageControl(QTabWidget* widget, PageControl& pages);
// Group boxes and panels (a panel's caption is its title).
void BindGroupBox(QGroupBox* widget, GroupBox& group);
// A panel shown as a plain frame: common properties only.
void BindPanel(QWidget* widget, Panel& panel);
void BindPicture(QLabel* widget, Picture& picture);
void BindScrollBar(QScrollBar* widget, ScrollBar& scrollBar);
// Creates a QTimer owned by `owner` that runs while the model is enabled and calls Fire.
QTimer* BindTimer(QObject* owner, Timer& timer);
void BindChart(QChartView* widget, Chart& chart);

// Pictures by resource name: the lamps ("GrayLamp", "GreenLamp", "RedLamp", "YellowLamp") are
// built in; views register their own button glyphs. Unknown names give a null pixmap.
using PixmapFactory = std::function<QPixmap(QSize size)>;
void RegisterPicture(const std::string& name, PixmapFactory factory);
QPixmap PictureFor(const std::string& name, QSize size);

// While a transfer runs on the interface thread (a progress window is shown), window timers do
// not tick: their handlers must not talk to the apparatus in the middle of the transfer.
class TimerSuspension {
 public:
  TimerSuspension();
  ~TimerSuspension();
  TimerSuspension(const TimerSuspension&) = delete;
  TimerSuspension& operator=(const TimerSuspension&) = delete;
  static bool Active();
};

// Converts a model colour to Qt (invalid QColor for kDefaultColor).
QColor ToQColor(Color color);

}  // namespace platform::qt
