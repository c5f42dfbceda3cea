#pragma once

// The Qt side of the window layer, shared by its sources and seen nowhere
// else.

#include <QByteArray>
#include <QFont>
#include <QList>
#include <QMenuBar>
#include <QPointer>
#include <QString>
#include <QTableWidget>
#include <QWidget>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "runtime/ui/controls.h"
#include "runtime/ui/menu.h"
#include "runtime/ui/properties.h"
#include "runtime/ui/window.h"

namespace rt::ui {

struct Control::Impl {
  QPointer<QWidget> widget;
  std::string name;
  std::weak_ptr<rt::ui::Window> window;
  // The design rectangle and the distances to the right and bottom edges of
  // the content area when it was set; the locks decide which of them hold.
  int64_t left = 0, top = 0, width = 0, height = 0;
  int64_t right_margin = 0, bottom_margin = 0;
  bool lock_left = true, lock_top = true, lock_right = false, lock_bottom = false;
  int64_t tab_index = 0;
};

namespace detail {

// Raises ThreadAccessingUIException off the thread of Qt's application
// object, and RuntimeException when there is no such object yet.
void RequireUiThread();
bool OnUiThread();

// Runs a handler of the program inside the layer's exception boundary: what
// it raises goes to UnhandledException, never into Qt. True when the handler
// returned normally.
bool Guard(const std::function<void()>& handler) noexcept;

QString ToQt(const std::string& text);
std::string FromQt(const QString& text);

// Typed reading of property values; a value of another type raises
// IllegalCastException naming the class and the property.
int64_t AsInteger(const char* className, const Property& property);
bool AsBool(const char* className, const Property& property);
double AsNumber(const char* className, const Property& property);
const std::string& AsText(const char* className, const Property& property);
[[noreturn]] void UnknownProperty(const char* className, const Property& property);
[[noreturn]] void UnsupportedValue(const char* className, const Property& property);

// A property that the layer carries out in one way only: its value is the
// one the layer's widgets always have.
struct FixedValue {
  const char* name;
  PropertyValue value;
};
// Whether `property` is one of `fixed`; raises when its value is another
// than the one the layer carries out (IllegalCastException for another type).
bool CheckFixed(const char* className, const Property& property,
                const std::vector<FixedValue>& fixed);

// Applies one of the properties every control has; false for a name that is
// not one of them. Geometry and font wait for CommitControlProperties.
bool ApplyControlProperty(const char* className, Control::Impl& impl, QFont& font,
                          const Property& property);
// Calls `apply` for each property, then sets the font, takes the distances
// to the content area's edges from the new rectangle, places the control and
// orders the tab chain. A property that raises ends the batch, and what was
// set before it is carried out all the same.
void ApplyInBatch(Control& control, QFont& font, const PropertySet& properties,
                  const std::function<void(const Property&)>& apply);

// Builds the Qt menu bar for a menu tree. Raises RuntimeException for a
// shortcut that names no key.
QMenuBar* BuildMenuBar(const MenuBar& menuBar, QWidget* parent);

// Windows open, oldest first.
std::vector<std::shared_ptr<Window>> OpenWindows();
// Drops every window without raising events (finalisers).
void DiscardOpenWindows();

// Reaches the private parts of the public classes.
struct Access {
  static Control::Impl& ImplOf(const Control& control) { return *control.impl_; }
  static bool RaiseCellClick(Listbox& list, int64_t row, int64_t column, int64_t x, int64_t y);
  // Before a mouse press reaches a control of an inactive window: raises the
  // window's Activate first, as the platform would once it has activated it.
  static void ActivateBeforeInput(Window& window);
  static void PlaceControl(Window& window, Control& control);
  static void UpdateTabOrder(Window& window);
  static void HandleClose(Window& window);
  static void HandleActivation(Window& window, bool active);
  static void LayoutContent(Window& window);
  static void Discard(Window& window);
};

// The top-level widget of a Window: the menu bar, where it sits inside the
// window, above the content area that holds the controls.
class WindowWidget : public QWidget {
 public:
  WindowWidget();
  // Cleared by the window's destructor; events reach the window only while
  // a shared reference to it can still be taken.
  Window* owner = nullptr;
  QWidget* content;
  QPointer<QMenuBar> menu_bar;

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
};

// The time of the window system's input events: whole milliseconds of the
// clock it stamps them with where it runs on this machine (the monotonic
// clock on Linux, the uptime on macOS), wrapping at 32 bits.
uint32_t EventClockNow();

// The widget of a Listbox: one column of rows without header or grid, one
// row selected at a time. Raises CellClick from the mouse press, for the row
// the user saw under the pointer when pressing: the list as it was drawn
// then, which a refill on activation (arriving before or after the press)
// may have changed since.
class ListView : public QTableWidget {
 public:
  ListView();
  Listbox* owner = nullptr;  // cleared by the list's destructor
  // Appends a row holding the program's own bytes; the row shows them as
  // UTF-8, with replacement characters where they are not.
  void AddRow(const std::vector<std::string>& cells);
  // The cells of a row as the program gave them; empty outside the rows.
  QList<QByteArray> RowCells(int row) const;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  // The second press of a double click is a press like any other.
  void mouseDoubleClickEvent(QMouseEvent* event) override { mousePressEvent(event); }
  void paintEvent(QPaintEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // A row as drawn: its band in the viewport and its cells.
  struct ShownRow {
    int top;
    int bottom;
    QList<QByteArray> cells;
    bool operator==(const ShownRow&) const = default;
  };
  // The rows the list showed from a time on (event clock).
  struct Shown {
    uint32_t since;
    std::vector<ShownRow> rows;
  };
  // Rows as high as the list's font and the platform's lists make them.
  void UseNaturalRowHeight();
  // The row drawn at viewport height y when a press stamped `timestamp` was
  // made; the current rows when the list has not been drawn yet. None below
  // the last row.
  std::optional<ShownRow> ShownRowAt(int y, quint64 timestamp) const;
  // The row that now holds `cells`: `preferred` when it does, else the first
  // that does; -1 when none does.
  int RowHolding(const QList<QByteArray>& cells, int preferred) const;
  // Whether a press with this time stamp was made before the last click's
  // handler had returned: the window system holds such presses back and
  // delivers them afterwards.
  bool MadeDuringClick(quint64 timestamp) const;

  // What the list showed lately, oldest first.
  std::vector<Shown> shown_;
  // The end of the last click's handler, on the clock of the press time
  // stamps; valid while has_click_end_.
  bool has_click_end_ = false;
  uint32_t click_end_ = 0;
  std::chrono::steady_clock::time_point click_end_seen_;
};

}  // namespace detail
}  // namespace rt::ui
