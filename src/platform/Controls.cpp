#include "platform/Controls.h"

#include <algorithm>
#include <charconv>

namespace platform {

// --- Control ---

Control::Control(std::string name) : name_(std::move(name)) {}

Control::~Control() = default;

void Control::SetFontColor(Color color) {
  platform::Font f = font_;
  f.color = color;
  SetFont(f);
}

void Control::SetFontSize(int size) {
  platform::Font f = font_;
  f.size = size;
  SetFont(f);
}

void Control::SetFontBold(bool bold) {
  platform::Font f = font_;
  f.bold = bold;
  SetFont(f);
}

Control::ListenerToken Control::AddListener(Listener listener) {
  const ListenerToken token = nextToken_++;
  listeners_.emplace_back(token, std::move(listener));
  return token;
}

void Control::RemoveListener(ListenerToken token) {
  std::erase_if(listeners_, [token](const auto& entry) { return entry.first == token; });
}

void Control::BeginUpdate() {
  ++updateDepth_;
}

void Control::EndUpdate() {
  if (updateDepth_ == 0) return;
  if (--updateDepth_ == 0 && pending_) Changed();
}

void Control::Changed() {
  if (updateDepth_ > 0) {
    pending_ = true;
    return;
  }
  pending_ = false;
  // A listener may add or remove listeners (a view closing itself); call only those that are
  // still registered when their turn comes.
  std::vector<ListenerToken> tokens;
  tokens.reserve(listeners_.size());
  for (const auto& entry : listeners_) tokens.push_back(entry.first);
  for (ListenerToken token : tokens) {
    auto it = std::find_if(listeners_.begin(), listeners_.end(),
                           [token](const auto& entry) { return entry.first == token; });
    if (it == listeners_.end()) continue;
    Listener copy = it->second;
    copy();
  }
}

// --- Edit ---

void Edit::SetText(std::string text) {
  if (text_ == text) return;
  text_ = std::move(text);
  Changed();
  if (OnChange) OnChange();
}

// --- UpDown ---

UpDown::~UpDown() {
  if (associate_) associate_->RemoveListener(associateToken_);
}

void UpDown::SetRange(int min, int max) {
  if (max < min) std::swap(min, max);
  if (min == min_ && max == max_) return;
  min_ = min;
  max_ = max;
  const int clamped = std::clamp(position_, min_, max_);
  const bool moved = clamped != position_;
  position_ = clamped;
  if (moved) ShowInAssociate();
  Changed();
  if (moved && OnChange) OnChange();
}

void UpDown::SetPosition(int position) {
  position = std::clamp(position, min_, max_);
  if (position == position_) {
    // The edit may show something else (typed text outside the range): show the position again.
    if (associate_ && associate_->Text() != std::to_string(position_)) ShowInAssociate();
    return;
  }
  position_ = position;
  ShowInAssociate();
  Changed();
  if (OnChange) OnChange();
}

void UpDown::SetAssociate(Edit* edit) {
  if (edit == associate_) return;
  if (associate_) associate_->RemoveListener(associateToken_);
  associate_ = edit;
  associateToken_ = 0;
  if (associate_) {
    associateToken_ = associate_->AddListener([this] { TakeFromAssociate(); });
    ShowInAssociate();
  }
  Changed();
}

void UpDown::ShowInAssociate() {
  if (associate_) associate_->SetText(std::to_string(position_));
}

void UpDown::TakeFromAssociate() {
  const std::string& text = associate_->Text();
  int value = 0;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  while (first < last && *first == ' ') ++first;
  auto [ptr, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || ptr != last || value < min_ || value > max_) return;
  if (value == position_) return;
  position_ = value;
  Changed();
  if (OnChange) OnChange();
}

void UpDown::Click(bool up) {
  if (!Enabled()) return;
  if (associate_) TakeFromAssociate();
  SetPosition(up ? position_ + increment_ : position_ - increment_);
  if (OnClick) OnClick(up);
}

// --- Button, CheckBox ---

void Button::Click() {
  if (!Enabled() || !Visible()) return;
  if (OnClick) OnClick();
}

void CheckBox::SetChecked(bool checked) {
  if (checked_ == checked) return;
  checked_ = checked;
  Changed();
  if (OnClick) OnClick();
}

// --- ComboBox ---

void ComboBox::SetText(std::string text) {
  Assign(text_, std::move(text));
}

void ComboBox::SetItems(std::vector<std::string> items) {
  BeginUpdate();
  Assign(items_, std::move(items));
  if (itemIndex_ >= int(items_.size())) Assign(itemIndex_, -1);
  EndUpdate();
}

void ComboBox::AddItem(std::string item) {
  items_.push_back(std::move(item));
  Changed();
}

void ComboBox::AddToHistory(const std::string& text, std::size_t maxItems) {
  if (!items_.empty() && items_.front() == text) return;
  std::erase(items_, text);
  items_.insert(items_.begin(), text);
  if (maxItems > 0 && items_.size() > maxItems) items_.resize(maxItems);
  itemIndex_ = -1;
  Changed();
}

void ComboBox::ClearItems() {
  BeginUpdate();
  Assign(items_, std::vector<std::string>{});
  Assign(itemIndex_, -1);
  EndUpdate();
}

void ComboBox::SetItemIndex(int index) {
  if (index < -1 || index >= int(items_.size())) index = -1;
  BeginUpdate();
  Assign(itemIndex_, index);
  if (index >= 0) Assign(text_, items_[std::size_t(index)]);
  EndUpdate();
}

void ComboBox::Select(int index) {
  if (!Enabled()) return;
  SetItemIndex(index);
  if (OnChange) OnChange();
}

void ComboBox::EditText(std::string text) {
  if (!Enabled()) return;
  BeginUpdate();
  Assign(text_, std::move(text));
  auto it = std::find(items_.begin(), items_.end(), text_);
  Assign(itemIndex_, it == items_.end() ? -1 : int(it - items_.begin()));
  EndUpdate();
  if (OnChange) OnChange();
}

// --- StringGrid ---

StringGrid::StringGrid(std::string name, int colCount, int rowCount)
    : Control(std::move(name)),
      colCount_(std::max(colCount, 0)),
      rowCount_(std::max(rowCount, 0)),
      cells_(std::size_t(rowCount_), std::vector<std::string>(std::size_t(colCount_))) {}

void StringGrid::SetColCount(int count) {
  count = std::max(count, 0);
  if (count == colCount_) return;
  colCount_ = count;
  for (auto& row : cells_) row.resize(std::size_t(count));
  Changed();
}

void StringGrid::SetRowCount(int count) {
  count = std::max(count, 0);
  if (count == rowCount_) return;
  rowCount_ = count;
  cells_.resize(std::size_t(count), std::vector<std::string>(std::size_t(colCount_)));
  if (row_ >= rowCount_) row_ = std::max(rowCount_ - 1, 0);
  Changed();
}

int StringGrid::ColWidth(int col) const {
  if (col >= 0 && std::size_t(col) < colWidths_.size() && colWidths_[std::size_t(col)] >= 0)
    return colWidths_[std::size_t(col)];
  return defaultColWidth_;
}

void StringGrid::SetColWidth(int col, int width) {
  if (col < 0 || ColWidth(col) == width) return;
  if (std::size_t(col) >= colWidths_.size()) colWidths_.resize(std::size_t(col) + 1, -1);
  colWidths_[std::size_t(col)] = width;
  Changed();
}

const std::string& StringGrid::Cell(int col, int row) const {
  static const std::string empty;
  if (!Inside(col, row)) return empty;
  return cells_[std::size_t(row)][std::size_t(col)];
}

void StringGrid::SetCell(int col, int row, std::string text) {
  if (!Inside(col, row)) return;
  Assign(cells_[std::size_t(row)][std::size_t(col)], std::move(text));
}

std::vector<std::string> StringGrid::RowCells(int row) const {
  if (row < 0 || row >= rowCount_) return {};
  return cells_[std::size_t(row)];
}

void StringGrid::ClearCells() {
  bool any = false;
  for (auto& row : cells_)
    for (auto& cell : row)
      if (!cell.empty()) {
        cell.clear();
        any = true;
      }
  if (any) Changed();
}

int StringGrid::NewestRow() const {
  for (int r = rowCount_ - 1; r >= fixedRows_; --r)
    for (const auto& cell : cells_[std::size_t(r)])
      if (!cell.empty()) return r;
  return -1;
}

void StringGrid::SelectCell(int col, int row) {
  if (!Inside(col, row)) return;
  BeginUpdate();
  Assign(col_, col);
  Assign(row_, row);
  EndUpdate();
  if (OnSelectCell) OnSelectCell(col, row);
}

void StringGrid::EditCell(int col, int row, std::string text) {
  if (!editable_ || !Inside(col, row) || row < fixedRows_ || col < fixedCols_) return;
  SetCell(col, row, std::move(text));
  if (OnEditCell) OnEditCell(col, row);
}

// --- Chart ---

ChartSeries::ChartSeries(Chart& chart, std::string name, SeriesKind kind, Color color)
    : chart_(chart), name_(std::move(name)), kind_(kind), color_(color) {}

void ChartSeries::SetSeriesColor(Color color) {
  if (color_ == color) return;
  color_ = color;
  chart_.SeriesChanged();
}

void ChartSeries::SetTitle(std::string title) {
  if (title_ == title) return;
  title_ = std::move(title);
  chart_.SeriesChanged();
}

void ChartSeries::SetVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  chart_.SeriesChanged();
}

