#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "runtime/folder_item.h"
#include "runtime/ui/controls.h"
#include "runtime/ui/window.h"

namespace app {

// The main window: the list of rule files ("Listbox1") above the "clearing
// overrides" check box ("CB1"). One instance at a time, reached by Instance.
class Window1 : public rt::ui::Window {
 public:
  static constexpr const char* kFullClassName = "Window1.Window1";

  // Binds the window's handler table; Instance makes and opens the window.
  Window1();

  // The open main window; when none is open, a new one, made and opened.
  // From the start of its opening until its Close handler has returned, every
  // call yields that same window, also from inside its own handlers.
  static std::shared_ptr<Window1> Instance();

  // Layout event: the shared menu bar, then the window's properties.
  void Layout();
  // CreateControls event.
  void CreateControls();
  // Makes the list and the check box, each added before its properties are
  // applied, and binds the list's click between the two.
  void CreateControls0();

  // The control "Listbox1" as a list; null when there is none, and
  // IllegalCastException when it is not a list.
  std::shared_ptr<rt::ui::Listbox> Listbox1() const;
  // The control "CB1" as a check box, likewise.
  std::shared_ptr<rt::ui::CheckBox> CB1() const;

  // The list's CellClick: the list, the clicked row and column, the place of
  // the click in the cell. Returns whether the list skips its own handling.
  bool Listbox1_CellClick(const std::shared_ptr<rt::ui::Listbox>& list, int64_t row, int64_t column,
                          int64_t x, int64_t y);
  void Event_Open();
  void Event_Close();
  void Event_Activate();

  // The style engine's operations. They use nothing of the window; the
  // check box reaches the style requests through the main window instead.
  void AI_ACCTIVE();
  std::string getRegPos(const std::string& text, const std::string& pattern);
  void applyChaStyle(const std::string& positionList, const std::string& styleName,
                     const std::string& idA, const std::string& idB);
  void MainScpt(const std::string& fileName);
  std::string getRegParaPos(const std::string& text, const std::string& pattern);
  void applyParaStyle(const std::string& paragraphList, const std::string& styleName,
                      const std::string& idA, const std::string& idB);

 private:
  // The preferences file, set by Event_Open and written by Event_Close.
  std::shared_ptr<rt::FolderItem> gMyPref;
};

}  // namespace app
