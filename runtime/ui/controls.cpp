#include "runtime/ui/controls.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>

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

void AddRowTo(detail::ListView& view, const std::vector<std::string>& cells) {
  const int row = view.rowCount();
  view.insertRow(row);
  for (int column = 0; column < view.columnCount(); ++column) {
    const size_t i = static_cast<size_t>(column);
    auto* item = new QTableWidgetItem(i < cells.size() ? detail::ToQt(cells[i]) : QString());
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
  const QTableWidgetItem* item = view.item(static_cast<int>(row), static_cast<int>(column));
  return item != nullptr ? detail::FromQt(item->text()) : std::string();
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
  const QPoint at = view.visualRect(index).center();
  const QPoint global = view.viewport()->mapToGlobal(at);
  QPointer<QWidget> viewport = view.viewport();
  QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QCoreApplication::sendEvent(viewport, &press);
  if (!viewport) return;
  QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
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
  std::shared_ptr<Control> list = owner != nullptr ? owner->weak_from_this().lock() : nullptr;
  const QModelIndex index = indexAt(event->position().toPoint());
  if (!list || event->button() != Qt::LeftButton || !index.isValid()) {
    QTableWidget::mousePressEvent(event);
    return;
  }
  // Row, column and place are those under the press, taken before anything
  // the window's activation does to the rows.
  const QRect cell = visualRect(index);
  const QPoint at = event->position().toPoint();
  int row = index.row();
  const int column = index.column();
  const QStringList pressed = RowTexts(row);
  QPointer<ListView> alive(this);
  if (std::shared_ptr<Window> window = Access::ImplOf(*list).window.lock()) {
    Access::ActivateBeforeInput(*window);
  }
  if (!alive) return;
  // The activation may have refilled the list with other rows (a rule file
  // added or removed meanwhile): the click goes to the row the user pressed,
  // wherever it now stands, and to none when it is gone.
  if (RowTexts(row) != pressed) {
    row = -1;
    for (int r = 0; r < rowCount(); ++r) {
      if (RowTexts(r) == pressed) {
        row = r;
        break;
      }
    }
  }
  bool handled = false;
  if (row >= 0 && column < columnCount()) {
    handled = Access::RaiseCellClick(static_cast<Listbox&>(*list), row, column, at.x() - cell.x(),
                                     at.y() - cell.y());
  }
  if (alive && !handled) QTableWidget::mousePressEvent(event);
}

QStringList ListView::RowTexts(int row) const {
  QStringList texts;
  if (row < 0 || row >= rowCount()) return texts;
  for (int c = 0; c < columnCount(); ++c) {
    const QTableWidgetItem* cellItem = item(row, c);
    texts.append(cellItem != nullptr ? cellItem->text() : QString());
  }
  return texts;
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
