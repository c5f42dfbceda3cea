#include <QFocusEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <QShowEvent>
#include <QStyle>
#include <algorithm>
#include <chrono>
#include <utility>

#include "runtime/ui/internal.h"

namespace rt::ui::detail {
namespace {

// The role under which a cell keeps the program's own bytes: a rule file's
// name need not be valid UTF-8, and its text must come back unchanged.
constexpr int kCellBytesRole = Qt::UserRole;

}  // namespace

int64_t MonotonicMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

uint32_t EventClock::GapAt(int64_t time) const {
  // A millisecond a second: far more than two clocks drift apart. Each move
  // of the pointer onto a row, just before its press, makes the gap fresh.
  return gap_ + static_cast<uint32_t>(std::max<int64_t>(0, time - gap_seen_) / 1000);
}

void EventClock::Observe(uint32_t stamp, int64_t arrival) {
  if (stamp == 0) return;
  // Modulo 2^32 like the stamps; gaps are compared by their difference,
  // which stays far within 32 bits.
  const uint32_t gap = static_cast<uint32_t>(arrival) - stamp;
  if (known_ && static_cast<int32_t>(gap - GapAt(arrival)) > 0) return;
  known_ = true;
  gap_ = gap;
  gap_seen_ = arrival;
}

int64_t EventClock::MadeAt(uint32_t stamp, int64_t now) const {
  if (!known_ || stamp == 0) return now;
  const uint32_t made = stamp + GapAt(now);
  return std::min(now, now + static_cast<int32_t>(made - static_cast<uint32_t>(now)));
}

ListView::ListView() {
  setColumnCount(1);
  horizontalHeader()->setVisible(false);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  verticalHeader()->setVisible(false);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  setShowGrid(false);
  setWordWrap(false);
  setFrameShape(QFrame::StyledPanel);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setDragDropMode(QAbstractItemView::NoDragDrop);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  UseNaturalRowHeight();
}

void ListView::AddRow(const std::vector<std::string>& cells) {
  const int row = rowCount();
  insertRow(row);
  for (int column = 0; column < columnCount(); ++column) {
    const size_t i = static_cast<size_t>(column);
    const std::string cell = i < cells.size() ? cells[i] : std::string();
    auto* cellItem = new QTableWidgetItem(ToQt(cell));
    cellItem->setData(kCellBytesRole, QByteArray(cell.data(), static_cast<qsizetype>(cell.size())));
    cellItem->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    setItem(row, column, cellItem);
  }
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

void ListView::UseNaturalRowHeight() {
  // The height of a line of text in the list's font, and the margin that the
  // platform's style keeps around a focused item above and below it.
  const int margin = style()->pixelMetric(QStyle::PM_FocusFrameVMargin, nullptr, this);
  verticalHeader()->setMinimumSectionSize(1);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 2 * std::max(0, margin));
}

void ListView::changeEvent(QEvent* event) {
  QTableWidget::changeEvent(event);
  if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
    UseNaturalRowHeight();
  }
}

void ListView::focusInEvent(QFocusEvent* event) {
  const bool hadCurrent = currentIndex().isValid();
  QTableWidget::focusInEvent(event);
  // Qt makes the first row the current one when the list gets the focus
  // other than by a press, and draws it much as a selected one; no row is
  // chosen until the user presses one.
  if (!hadCurrent && event->reason() != Qt::MouseFocusReason) {
    selectionModel()->clearCurrentIndex();
  }
}

void ListView::showEvent(QShowEvent* event) {
  QTableWidget::showEvent(event);
  WatchWindowInput();
}

void ListView::WatchWindowInput() {
  QWindow* handle = window()->windowHandle();
  if (handle == watched_) return;
  if (watched_) watched_->removeEventFilter(this);
  watched_ = handle;
  if (handle != nullptr) handle->installEventFilter(this);
}

bool ListView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == watched_ && event->isInputEvent()) {
    clock_.Observe(static_cast<uint32_t>(static_cast<QInputEvent*>(event)->timestamp()),
                   MonotonicMs());
  }
  return QTableWidget::eventFilter(watched, event);
}

