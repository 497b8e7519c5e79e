#pragma once
// What the window would show, kept without a window: the same fields, the same refresh marks and
// the same end-of-cycle sweep, so the headless monitor prints "(n/a)" exactly where the window
// would.

#include <map>
#include <string>
#include <utility>

#include "parser/field_table.h"

namespace cli {

class DisplayModel {
 public:
  DisplayModel();

  // One accepted value (field code, cell index, Windows-1251 text); fields the window does not
  // show are ignored.
  void Show(int fieldCode, int cellIndex, const std::string& text);
  // The window's sweep over the same fields (parser/field_table.h).
  void Mark(bool withIdentity, parser::SweepPass pass);
  // The text on show for a field and cell ("(n/a)" before any value arrived).
  std::string Text(int fieldCode, int cellIndex) const;

 private:
  struct Field {
    std::string text;
    bool fresh = false;
  };
  std::map<std::pair<int, int>, Field> fields_;
};

}  // namespace cli
