#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "runtime/exceptions.h"
#include "runtime/ui/window.h"

namespace rt::ui {

// A row or column number outside the list.
class OutOfBoundsException : public RuntimeException {
 public:
  explicit OutOfBoundsException(const std::string& message) : RuntimeException(message) {}
  const char* ClassName() const override { return "OutOfBoundsException"; }
};

// A list of rows of text, one cell a row (column 0), rows counted from 0:
// one column without header or grid, a vertical scroll bar when the rows do
// not fit, one row selected at a time and none before the user presses one.
class Listbox : public Control {
 public:
  // Raised by the mouse press on a cell: the list, the row and column, and
  // the press's place in the cell. The row is the one holding the file that
  // the pressed row showed when the press was made (for the second press of
  // a double click, the file that the first one ran). True keeps the list
  // from its own handling of the press (selecting the row). A press made
  // while an earlier one's handler ran raises nothing.
  using CellClickHandler = std::function<bool(const std::shared_ptr<Listbox>& list, int64_t row,
                                              int64_t column, int64_t x, int64_t y)>;

  Listbox();
  ~Listbox() override;

  // The properties of every control (name, place and size, edge locks, tab
  // order, font size); each of the others takes only the value the list
  // always has.
  void SetProperties(const PropertySet& properties) override;

  void DeleteAllRows();
  // Appends a row: cell i of the row is cells[i]; missing cells are empty and
  // cells past the last column are dropped. The cells keep their bytes, also
  // where they are not valid UTF-8 (shown with replacement characters).
  void AddRow(const std::vector<std::string>& cells);
  // The cell's bytes as added. Raises OutOfBoundsException outside the rows
  // and columns.
  std::string Cell(int64_t row, int64_t column) const;

  void SetCellClickHandler(CellClickHandler handler);

 private:
  friend struct detail::Access;
  CellClickHandler cell_click_;
};

// A check box with a caption; checked or not.
class CheckBox : public Control {
 public:
  CheckBox();
  ~CheckBox() override;

  // The properties of every control, the caption, and the state: only
  // VisualState 1, checked.
  void SetProperties(const PropertySet& properties) override;

  bool Value() const;
  void Value(bool checked);
};

}  // namespace rt::ui
