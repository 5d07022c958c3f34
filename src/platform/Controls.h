#pragma once
// Toolkit-free models of the controls a window is made of. A form model owns them under the names
// the window gives them (lbConclusion, ModulesTable, udTDmin, RotationTimer1) and keeps all its
// logic and texts in them; a thin view binds each model to a widget, listens for changes and
// forwards the user's actions.
//
// Rules that hold for every control:
// - Properties are changed on the interface thread only. Workers go through
//   platform::CurrentUi().Post / Synchronize.
// - Every property change tells the listeners (std::function<void()>); setting a property to the
//   value it already has tells nobody. Between BeginUpdate and EndUpdate the notices are held back
//   and one notice follows EndUpdate if anything changed.
// - Event handlers (OnClick, OnChange, OnTimer, ...) follow the toolkit this program was written
//   for: setting an edit's text fires its OnChange and setting a check box fires its OnClick;
//   every other handler fires only through the methods the view calls for the user's actions
//   (Click, Select, SelectPage, SelectCell, EditCell, ClickPoint, Fire).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// 0xRRGGBB; kDefaultColor leaves the toolkit's own colour.
using Color = std::uint32_t;
inline constexpr Color kDefaultColor = 0xFF000000u;

namespace colors {
inline constexpr Color Black = 0x000000;
inline constexpr Color Maroon = 0x800000;
inline constexpr Color Green = 0x008000;
inline constexpr Color Olive = 0x808000;
inline constexpr Color Navy = 0x000080;
inline constexpr Color Purple = 0x800080;
inline constexpr Color Teal = 0x008080;
inline constexpr Color Gray = 0x808080;
inline constexpr Color Silver = 0xC0C0C0;
inline constexpr Color Red = 0xFF0000;
inline constexpr Color Lime = 0x00FF00;
inline constexpr Color Yellow = 0xFFFF00;
inline constexpr Color Blue = 0x0000FF;
inline constexpr Color Fuchsia = 0xFF00FF;
inline constexpr Color Aqua = 0x00FFFF;
inline constexpr Color White = 0xFFFFFF;
}  // namespace colors

struct Font {
  Color color = kDefaultColor;
  int size = 0;  // points; 0 = the toolkit's default size
  bool bold = false;
  bool operator==(const Font&) const = default;
};

enum class Alignment { Left, Center, Right };

class Control {
 public:
  using Listener = std::function<void()>;
  using ListenerToken = std::uint64_t;

  explicit Control(std::string name);
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  const std::string& Name() const { return name_; }

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled) { Assign(enabled_, enabled); }
  bool Visible() const { return visible_; }
  void SetVisible(bool visible) { Assign(visible_, visible); }

  const platform::Font& Font() const { return font_; }
  void SetFont(const platform::Font& font) { Assign(font_, font); }
  void SetFontColor(Color color);
  void SetFontSize(int size);
  void SetFontBold(bool bold);
  Color BackgroundColor() const { return background_; }
  void SetBackgroundColor(Color color) { Assign(background_, color); }

  // The view's subscription: called after every change. The token removes it again.
  ListenerToken AddListener(Listener listener);
  void RemoveListener(ListenerToken token);
  // Expires when the control is destroyed, so a binding that may outlive its model can tell.
  std::weak_ptr<void> Lifetime() const { return alive_; }

  void BeginUpdate();
  void EndUpdate();

 protected:
  // Tells the listeners (or marks the change while an update is open).
  void Changed();
  template <class T, class U>
  void Assign(T& field, U&& value) {
    if (field == value) return;
    field = std::forward<U>(value);
    Changed();
  }

 private:
  std::string name_;
  bool enabled_ = true;
  bool visible_ = true;
  platform::Font font_;
  Color background_ = kDefaultColor;
  std::vector<std::pair<ListenerToken, Listener>> listeners_;
  ListenerToken nextToken_ = 1;
  int updateDepth_ = 0;
  bool pending_ = false;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

// A control that shows a caption: a window's title, a label's or a frame's text, a button's.
class CaptionedControl : public Control {
 public:
  using Control::Control;
  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string caption) { Assign(caption_, std::move(caption)); }

 private:
  std::string caption_;
};

// The control a window's model puts the keyboard focus on, and the view's hook that follows it.
class FormFocus {
 public:
  const std::string& FocusedControl() const { return focused_; }
  std::function<void(const std::string& control)> OnFocus;

 protected:
  void Focus(const std::string& control) {
    focused_ = control;
    if (OnFocus) OnFocus(control);
  }

