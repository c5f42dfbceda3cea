#include "runtime/ui/controls.h"

#include <time.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>
#include <algorithm>
#include <chrono>
#include <optional>

#include "runtime/text.h"
#include "runtime/ui/internal.h"

namespace rt::ui {
namespace {

constexpr const char* kListbox = "Listbox";
constexpr const char* kCheckBox = "CheckBox";

detail::ListView& ViewOf(const Control::Impl& impl) {
  return static_cast<detail::ListView&>(NotNil(impl.widget.data(), "list"));
}

QCheckBox& BoxOf(const Control::Impl& impl) {
  return static_cast<QCheckBox&>(NotNil(impl.widget.data(), "check box"));
}

// The control's first rectangle is the widget's own preferred size.
void TakeNaturalSize(Control::Impl& impl) {
  const QSize size = impl.widget->sizeHint();
  impl.width = size.width();
  impl.height = size.height();
  impl.widget->resize(size);
}

void CheckCell(const detail::ListView& view, int64_t row, int64_t column) {
  if (row < 0 || row >= view.rowCount()) {
    throw OutOfBoundsException("row " + Str(row) + " is not in the list");
  }
  if (column < 0 || column >= view.columnCount()) {
    throw OutOfBoundsException("column " + Str(column) + " is not in the list");
  }
}

void ReleaseWidget(Control::Impl& impl) {
  // A control on a window goes with the window's widget; one never placed
  // is deleted by itself.
  if (impl.widget && impl.widget->parent() == nullptr) impl.widget->deleteLater();
}

// The role under which a cell keeps the program's own bytes: a rule file's
// name need not be valid UTF-8, and its text must come back unchanged.
constexpr int kCellBytesRole = Qt::UserRole;

void AddRowTo(detail::ListView& view, const std::vector<std::string>& cells) {
  const int row = view.rowCount();
  view.insertRow(row);
  for (int column = 0; column < view.columnCount(); ++column) {
    const size_t i = static_cast<size_t>(column);
    const std::string cell = i < cells.size() ? cells[i] : std::string();
    auto* item = new QTableWidgetItem(detail::ToQt(cell));
    item->setData(kCellBytesRole, QByteArray(cell.data(), static_cast<qsizetype>(cell.size())));
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    view.setItem(row, column, item);
  }
}

// Listbox's own properties; false for a name that is not one of them.
bool ApplyListProperty(detail::ListView& view, const Property& p) {
  const std::string& name = p.name;
  if (name == "ScrollOffset" || name == "ScrollWidth") {
    // No effect: the list has no horizontal scrolling of its own; its
    // content always starts unscrolled (offset 0) at the width its columns
    // take (the automatic width, -1).
    detail::AsInteger(kListbox, p);
  } else if (name == "HasBorder") {
    view.setFrameShape(detail::AsBool(kListbox, p) ? QFrame::StyledPanel : QFrame::NoFrame);
  } else if (name == "ColumnCount") {
    const int64_t count = detail::AsInteger(kListbox, p);
    if (count < 1 || count > 256) detail::UnsupportedValue(kListbox, p);
    view.setColumnCount(static_cast<int>(count));
    view.ApplyColumnWidths();
  } else if (name == "ColumnWidths") {
    const std::string widths = detail::AsText(kListbox, p);
    for (const std::string& width : Split(widths, ",")) {
      if (!widths.empty() &&
          (width.empty() || width.find_first_not_of(" 0123456789") != std::string::npos)) {
        detail::UnsupportedValue(kListbox, p);
      }
    }
    view.column_widths = widths;
    view.ApplyColumnWidths();
  } else if (name == "DefaultRowHeight") {
    // -1: the natural height of a row in the list's font and style.
    const int64_t height = detail::AsInteger(kListbox, p);
    if (height != -1 && (height < 1 || height > 10000)) detail::UnsupportedValue(kListbox, p);
    view.verticalHeader()->setDefaultSectionSize(height == -1 ? view.natural_row_height
                                                              : static_cast<int>(height));
  } else if (name == "GridLinesHorizontalStyle" || name == "GridLinesVerticalStyle") {
    // 0: no grid lines. Qt draws horizontal and vertical lines together.
    const int64_t style = detail::AsInteger(kListbox, p);
    if (style != 0) detail::UnsupportedValue(kListbox, p);
    view.setShowGrid(false);
  } else if (name == "HasHeader") {
    view.horizontalHeader()->setVisible(detail::AsBool(kListbox, p));
  } else if (name == "HeadingIndex") {
    // -1: no column sorts the rows; they stay in the order they were added.
    if (detail::AsInteger(kListbox, p) != -1) detail::UnsupportedValue(kListbox, p);
    view.setSortingEnabled(false);
  } else if (name == "InitialValue") {
    // Rows separated by line ends, cells by TAB.
    view.setRowCount(0);
    const std::string& text = detail::AsText(kListbox, p);
    if (!text.empty()) {
      std::string lines = text;
      for (size_t at = lines.find("\r\n"); at != std::string::npos; at = lines.find("\r\n", at)) {
        lines.erase(at, 1);
      }
      for (char& c : lines) {
        if (c == '\r') c = '\n';
      }
      for (const std::string& line : Split(lines, "\n")) AddRowTo(view, Split(line, "\t"));
    }
  } else if (name == "HasHorizontalScrollbar") {
    view.has_horizontal_scrollbar = detail::AsBool(kListbox, p);
    view.ApplyScrollbars();
  } else if (name == "HasVerticalScrollbar") {
    view.has_vertical_scrollbar = detail::AsBool(kListbox, p);
    view.ApplyScrollbars();
  } else if (name == "AllowAutoHideScrollbars") {
    view.auto_hide_scrollbars = detail::AsBool(kListbox, p);
    view.ApplyScrollbars();
  } else if (name == "DropIndicatorVisible") {
    view.setDropIndicatorShown(detail::AsBool(kListbox, p));
  } else if (name == "AllowResizableColumns") {
    view.resizable_columns = detail::AsBool(kListbox, p);
    view.ApplyColumnWidths();
  } else if (name == "AllowRowDragging" || name == "AllowRowReordering" ||
             name == "AllowExpandableRows" || name == "RequiresSelection") {
    // Rows are neither dragged, moved nor expanded here, and the user may
    // leave the list without a selection: only false can be carried out.
    if (detail::AsBool(kListbox, p)) detail::UnsupportedValue(kListbox, p);
  } else if (name == "RowSelectionType") {
    // 0: one row at a time; 1: several.
    const int64_t type = detail::AsInteger(kListbox, p);
    if (type != 0 && type != 1) detail::UnsupportedValue(kListbox, p);
    view.setSelectionMode(type == 0 ? QAbstractItemView::SingleSelection
                                    : QAbstractItemView::ExtendedSelection);
  } else {
    return false;
  }
  return true;
}

}  // namespace

Listbox::Listbox() {
  auto* view = new detail::ListView;
  view->owner = this;
  impl().widget = view;
  TakeNaturalSize(impl());
}

Listbox::~Listbox() {
  if (impl().widget) {
    ViewOf(impl()).owner = nullptr;
    ReleaseWidget(impl());
  }
}

void Listbox::SetProperties(const PropertySet& properties) {
  detail::RequireUiThread();
  detail::ListView& view = ViewOf(impl());
  QFont font = view.font();
  detail::ApplyInBatch(*this, font, properties, [&](const Property& p) {
    if (!ApplyListProperty(view, p) && !detail::ApplyControlProperty(kListbox, impl(), font, p)) {
      detail::UnknownProperty(kListbox, p);
    }
  });
}

void Listbox::DeleteAllRows() {
  detail::RequireUiThread();
  ViewOf(impl()).setRowCount(0);
}

void Listbox::AddRow(const std::vector<std::string>& cells) {
  detail::RequireUiThread();
  AddRowTo(ViewOf(impl()), cells);
}

std::string Listbox::Cell(int64_t row, int64_t column) const {
  detail::RequireUiThread();
  const detail::ListView& view = ViewOf(impl());
  CheckCell(view, row, column);
  const QByteArray cell = view.RowCells(static_cast<int>(row)).value(static_cast<int>(column));
  return cell.toStdString();
}

int64_t Listbox::RowCount() const {
  detail::RequireUiThread();
  return ViewOf(impl()).rowCount();
}

int64_t Listbox::ColumnCount() const {
  detail::RequireUiThread();
  return ViewOf(impl()).columnCount();
}

int64_t Listbox::SelectedRow() const {
  detail::RequireUiThread();
  const QModelIndexList rows = ViewOf(impl()).selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.front().row();
}

void Listbox::SetCellClickHandler(CellClickHandler handler) { cell_click_ = std::move(handler); }

void Listbox::ClickCell(int64_t row, int64_t column) {
  detail::RequireUiThread();
  detail::ListView& view = ViewOf(impl());
  CheckCell(view, row, column);
  if (!view.isVisible()) throw RuntimeException("the list is not shown");
  const QModelIndex index = view.model()->index(static_cast<int>(row), static_cast<int>(column));
  view.scrollTo(index);
  // The user presses what is on the screen: the rows as they stand now,
  // drawn before the press is made (a millisecond earlier, as time stamps go).
  view.viewport()->repaint();
  for (const uint32_t drawn = detail::EventClockNow(); detail::EventClockNow() == drawn;) {
  }
  const QPoint at = view.visualRect(index).center();
  const QPoint global = view.viewport()->mapToGlobal(at);
  QPointer<QWidget> viewport = view.viewport();
  QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  press.setTimestamp(detail::EventClockNow());
  QCoreApplication::sendEvent(viewport, &press);
  if (!viewport) return;
  QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  release.setTimestamp(detail::EventClockNow());
  QCoreApplication::sendEvent(viewport, &release);
}

CheckBox::CheckBox() {
  impl().widget = new QCheckBox;
  TakeNaturalSize(impl());
}

CheckBox::~CheckBox() { ReleaseWidget(impl()); }

void CheckBox::SetProperties(const PropertySet& properties) {
  detail::RequireUiThread();
  QCheckBox& box = BoxOf(impl());
  QFont font = box.font();
  detail::ApplyInBatch(*this, font, properties, [&](const Property& p) {
    if (p.name == "Caption") {
      box.setText(detail::ToQt(detail::AsText(kCheckBox, p)));
    } else if (p.name == "VisualState") {
      // 0 unchecked, 1 checked, 2 mixed.
      const int64_t state = detail::AsInteger(kCheckBox, p);
      if (state < 0 || state > 2) detail::UnsupportedValue(kCheckBox, p);
      box.setTristate(state == 2);
      box.setCheckState(state == 0   ? Qt::Unchecked
                        : state == 1 ? Qt::Checked
                                     : Qt::PartiallyChecked);
    } else if (!detail::ApplyControlProperty(kCheckBox, impl(), font, p)) {
      detail::UnknownProperty(kCheckBox, p);
    }
  });
}

bool CheckBox::Value() const {
  detail::RequireUiThread();
  return BoxOf(impl()).checkState() == Qt::Checked;
}

void CheckBox::Value(bool checked) {
  detail::RequireUiThread();
  QCheckBox& box = BoxOf(impl());
  box.setTristate(false);
  box.setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

std::string CheckBox::Caption() const {
  detail::RequireUiThread();
  return detail::FromQt(BoxOf(impl()).text());
}

void CheckBox::Caption(const std::string& caption) {
  detail::RequireUiThread();
  BoxOf(impl()).setText(detail::ToQt(caption));
}

namespace detail {

uint32_t EventClockNow() {
  timespec now{};
#ifdef __APPLE__
  clock_gettime(CLOCK_UPTIME_RAW, &now);
#else
  clock_gettime(CLOCK_MONOTONIC, &now);
#endif
  return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                               static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}

ListView::ListView() {
  setColumnCount(1);
  horizontalHeader()->setVisible(false);
  verticalHeader()->setVisible(false);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  natural_row_height = verticalHeader()->defaultSectionSize();
  setShowGrid(false);
  setWordWrap(false);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setDragDropMode(QAbstractItemView::NoDragDrop);
  ApplyScrollbars();
  ApplyColumnWidths();
}

void ListView::ApplyScrollbars() {
  const auto policy = [this](bool shown) {
    if (!shown) return Qt::ScrollBarAlwaysOff;
    return auto_hide_scrollbars ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOn;
  };
  setHorizontalScrollBarPolicy(policy(has_horizontal_scrollbar));
  setVerticalScrollBarPolicy(policy(has_vertical_scrollbar));
}

// Columns with a width of their own keep it; the others share what is left
// (all of them when no widths are given).
void ListView::ApplyColumnWidths() {
  QHeaderView* header = horizontalHeader();
  const std::vector<std::string> widths =
      column_widths.empty() ? std::vector<std::string>() : Split(column_widths, ",");
  for (int column = 0; column < columnCount(); ++column) {
    const size_t i = static_cast<size_t>(column);
    if (i < widths.size()) {
      header->setSectionResizeMode(
          column, resizable_columns ? QHeaderView::Interactive : QHeaderView::Fixed);
      header->resizeSection(column, static_cast<int>(Val(widths[i])));
    } else {
      header->setSectionResizeMode(column, QHeaderView::Stretch);
    }
  }
}

void ListView::mousePressEvent(QMouseEvent* event) {
  const auto dispatched = std::chrono::steady_clock::now();
  std::shared_ptr<Control> list = owner != nullptr ? owner->weak_from_this().lock() : nullptr;
  const QPoint at = event->position().toPoint();
  if (!list || event->button() != Qt::LeftButton) {
    QTableWidget::mousePressEvent(event);
    return;
  }
  // A press made while a click was being handled would run its rule file
  // again once that run is over; the user sees nothing of it until then.
  if (MadeDuringClick(event->timestamp())) {
    event->accept();
    return;
  }
  const std::optional<ShownRow> pressed = ShownRowAt(at.y(), event->timestamp());
  const int column = columnAt(at.x());
  if (!pressed || column < 0) {
    QTableWidget::mousePressEvent(event);
    return;
  }
  QPointer<ListView> alive(this);
  if (std::shared_ptr<Window> window = Access::ImplOf(*list).window.lock()) {
    Access::ActivateBeforeInput(*window);
  }
  if (!alive) return;
  // The activation may have refilled the list with other rows (a rule file
  // added or removed meanwhile): the click goes to the row the user pressed,
  // wherever it now stands, and to none when it is gone.
  const int underPointer = rowAt(at.y());
  const int row = RowHolding(pressed->cells, underPointer);
  bool handled = false;
  if (row >= 0) {
    const QRect cell = visualRect(model()->index(row, column));
    handled = Access::RaiseCellClick(static_cast<Listbox&>(*list), row, column, at.x() - cell.x(),
                                     at.y() - pressed->top);
  }
  if (!alive) return;
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - dispatched);
  if (event->timestamp() != 0) {
    // Rounded down, so that a press made just after the end is never taken
    // for one made during the click.
    has_click_end_ = true;
    click_end_ = static_cast<uint32_t>(event->timestamp() + static_cast<quint64>(elapsed.count()));
    click_end_seen_ = std::chrono::steady_clock::now();
  }
  if (handled) return;
  if (row < 0) {
    clearSelection();
    event->accept();
  } else if (row == underPointer) {
    QTableWidget::mousePressEvent(event);
  } else {
    // The pressed file now stands elsewhere: that row is the one selected.
    setCurrentIndex(model()->index(row, column));
    event->accept();
  }
}

void ListView::paintEvent(QPaintEvent* event) {
  QTableWidget::paintEvent(event);
  std::vector<ShownRow> rows;
  const int height = viewport()->height();
  for (int row = std::max(0, rowAt(0)); row < rowCount(); ++row) {
    const int top = rowViewportPosition(row);
    if (top >= height) break;
    rows.push_back({top, top + rowHeight(row) - 1, RowCells(row)});
  }
  if (!shown_.empty() && shown_.back().rows == rows) return;
  // A few changes back are enough: a press reaches the list within
  // milliseconds of being made, or after a click that held it back, during
  // which nothing is drawn.
  constexpr size_t kKept = 4;
  if (shown_.size() == kKept) shown_.erase(shown_.begin());
  shown_.push_back({EventClockNow(), std::move(rows)});
}

std::optional<ListView::ShownRow> ListView::ShownRowAt(int y, quint64 timestamp) const {
  if (shown_.empty()) {
    const int row = rowAt(y);
    if (row < 0) return std::nullopt;
    const int top = rowViewportPosition(row);
    return ShownRow{top, top + rowHeight(row) - 1, RowCells(row)};
  }
  // The last rows drawn before the press was made. Where the press's clock
  // is not this machine's (a remote display), or the press has no time,
  // hardly any drawing seems earlier, and the last rows drawn count.
  const Shown* seen = &shown_.back();
  if (timestamp != 0) {
    for (auto it = shown_.rbegin(); it != shown_.rend(); ++it) {
      if (static_cast<int32_t>(static_cast<uint32_t>(timestamp) - it->since) > 0) {
        seen = &*it;
        break;
      }
    }
  }
  for (const ShownRow& shown : seen->rows) {
    if (y >= shown.top && y <= shown.bottom) return shown;
  }
  return std::nullopt;
}

int ListView::RowHolding(const QList<QByteArray>& cells, int preferred) const {
  if (RowCells(preferred) == cells) return preferred;
  for (int row = 0; row < rowCount(); ++row) {
    if (RowCells(row) == cells) return row;
  }
  return -1;
}

bool ListView::MadeDuringClick(quint64 timestamp) const {
  if (!has_click_end_ || timestamp == 0) return false;
  // Held-back presses arrive as soon as the click is over; long after it,
  // the time stamps' wrap-around would make the comparison meaningless.
  if (std::chrono::steady_clock::now() - click_end_seen_ > std::chrono::hours(1)) return false;
  // Time stamps are whole milliseconds that wrap at 32 bits; one in the
  // very millisecond the click ended may be later than its end.
  return static_cast<int32_t>(static_cast<uint32_t>(timestamp) - click_end_) < 0;
}

QList<QByteArray> ListView::RowCells(int row) const {
  QList<QByteArray> cells;
  if (row < 0 || row >= rowCount()) return cells;
  for (int c = 0; c < columnCount(); ++c) {
    const QTableWidgetItem* cellItem = item(row, c);
    cells.append(cellItem != nullptr ? cellItem->data(kCellBytesRole).toByteArray() : QByteArray());
  }
  return cells;
}

bool Access::RaiseCellClick(Listbox& list, int64_t row, int64_t column, int64_t x, int64_t y) {
  // A copy, so that a handler that replaces itself is not destroyed while
  // it runs.
  const Listbox::CellClickHandler handler = list.cell_click_;
  if (!handler) return false;
  const std::shared_ptr<Listbox> self = std::static_pointer_cast<Listbox>(list.shared_from_this());
  bool handled = false;
  Guard([&] { handled = handler(self, row, column, x, y); });
  return handled;
}

void ApplyInBatch(Control& control, QFont& font, const PropertySet& properties,
                  const std::function<void(const Property&)>& apply) {
  try {
    for (const Property& p : properties) apply(p);
  } catch (...) {
    CommitControlProperties(control, font);
    throw;
  }
  CommitControlProperties(control, font);
}

void CommitControlProperties(Control& control, const QFont& font) {
  Control::Impl& impl = Access::ImplOf(control);
  impl.widget->setFont(font);
  impl.widget->resize(static_cast<int>(std::clamp<int64_t>(impl.width, 0, QWIDGETSIZE_MAX)),
                      static_cast<int>(std::clamp<int64_t>(impl.height, 0, QWIDGETSIZE_MAX)));
  if (std::shared_ptr<Window> window = impl.window.lock()) {
    impl.right_margin = window->Width() - (impl.left + impl.width);
    impl.bottom_margin = window->Height() - (impl.top + impl.height);
    Access::PlaceControl(*window, control);
    Access::UpdateTabOrder(*window);
  }
}

}  // namespace detail
}  // namespace rt::ui
