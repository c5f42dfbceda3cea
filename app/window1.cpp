#include "app/window1.h"

#include "app/menubar1.h"
#include "engine/locators.h"
#include "engine/rule_run.h"
#include "engine/script_bridge.h"
#include "runtime/exceptions.h"

namespace app {
namespace {

using rt::ui::Property;
using rt::ui::PropertySet;

const PropertySet& WindowProperties() {
  static const PropertySet properties = {
      {"Width", int64_t{160}},
      {"Height", int64_t{160}},
      {"MinimumWidth", int64_t{64}},
      {"MinimumHeight", int64_t{64}},
      {"MaximumWidth", int64_t{400}},
      {"MaximumHeight", int64_t{600}},
      {"Type", int64_t{7}},
      {"Title", std::string("Sorvane")},
      {"HasCloseButton", true},
      {"HasMaximizeButton", false},
      {"HasMinimizeButton", true},
      {"HasFullScreenButton", false},
      {"Resizeable", true},
      {"Composite", false},
      {"MacProcID", int64_t{0}},
      {"FullScreen", false},
      {"DefaultLocation", int64_t{0}},
      {"Visible", true},
      {"HasBackgroundColor", false},
      {"BackgroundColor", rt::ui::Color{255, 255, 255}},
      {"MenuBarVisible", true},
      {"LiveResize", true},
  };
  return properties;
}

const PropertySet& Listbox1Properties() {
  static const PropertySet properties = {
      {"Name", std::string("Listbox1")},
      {"Index", int64_t{-2147483648}},
      {"Left", int64_t{6}},
      {"Top", int64_t{4}},
      {"Width", int64_t{148}},
      {"Height", int64_t{136}},
      {"LockLeft", true},
      {"LockTop", true},
      {"LockRight", true},
      {"LockBottom", true},
      {"TabIndex", int64_t{2}},
      {"TabPanelIndex", int64_t{0}},
      {"TabStop", true},
      {"ScrollOffset", int64_t{0}},
      {"ScrollWidth", int64_t{-1}},
      {"AllowAutoDeactivate", true},
      {"HasBorder", true},
      {"ColumnCount", int64_t{1}},
      {"ColumnWidths", std::string()},
      {"DefaultRowHeight", int64_t{-1}},
      {"Enabled", true},
      {"GridLinesHorizontalStyle", int64_t{0}},
      {"GridLinesVerticalStyle", int64_t{0}},
      {"HasHeader", false},
      {"HeadingIndex", int64_t{-1}},
      {"Tooltip", std::string()},
      {"InitialValue", std::string()},
      {"HasHorizontalScrollbar", false},
      {"HasVerticalScrollbar", true},
      {"DropIndicatorVisible", false},
      {"Transparent", false},
      {"AllowFocusRing", true},
      {"Visible", true},
      {"Bold", false},
      {"Italic", false},
      {"FontName", std::string("System")},
      {"FontSize", 0.0},
      {"FontUnit", int64_t{0}},
      {"Underline", false},
      {"AllowAutoHideScrollbars", true},
      {"AllowResizableColumns", false},
      {"AllowRowDragging", false},
      {"AllowRowReordering", false},
      {"AllowExpandableRows", false},
      {"RequiresSelection", false},
      {"RowSelectionType", int64_t{0}},
      {"DataSource", std::string()},
      {"DataField", std::string()},
      {"InitialParent", std::string()},
  };
  return properties;
}

const PropertySet& CB1Properties() {
  static const PropertySet properties = {
      {"Name", std::string("CB1")},
      {"Index", int64_t{-2147483648}},
      {"Left", int64_t{5}},
      {"Top", int64_t{138}},
      {"Width", int64_t{149}},
      {"Height", int64_t{20}},
      {"LockLeft", true},
      {"LockTop", false},
      {"LockRight", false},
      {"LockBottom", true},
      {"TabIndex", int64_t{3}},
      {"TabPanelIndex", int64_t{0}},
      {"TabStop", true},
      {"AllowAutoDeactivate", true},
      {"Caption", std::string("clearing overrides")},
      {"Enabled", true},
      {"Tooltip", std::string()},
      {"Transparent", false},
      {"Visible", true},
      {"Bold", false},
      {"Italic", false},
      {"FontName", std::string("System")},
      {"FontSize", 10.0},
      {"FontUnit", int64_t{0}},
      {"Underline", false},
      {"VisualState", int64_t{1}},
      {"DataField", std::string()},
      {"DataSource", std::string()},
      {"InitialParent", std::string()},
  };
  return properties;
}

}  // namespace

Window1::Window1() : rt::ui::Window(kFullClassName) {
  SetEventHandler(rt::ui::WindowEvent::Activate, [this] { Event_Activate(); });
  SetEventHandler(rt::ui::WindowEvent::Close, [this] { Event_Close(); });
  SetEventHandler(rt::ui::WindowEvent::CreateControls, [this] { CreateControls(); });
  SetEventHandler(rt::ui::WindowEvent::Layout, [this] { Layout(); });
  SetEventHandler(rt::ui::WindowEvent::Open, [this] { Event_Open(); });
}

std::shared_ptr<Window1> Window1::Instance() {
  if (std::shared_ptr<rt::ui::Window> open = rt::ui::GetImplicitWindow(kFullClassName)) {
    return rt::CastTo<Window1>(open, "Window1");
  }
  auto window = std::make_shared<Window1>();
  window->Constructor();
  return window;
}

void Window1::Layout() {
  MenuBar(MenuBar1::Instance());
  SetProperties(WindowProperties());
}

void Window1::CreateControls() { CreateControls0(); }

void Window1::CreateControls0() {
  AddControl("Listbox1", std::make_shared<rt::ui::Listbox>());
  rt::NotNil(Listbox1(), "Listbox1").SetProperties(Listbox1Properties());
  // The handler holds the window weakly: the window owns the list, and the
  // list must not keep its window alive.
  rt::NotNil(Listbox1(), "Listbox1")
      .SetCellClickHandler([window = weak_from_this()](const std::shared_ptr<rt::ui::Listbox>& list,
                                                       int64_t row, int64_t column, int64_t x,
                                                       int64_t y) {
        const std::shared_ptr<rt::ui::Window> self = window.lock();
        if (!self) return false;
        return std::static_pointer_cast<Window1>(self)->Listbox1_CellClick(list, row, column, x, y);
      });
  AddControl("CB1", std::make_shared<rt::ui::CheckBox>());
  rt::NotNil(CB1(), "CB1").SetProperties(CB1Properties());
}

std::shared_ptr<rt::ui::Listbox> Window1::Listbox1() const {
  return rt::CastTo<rt::ui::Listbox>(ControlByName("Listbox1"), "Listbox");
}

std::shared_ptr<rt::ui::CheckBox> Window1::CB1() const {
  return rt::CastTo<rt::ui::CheckBox>(ControlByName("CB1"), "CheckBox");
}

void Window1::AI_ACCTIVE() { engine::AI_ACCTIVE(); }

std::string Window1::getRegPos(const std::string& text, const std::string& pattern) {
  return engine::getRegPos(text, pattern);
}

void Window1::applyChaStyle(const std::string& positionList, const std::string& styleName,
                            const std::string& idA, const std::string& idB) {
  engine::applyChaStyle(positionList, styleName, idA, idB);
}

void Window1::MainScpt(const std::string& fileName) { engine::MainScpt(fileName); }

std::string Window1::getRegParaPos(const std::string& text, const std::string& pattern) {
  return engine::getRegParaPos(text, pattern);
}

void Window1::applyParaStyle(const std::string& paragraphList, const std::string& styleName,
                             const std::string& idA, const std::string& idB) {
  engine::applyParaStyle(paragraphList, styleName, idA, idB);
}

}  // namespace app
