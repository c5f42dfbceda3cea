#include <time.h>

#include <QFocusEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <QStyle>
#include <algorithm>

#include "runtime/ui/internal.h"

namespace rt::ui::detail {
namespace {

// The role under which a cell keeps the program's own bytes: a rule file's
// name need not be valid UTF-8, and its text must come back unchanged.
constexpr int kCellBytesRole = Qt::UserRole;

}  // namespace

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
  if (event->timestamp() != 0) {
    // Rounded down, so that a press made just after the end is never taken
    // for one made during the click.
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - dispatched);
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

}  // namespace rt::ui::detail