 private:
  std::string focused_;
};

// A window's own properties.
class Form : public CaptionedControl {
 public:
  using CaptionedControl::CaptionedControl;
};

// What every window's model has: its form (the window's own properties, named after the
// window), and no copies, as its controls are bound to one view.
class FormModel {
 public:
  explicit FormModel(const char* formName) : Form{formName} {}
  FormModel(const FormModel&) = delete;
  FormModel& operator=(const FormModel&) = delete;

  platform::Form Form;
};

class Label : public CaptionedControl {
 public:
  using CaptionedControl::CaptionedControl;
  platform::Alignment Alignment() const { return alignment_; }
  void SetAlignment(platform::Alignment alignment) { Assign(alignment_, alignment); }
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool wrap) { Assign(wordWrap_, wrap); }

 private:
  platform::Alignment alignment_ = platform::Alignment::Left;
  bool wordWrap_ = false;
};

class Edit : public Control {
 public:
  using Control::Control;
  const std::string& Text() const { return text_; }
  // Fires OnChange when the text differs (the view calls it for the user's typing, too).
  void SetText(std::string text);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly) { Assign(readOnly_, readOnly); }

  std::function<void()> OnChange;

 private:
  std::string text_;
  bool readOnly_ = false;
};

// A spinner bound to an edit: its position is shown as the edit's text, and a number typed into
// the edit (within the range) becomes the position.
class UpDown : public Control {
 public:
  using Control::Control;
  ~UpDown() override;

  int Min() const { return min_; }
  int Max() const { return max_; }
  // Keeps the position inside the new range.
  void SetRange(int min, int max);
  void SetMin(int min) { SetRange(min, max_); }
  void SetMax(int max) { SetRange(min_, max); }
  int Position() const { return position_; }
  // Clamped to the range; the associated edit shows it.
  void SetPosition(int position);
  int Increment() const { return increment_; }
  void SetIncrement(int increment) { Assign(increment_, increment); }

  Edit* Associate() const { return associate_; }
  // Binds the edit (or unbinds with nullptr); the edit must outlive the binding.
  void SetAssociate(Edit* edit);

  // The user pressed an arrow: steps by Increment within the range, then OnClick(up).
  void Click(bool up);

  std::function<void(bool up)> OnClick;
  // Fired whenever the position changes.
  std::function<void()> OnChange;

 private:
  void ShowInAssociate();
  void TakeFromAssociate();

  int min_ = 0;
  int max_ = 100;
  int position_ = 0;
  int increment_ = 1;
  Edit* associate_ = nullptr;
  ListenerToken associateToken_ = 0;
};

class Button : public CaptionedControl {
 public:
  using CaptionedControl::CaptionedControl;
  // Picture resource name shown on the button ("" = none).
  const std::string& Glyph() const { return glyph_; }
  void SetGlyph(std::string glyph) { Assign(glyph_, std::move(glyph)); }
  // The user pressed it (ignored while disabled or hidden).
  void Click();

  std::function<void()> OnClick;

 private:
  std::string glyph_;
};

class CheckBox : public CaptionedControl {
 public:
  using CaptionedControl::CaptionedControl;
  bool Checked() const { return checked_; }
  // Fires OnClick when the state differs (the view calls it for the user's click, too).
  void SetChecked(bool checked);

  std::function<void()> OnClick;

 private:
  bool checked_ = false;
};

// Same model as a check box; the form keeps its group exclusive.
class RadioButton : public CheckBox {
 public:
  using CheckBox::CheckBox;
};

class ComboBox : public Control {
 public:
  using Control::Control;
  const std::string& Text() const { return text_; }
  void SetText(std::string text);
  const std::vector<std::string>& Items() const { return items_; }
  void SetItems(std::vector<std::string> items);
  void AddItem(std::string item);
  // Puts the text in front of the items unless it is already first (a history list).
  void AddToHistory(const std::string& text, std::size_t maxItems = 0);
  void ClearItems();
  // -1 = no item selected.
  int ItemIndex() const { return itemIndex_; }
  // Selecting an item also sets the text.
  void SetItemIndex(int index);
  // False: the text may be typed; true: only the items can be chosen.
  bool DropDownList() const { return dropDownList_; }
  void SetDropDownList(bool list) { Assign(dropDownList_, list); }

  // The user chose an item or typed a text: set it, then OnChange.
  void Select(int index);
  void EditText(std::string text);

  std::function<void()> OnChange;

 private:
  std::string text_;
  std::vector<std::string> items_;
  int itemIndex_ = -1;
  bool dropDownList_ = false;
};

