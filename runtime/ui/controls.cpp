#include "runtime/ui/controls.h"

#include <QCheckBox>

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

void ReleaseWidget(Control::Impl& impl) {
  // A control on a window goes with the window's widget; one never placed
  // is deleted by itself.
  if (impl.widget && impl.widget->parent() == nullptr) impl.widget->deleteLater();
}

// What the list always is (see Listbox and ListView).
const std::vector<detail::FixedValue>& FixedListValues() {
  static const std::vector<detail::FixedValue> fixed = {
      // Its content starts unscrolled, at the width its column takes.
      {"ScrollOffset", int64_t{0}},
      {"ScrollWidth", int64_t{-1}},
      {"HasBorder", true},
      {"ColumnCount", int64_t{1}},
      {"ColumnWidths", std::string()},
      // The natural height of a row in the list's font.
      {"DefaultRowHeight", int64_t{-1}},
      {"GridLinesHorizontalStyle", int64_t{0}},
      {"GridLinesVerticalStyle", int64_t{0}},
      {"HasHeader", false},
      // No column sorts the rows; they stay in the order they were added.
      {"HeadingIndex", int64_t{-1}},
      {"InitialValue", std::string()},
      {"HasHorizontalScrollbar", false},
      {"HasVerticalScrollbar", true},
      {"AllowAutoHideScrollbars", true},
      {"DropIndicatorVisible", false},
      {"AllowResizableColumns", false},
      {"AllowRowDragging", false},
      {"AllowRowReordering", false},
      {"AllowExpandableRows", false},
      {"RequiresSelection", false},
      // One row at a time.
      {"RowSelectionType", int64_t{0}},
  };
  return fixed;
}

// The control's widget, read on the UI thread; raises when it is gone.
const QWidget& LiveWidget(const Control::Impl& control) {
  detail::RequireUiThread();
  return NotNil(control.widget.data(), "control");
}

}  // namespace

Control::Control() : impl_(std::make_unique<Impl>()) { detail::RequireUiThread(); }

Control::~Control() = default;

Control::Impl& Control::impl() const { return *impl_; }

const std::string& Control::Name() const { return impl_->name; }

int64_t Control::Left() const { return LiveWidget(*impl_).x(); }

int64_t Control::Top() const { return LiveWidget(*impl_).y(); }

int64_t Control::Width() const { return LiveWidget(*impl_).width(); }

int64_t Control::Height() const { return LiveWidget(*impl_).height(); }

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
    if (!detail::CheckFixed(kListbox, p, FixedListValues()) &&
        !detail::ApplyControlProperty(kListbox, impl(), font, p)) {
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
  ViewOf(impl()).AddRow(cells);
}

std::string Listbox::Cell(int64_t row, int64_t column) const {
  detail::RequireUiThread();
  const detail::ListView& view = ViewOf(impl());
  if (row < 0 || row >= view.rowCount()) {
    throw OutOfBoundsException("row " + Str(row) + " is not in the list");
  }
  if (column < 0 || column >= view.columnCount()) {
    throw OutOfBoundsException("column " + Str(column) + " is not in the list");
  }
  return view.RowCells(static_cast<int>(row)).value(static_cast<int>(column)).toStdString();
}

void Listbox::SetCellClickHandler(CellClickHandler handler) { cell_click_ = std::move(handler); }

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
      // 1: checked. The box has no mixed state.
      if (detail::AsInteger(kCheckBox, p) != 1) detail::UnsupportedValue(kCheckBox, p);
      box.setChecked(true);
    } else if (!detail::ApplyControlProperty(kCheckBox, impl(), font, p)) {
      detail::UnknownProperty(kCheckBox, p);
    }
  });
}

bool CheckBox::Value() const {
  detail::RequireUiThread();
  return BoxOf(impl()).isChecked();
}

void CheckBox::Value(bool checked) {
  detail::RequireUiThread();
  BoxOf(impl()).setChecked(checked);
}

namespace detail {

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

}  // namespace detail
}  // namespace rt::ui