void ChartSeries::Clear() {
  if (points_.empty()) return;
  points_.clear();
  chart_.SeriesChanged();
}

void ChartSeries::AddXY(double x, double y, Color color) {
  points_.push_back(ChartPoint{x, y, color});
  chart_.SeriesChanged();
}

ChartSeries& Chart::AddSeries(std::string name, SeriesKind kind, Color color) {
  series_.push_back(std::make_unique<ChartSeries>(*this, std::move(name), kind, color));
  Changed();
  return *series_.back();
}

void Chart::ClearAll() {
  BeginUpdate();
  for (auto& s : series_) s->Clear();
  EndUpdate();
}

void Chart::RemoveAllSeries() {
  if (series_.empty()) return;
  series_.clear();
  Changed();
}

namespace {
// The axis with fixed limits in place of automatic ones.
ChartAxis FixedAxis(ChartAxis axis, double min, double max, double increment) {
  axis.automatic = false;
  axis.minimum = min;
  axis.maximum = max;
  axis.increment = increment;
  return axis;
}
}  // namespace

void Chart::SetLeftLimits(double min, double max, double increment) {
  SetLeftAxis(FixedAxis(left_, min, max, increment));
}

void Chart::SetBottomLimits(double min, double max, double increment) {
  SetBottomAxis(FixedAxis(bottom_, min, max, increment));
}