class StringGrid : public Control {
 public:
  explicit StringGrid(std::string name, int colCount = 5, int rowCount = 5);

  int ColCount() const { return colCount_; }
  void SetColCount(int count);
  int RowCount() const { return rowCount_; }
  // Keeps the cells of the rows that remain; new rows are empty.
  void SetRowCount(int count);
  int FixedRows() const { return fixedRows_; }
  void SetFixedRows(int rows) { Assign(fixedRows_, rows); }
  int FixedCols() const { return fixedCols_; }
  void SetFixedCols(int cols) { Assign(fixedCols_, cols); }
  // Pixels; columns without a width given use DefaultColWidth.
  int ColWidth(int col) const;
  void SetColWidth(int col, int width);
  int DefaultColWidth() const { return defaultColWidth_; }
  void SetDefaultColWidth(int width) { Assign(defaultColWidth_, width); }

  // Outside the grid: "" to read, ignored to write.
  const std::string& Cell(int col, int row) const;
  void SetCell(int col, int row, std::string text);
  // The row's cells (ColCount of them).
  std::vector<std::string> RowCells(int row) const;
  void ClearCells();

  // The user may type into the non-fixed cells.
  bool Editable() const { return editable_; }
  void SetEditable(bool editable) { Assign(editable_, editable); }
  int Col() const { return col_; }
  int Row() const { return row_; }

  // The user selected a cell: becomes Col/Row, then OnSelectCell.
  void SelectCell(int col, int row);
  // The user typed into a cell: stored, then OnEditCell.
  void EditCell(int col, int row, std::string text);

  std::function<void(int col, int row)> OnSelectCell;
  std::function<void(int col, int row)> OnEditCell;

  // A log that grows at its end (shots of a series): each row that gets text below the last one
  // with text becomes the view's selected row and is scrolled into view, unless the user has
  // scrolled away from the newest row on purpose (it was out of view when the next one came).
  bool FollowsNewRows() const { return followNewRows_; }
  void SetFollowNewRows(bool follow) { Assign(followNewRows_, follow); }
  // The last row below the fixed ones with any text; -1 when there is none.
  int NewestRow() const;

 private:
  bool Inside(int col, int row) const {
    return col >= 0 && row >= 0 && col < colCount_ && row < rowCount_;
  }

  int colCount_;
  int rowCount_;
  int fixedRows_ = 1;
  int fixedCols_ = 0;
  int defaultColWidth_ = 64;
  std::vector<int> colWidths_;
  std::vector<std::vector<std::string>> cells_;  // [row][col]
  bool editable_ = false;
  bool followNewRows_ = false;
  int col_ = 0;
  int row_ = 0;
};

class Chart;

struct ChartPoint {
  double x = 0;
  double y = 0;
  Color color = kDefaultColor;  // kDefaultColor = the series colour
  bool operator==(const ChartPoint&) const = default;
};

enum class SeriesKind { Line, Point };

// A series belongs to its chart; its changes are the chart's changes.
class ChartSeries {
 public:
  ChartSeries(Chart& chart, std::string name, SeriesKind kind, Color color);
  ChartSeries(const ChartSeries&) = delete;
  ChartSeries& operator=(const ChartSeries&) = delete;

  const std::string& Name() const { return name_; }
  SeriesKind Kind() const { return kind_; }
  Color SeriesColor() const { return color_; }
  void SetSeriesColor(Color color);
  const std::string& Title() const { return title_; }
  void SetTitle(std::string title);
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);

  const std::vector<ChartPoint>& Points() const { return points_; }
  std::size_t Count() const { return points_.size(); }
  void Clear();
  void AddXY(double x, double y, Color color = kDefaultColor);

 private:
  Chart& chart_;
  std::string name_;
  SeriesKind kind_;
  Color color_;
  std::string title_;
  bool visible_ = true;
  std::vector<ChartPoint> points_;
};

struct ChartAxis {
  bool automatic = true;
  double minimum = 0;
  double maximum = 0;
  double increment = 0;  // 0 = chosen by the toolkit
  std::string title;
  std::string labelFormat;  // printf-style, e.g. "%g%%"; "" = the toolkit's own
  bool operator==(const ChartAxis&) const = default;
};

class Chart : public Control {
 public:
  using Control::Control;

  const std::string& Title() const { return title_; }
  void SetTitle(std::string title) { Assign(title_, std::move(title)); }