void ListView::mousePressEvent(QMouseEvent* event) {
  // What a press ran counts for the one right after it only.
  const std::optional<ShownRow> ranBefore = std::exchange(last_run_, std::nullopt);
  std::shared_ptr<Control> list = owner != nullptr ? owner->weak_from_this().lock() : nullptr;
  if (!list || event->button() != Qt::LeftButton) {
    QTableWidget::mousePressEvent(event);
    return;
  }
  const int64_t made = MadeAt(*event);
  // A press made while a click was being handled would run its rule file
  // again once that run is over; the user sees nothing of it until then.
  if (MadeDuringRun(made)) {
    event->accept();
    return;
  }
  const QPoint at = event->position().toPoint();
  const int column = columnAt(at.x());
  const std::optional<ShownRow> pressed = PressedRow(*event, made, ranBefore);
  if (!pressed || column < 0) {
    QTableWidget::mousePressEvent(event);
    return;
  }
  QPointer<ListView> alive(this);
  const std::shared_ptr<Window> window = Access::ImplOf(*list).window.lock();
  // The second press of a double click belongs to the first one, which has
  // asked for the activation already.
  const bool activates = window && event->type() != QEvent::MouseButtonDblClick;
  if (activates) Access::ActivateBeforeInput(*window);
  // The activation may have refilled the list with other rows (a rule file
  // added or removed meanwhile): the click goes to the row holding the
  // pressed file, wherever it now stands, and to none when it is gone.
  const int row = alive ? RowHolding(pressed->cells, rowAt(at.y())) : -1;
  const bool handled = row >= 0 && Run(static_cast<Listbox&>(*list), row, column, at, *pressed);
  if (activates) Access::InputHandled(*window);
  if (alive && !handled) SelectPressedRow(event, row, column);
}

int64_t ListView::MadeAt(const QMouseEvent& press) {
  const int64_t now = MonotonicMs();
  const auto stamp = static_cast<uint32_t>(press.timestamp());
  // The press counts among the events seen, also where it reaches the list
  // by another way than through its window.
  clock_.Observe(stamp, now);
  return clock_.MadeAt(stamp, now);
}

bool ListView::MadeDuringRun(int64_t made) const { return run_end_ && made < *run_end_; }

std::optional<ListView::ShownRow> ListView::PressedRow(
    const QMouseEvent& press, int64_t made, const std::optional<ShownRow>& ranBefore) const {
  const int y = static_cast<int>(press.position().y());
  if (press.type() == QEvent::MouseButtonDblClick && ranBefore) return ranBefore;
  if (shown_.empty()) {
    const int row = rowAt(y);
    if (row < 0) return std::nullopt;
    const int top = rowViewportPosition(row);
    return ShownRow{top, top + rowHeight(row) - 1, RowCells(row)};
  }
  const Shown* seen = &shown_.front();
  for (auto it = shown_.rbegin(); it != shown_.rend(); ++it) {
    if (it->since + kUnseenMs <= made) {
      seen = &*it;
      break;
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

bool ListView::Run(Listbox& list, int row, int column, QPoint at, const ShownRow& pressed) {
  QPointer<ListView> alive(this);
  const QRect cell = visualRect(model()->index(row, column));
  // The place in the cell as the user saw it; the second press of a double
  // click may stray a little off the row it goes to.
  const int y = std::clamp(at.y() - pressed.top, 0, pressed.bottom - pressed.top);
  const bool handled = Access::RaiseCellClick(list, row, column, at.x() - cell.x(), y);
  if (alive) {
    run_end_ = MonotonicMs();
    last_run_ = pressed;
  }
  return handled;
}

void ListView::SelectPressedRow(QMouseEvent* press, int row, int column) {
  const int underPointer = rowAt(press->position().toPoint().y());
  if (row < 0) {
    clearSelection();
    press->accept();
  } else if (row == underPointer) {
    QTableWidget::mousePressEvent(press);
  } else {
    // The pressed file now stands elsewhere: that row is the one selected.
    setCurrentIndex(model()->index(row, column));
    press->accept();
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
  shown_.push_back({MonotonicMs(), std::move(rows)});
}

}  // namespace rt::ui::detail
