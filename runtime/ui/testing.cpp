#include "runtime/ui/testing.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <chrono>
#include <thread>

#include "runtime/text.h"
#include "runtime/ui/internal.h"

namespace rt::ui::testing {
namespace {

detail::ListView& ViewOf(const Listbox& list) {
  return static_cast<detail::ListView&>(
      NotNil(detail::Access::ImplOf(list).widget.data(), "list"));
}

}  // namespace

void ClickCell(Listbox& list, int64_t row, int64_t column) {
  detail::RequireUiThread();
  detail::ListView& view = ViewOf(list);
  if (row < 0 || row >= view.rowCount() || column < 0 || column >= view.columnCount()) {
    throw OutOfBoundsException("cell " + Str(row) + ", " + Str(column) + " is not in the list");
  }
  if (!view.isVisible()) throw RuntimeException("the list is not shown");
  const QModelIndex index = view.model()->index(static_cast<int>(row), static_cast<int>(column));
  view.scrollTo(index);
  // The user presses what is on the screen: the rows as they stand now,
  // drawn long enough before the press to have been seen.
  view.viewport()->repaint();
  std::this_thread::sleep_for(std::chrono::milliseconds(detail::ListView::kUnseenMs + 1));
  const QPoint at = view.visualRect(index).center();
  const QPoint global = view.viewport()->mapToGlobal(at);
  QPointer<QWidget> viewport = view.viewport();
  QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  press.setTimestamp(static_cast<quint64>(detail::MonotonicMs()));
  QCoreApplication::sendEvent(viewport, &press);
  if (!viewport) return;
  QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  release.setTimestamp(static_cast<quint64>(detail::MonotonicMs()));
  QCoreApplication::sendEvent(viewport, &release);
}

int64_t SelectedRow(const Listbox& list) {
  detail::RequireUiThread();
  const QModelIndexList rows = ViewOf(list).selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.front().row();
}

int64_t RowCount(const Listbox& list) {
  detail::RequireUiThread();
  return ViewOf(list).rowCount();
}

}  // namespace rt::ui::testing