  ChartSeries& AddSeries(std::string name, SeriesKind kind, Color color = kDefaultColor);
  std::size_t SeriesCount() const { return series_.size(); }
  ChartSeries& Series(std::size_t index) { return *series_.at(index); }
  const ChartSeries& Series(std::size_t index) const { return *series_.at(index); }
  // Empties every series.
  void ClearAll();
  // Removes every series (references to them become invalid).
  void RemoveAllSeries();

  const ChartAxis& LeftAxis() const { return left_; }
  const ChartAxis& BottomAxis() const { return bottom_; }
  void SetLeftAxis(const ChartAxis& axis) { Assign(left_, axis); }
  void SetBottomAxis(const ChartAxis& axis) { Assign(bottom_, axis); }
  // Fixes an axis to [min, max] (automatic off).
  void SetLeftLimits(double min, double max, double increment = 0);
  void SetBottomLimits(double min, double max, double increment = 0);

  // The user clicked a point of a series.
  void ClickPoint(std::size_t series, std::size_t point);
  std::function<void(std::size_t series, std::size_t point)> OnClickSeries;

 private:
  friend class ChartSeries;
  void SeriesChanged() { Changed(); }

  std::string title_;
  std::vector<std::unique_ptr<ChartSeries>> series_;
  ChartAxis left_;
  ChartAxis bottom_;
};

class Gauge : public Control {
 public:
  using Control::Control;
  int MinValue() const { return min_; }
  int MaxValue() const { return max_; }
  void SetRange(int min, int max);
  int Progress() const { return progress_; }
  // Kept inside the range.
  void SetProgress(int progress);

 private:
  int min_ = 0;
  int max_ = 100;
  int progress_ = 0;
};

// An image shown by resource name ("GrayLamp", "GreenLamp", "RedLamp").
class Picture : public Control {
 public:
  using Control::Control;
  const std::string& Resource() const { return resource_; }
  void SetResource(std::string resource) { Assign(resource_, std::move(resource)); }

 private:
  std::string resource_;
};
using Lamp = Picture;

class Memo : public Control {
 public:
  using Control::Control;
  const std::vector<std::string>& Lines() const { return lines_; }
  void SetLines(std::vector<std::string> lines) { Assign(lines_, std::move(lines)); }
  // The lines joined with "\n"; setting splits at "\n" (a "\r" before it is dropped).
  std::string Text() const;
  void SetText(const std::string& text);
  void Add(std::string line);
  void Clear();
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly) { Assign(readOnly_, readOnly); }

 private:
  std::vector<std::string> lines_;
  bool readOnly_ = false;
};

class PageControl : public Control {
 public:
  using Control::Control;
  // Returns the new page's index.
  int AddPage(std::string name, std::string caption);
  int PageCount() const { return int(pages_.size()); }
  // -1 when there is no page of that name.
  int IndexOf(const std::string& name) const;
  std::string PageName(int index) const;
  std::string PageCaption(int index) const;
  bool TabVisible(int index) const;
  void SetTabVisible(int index, bool visible);

  // -1 = none.
  int ActivePageIndex() const { return active_; }
  std::string ActivePageName() const { return PageName(active_); }
  void SetActivePageIndex(int index);
  // False when there is no page of that name.
  bool SetActivePage(const std::string& name);
  // The user chose a tab: it becomes active, then OnChange.
  void SelectPage(int index);

  std::function<void()> OnChange;

 private:
  struct Page {
    std::string name;
    std::string caption;
    bool tabVisible = true;
  };
  std::vector<Page> pages_;
  int active_ = -1;
};

class GroupBox : public CaptionedControl {
 public:
  using CaptionedControl::CaptionedControl;
};

class Panel : public GroupBox {
 public:
  using GroupBox::GroupBox;
};

class ScrollBar : public Control {
 public:
  using Control::Control;
  int Min() const { return min_; }
  int Max() const { return max_; }
  void SetRange(int min, int max);
  int Position() const { return position_; }
  // Clamped to the range; fires OnChange when it differs (the view calls it for the user, too).
  void SetPosition(int position);

  std::function<void()> OnChange;

 private:
  int min_ = 0;
  int max_ = 100;
  int position_ = 0;
};

// The view runs a real timer of Interval ms while Enabled and calls Fire on every tick; tests
// call Fire themselves.
class Timer : public Control {
 public:
  using Control::Control;
  int Interval() const { return interval_; }
  void SetInterval(int ms) { Assign(interval_, ms); }
  // Calls OnTimer when enabled.
  void Fire();

  std::function<void()> OnTimer;

 private:
  int interval_ = 1000;
};

}  // namespace platform