void Chart::ClickPoint(std::size_t series, std::size_t point) {
  if (series >= series_.size() || point >= series_[series]->Count()) return;
  if (OnClickSeries) OnClickSeries(series, point);
}

// --- Gauge ---

void Gauge::SetRange(int min, int max) {
  if (max < min) std::swap(min, max);
  BeginUpdate();
  Assign(min_, min);
  Assign(max_, max);
  Assign(progress_, std::clamp(progress_, min_, max_));
  EndUpdate();
}

void Gauge::SetProgress(int progress) {
  Assign(progress_, std::clamp(progress, min_, max_));
}

// --- Memo ---

std::string Memo::Text() const {
  std::string text;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (i) text += '\n';
    text += lines_[i];
  }
  return text;
}

void Memo::SetText(const std::string& text) {
  std::vector<std::string> lines;
  if (!text.empty()) {
    std::size_t start = 0;
    while (true) {
      const std::size_t nl = text.find('\n', start);
      std::string line = text.substr(start, nl == std::string::npos ? nl : nl - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(std::move(line));
      if (nl == std::string::npos) break;
      start = nl + 1;
    }
  }
  SetLines(std::move(lines));
}

void Memo::Add(std::string line) {
  lines_.push_back(std::move(line));
  Changed();
}

void Memo::Clear() {
  SetLines({});
}

// --- PageControl ---

int PageControl::AddPage(std::string name, std::string caption) {
  pages_.push_back(Page{std::move(name), std::move(caption), true});
  if (active_ < 0) active_ = 0;
  Changed();
  return int(pages_.size()) - 1;
}

int PageControl::IndexOf(const std::string& name) const {
  for (std::size_t i = 0; i < pages_.size(); ++i)
    if (pages_[i].name == name) return int(i);
  return -1;
}

std::string PageControl::PageName(int index) const {
  if (index < 0 || index >= PageCount()) return {};
  return pages_[std::size_t(index)].name;
}

std::string PageControl::PageCaption(int index) const {
  if (index < 0 || index >= PageCount()) return {};
  return pages_[std::size_t(index)].caption;
}

bool PageControl::TabVisible(int index) const {
  if (index < 0 || index >= PageCount()) return false;
  return pages_[std::size_t(index)].tabVisible;
}

void PageControl::SetTabVisible(int index, bool visible) {
  if (index < 0 || index >= PageCount()) return;
  Assign(pages_[std::size_t(index)].tabVisible, visible);
}

void PageControl::SetActivePageIndex(int index) {
  if (index < -1 || index >= PageCount()) return;
  Assign(active_, index);
}

bool PageControl::SetActivePage(const std::string& name) {
  const int index = IndexOf(name);
  if (index < 0) return false;
  SetActivePageIndex(index);
  return true;
}

void PageControl::SelectPage(int index) {
  if (index < 0 || index >= PageCount() || !Enabled()) return;
  SetActivePageIndex(index);
  if (OnChange) OnChange();
}

// --- ScrollBar ---

void ScrollBar::SetRange(int min, int max) {
  if (max < min) std::swap(min, max);
  BeginUpdate();
  Assign(min_, min);
  Assign(max_, max);
  EndUpdate();
  SetPosition(position_);
}

void ScrollBar::SetPosition(int position) {
  position = std::clamp(position, min_, max_);
  if (position == position_) return;
  position_ = position;
  Changed();
  if (OnChange) OnChange();
}

// --- Timer ---

void Timer::Fire() {
  if (Enabled() && OnTimer) OnTimer();
}

}  // namespace platform
