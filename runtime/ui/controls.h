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

// A list of rows of text cells, rows and columns counted from 0.
class Listbox : public Control {
 public:
  // Raised by the mouse press on a cell: the list, the row and column, and
  // the press's place in the cell. True keeps the list from its own handling
  // of the press (selecting the row).
  using CellClickHandler = std::function<bool(const std::shared_ptr<Listbox>& list, int64_t row,
                                              int64_t column, int64_t x, int64_t y)>;

  Listbox();
  ~Listbox() override;

  void SetProperties(const PropertySet& properties) override;

  void DeleteAllRows();
  // Appends a row: cell i of the row is cells[i]; missing cells are empty and
  // cells past the last column are dropped.
  void AddRow(const std::vector<std::string>& cells);
  // Raises OutOfBoundsException outside the rows and columns.
  std::string Cell(int64_t row, int64_t column) const;
  int64_t RowCount() const;
  int64_t ColumnCount() const;
  // The selected row, or -1.
  int64_t SelectedRow() const;

  void SetCellClickHandler(CellClickHandler handler);

  // Presses and releases the mouse on the cell as a user does, through the
  // same events. The list must be shown; raises OutOfBoundsException outside
  // the rows and columns.
  void ClickCell(int64_t row, int64_t column);

 private:
  friend struct detail::Access;
  CellClickHandler cell_click_;
};

// A check box with a caption.
class CheckBox : public Control {
 public:
  CheckBox();
  ~CheckBox() override;

  void SetProperties(const PropertySet& properties) override;

  // Checked. Setting it leaves no mixed state.
  bool Value() const;
  void Value(bool checked);
  std::string Caption() const;
  void Caption(const std::string& caption);
};

}  // namespace rt::ui
