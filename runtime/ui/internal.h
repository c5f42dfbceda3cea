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
#include <QWindow>
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
// shortcut that is not "Cmd+" and a capital letter.
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
  // window's Activate first, as the platform would once it has activated it,
  // and asks the platform to activate it.
  static void ActivateBeforeInput(Window& window);
  // After that press has been handled: the platform's activation that
  // answers the request raises nothing more when it comes within moments;
  // a later one raises Activate as any activation does.
  static void InputHandled(Window& window);
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

// This machine's monotonic clock, in whole milliseconds.
int64_t MonotonicMs();

// When the window system's input events were made, on this machine's
// monotonic clock. The window system stamps each event with the time of its
// own clock, in whole milliseconds that wrap at 32 bits. That clock need not
// be this machine's: a remote display's runs from another origin. The
// offset between the two is learned from the events themselves: an event
// arrives some time after it was made, never before, so the smallest gap
// between an event's arrival and its stamp, over the events seen, is the
// offset plus the quickest delivery. A gap counts for a millisecond more for
// each second since it was seen, so that clocks drifting apart are followed.
class EventClock {
 public:
  // An event stamped `stamp` arrived at `arrival`. A stamp of 0 is none.
  void Observe(uint32_t stamp, int64_t arrival);
  // When the event stamped `stamp` was made, as far as the events seen up to
  // `now` tell, and never after `now`: `now` itself for a stamp of 0 or
  // before any event has been seen.
  int64_t MadeAt(uint32_t stamp, int64_t now) const;

 private:
  uint32_t GapAt(int64_t time) const;

  bool known_ = false;
  uint32_t gap_ = 0;      // arrival less stamp, modulo 2^32
  int64_t gap_seen_ = 0;  // the arrival it was taken at
};

// The widget of a Listbox: one column of rows without header or grid, one
// row selected at a time. Raises CellClick from the mouse press, for the row
// the user saw under the pointer when pressing: the list as it was drawn
// then, which a refill on activation (arriving before or after the press)
// may have changed since. The second press of a double click goes to the
// file that the first one ran.
class ListView : public QTableWidget {
 public:
  ListView();
  Listbox* owner = nullptr;  // cleared by the list's destructor
  // Appends a row holding the program's own bytes; the row shows them as
  // UTF-8, with replacement characters where they are not.
  void AddRow(const std::vector<std::string>& cells);
  // The cells of a row as the program gave them; empty outside the rows.
  QList<QByteArray> RowCells(int row) const;

  // Rows drawn less than this many milliseconds before a press were not yet
  // what the user saw: the screen shows a drawing at its next refresh, and
  // the user takes longer still to answer it.
  static constexpr int64_t kUnseenMs = 20;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override { mousePressEvent(event); }
  void paintEvent(QPaintEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // A row as drawn: its band in the viewport and its cells.
  struct ShownRow {
    int top;
    int bottom;
    QList<QByteArray> cells;
    bool operator==(const ShownRow&) const = default;
  };
  // The rows the list showed from a time on (MonotonicMs).
  struct Shown {
    int64_t since;
    std::vector<ShownRow> rows;
  };
  // Rows as high as the list's font and the platform's lists make them.
  void UseNaturalRowHeight();
  // Learns the event clock from every input event of the list's window,
  // also those that reach no control.
  void WatchWindowInput();

  // The steps of a press, in the order mousePressEvent takes them.

  // When the press was made, on this machine's clock; the clock learns from
  // the press first.
  int64_t MadeAt(const QMouseEvent& press);
  // Whether a press made then was made before the last run had ended: the
  // window system holds such presses back and delivers them afterwards.
  bool MadeDuringRun(int64_t made) const;
  // The row the press went to: for the second press of a double click, the
  // one the first press ran (`ranBefore`, when it ran one); else the row
  // drawn at viewport height y when the press was made, in the drawing
  // before it or, for a press older than every drawing kept, the oldest
  // one; the current rows when the list has not been drawn yet. None below
  // the last row.
  std::optional<ShownRow> PressedRow(const QMouseEvent& press, int64_t made,
                                     const std::optional<ShownRow>& ranBefore) const;
  // The row that now holds `cells`: `preferred` when it does, else the first
  // that does; -1 when none does.
  int RowHolding(const QList<QByteArray>& cells, int preferred) const;
  // Raises CellClick for `row`, which holds the cells of `pressed`, and
  // notes when the run ended and what it ran; the handler's result.
  bool Run(Listbox& list, int row, int column, QPoint at, const ShownRow& pressed);
  // The list's own handling of the press, unless the handler kept it from
  // it: the row that holds the pressed file is the one selected, none when
  // it is gone.
  void SelectPressedRow(QMouseEvent* press, int row, int column);

  EventClock clock_;
  // The window whose input events the clock learns from.
  QPointer<QWindow> watched_;
  // What the list showed lately, oldest first.
  std::vector<Shown> shown_;
  // When the last run ended, its CellClick handler returned (MonotonicMs);
  // none before the first.
  std::optional<int64_t> run_end_;
  // The row that the last press ran, as it was drawn; none when that press
  // ran nothing.
  std::optional<ShownRow> last_run_;
};

}  // namespace detail
}  // namespace rt::ui
