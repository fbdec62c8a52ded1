// The field editor: __GET and READMODAL over a list of fields.  A field is
// bound to a variable of the caller (a text, a number or a date) by
// reference or through a getter and a setter; WHEN and VALID are callables.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "runtime/console/console.h"
#include "runtime/console/picture.h"
#include "runtime/text/value.h"

namespace rt::con {

enum class FieldType { Text, Number, Date };

class Get {
 public:
  using Getter = std::function<Value()>;
  using Setter = std::function<void(const Value&)>;

  static Get text(int row, int col, std::string& var, std::string picture = {});
  static Get number(int row, int col, double& var, std::string picture = {});
  static Get date(int row, int col, text::Date& var, std::string picture = {});
  // A field over any storage (a run-time variable, a record field...).
  static Get bound(int row, int col, FieldType type, Getter get, Setter set, std::string picture = {});

  // VALID: runs when the field is left (except by Esc), after the typed
  // value has been assigned; false keeps the cursor in the field.
  Get& valid(std::function<bool()> fn) { valid_ = std::move(fn); return *this; }
  // WHEN: the field is entered only while it holds.
  Get& when(std::function<bool()> fn) { when_ = std::move(fn); return *this; }
  Get& name(std::string n) { name_ = std::move(n); return *this; }

  int row() const { return row_; }
  int col() const { return col_; }
  FieldType type() const { return type_; }
  const std::string& name() const { return name_; }
  Value value() const { return get_(); }
  // The text the field shows for its variable's value.
  std::string display_text(const Console& con) const;
  // Width of the field on the screen.
  int screen_width(const Console& con) const;

 private:
  friend class Form;
  friend class FieldEditor;
  Get(int row, int col, FieldType type, Getter get, Setter set, std::string picture);

  int row_, col_;
  FieldType type_;
  Getter get_;
  Setter set_;
  std::string picture_text_;
  Picture picture_;
  std::function<bool()> valid_;
  std::function<bool()> when_;
  std::string name_;
};

// GETLIST: the fields of one form.
class Form {
 public:
  std::vector<Get>& gets() { return gets_; }
  std::size_t size() const { return gets_.size(); }
  Get& operator[](std::size_t i) { return gets_[i]; }
  // __GET: shows the field (in the unselected colour) and adds it.
  Get& add(Console& con, Get g);
  void clear() { gets_.clear(); }
  // The field being edited (-1 when the form is not being read).
  int current() const { return current_; }

  // READMODAL: edits the fields until the form is left.  Returns false when
  // it was left with Esc (LASTKEY() is then 27).
  bool read(Console& con);

 private:
  friend class FieldEditor;
  std::vector<Get> gets_;
  int current_ = -1;
};

// Shows a field's value in the unselected colour.
void show_field(Console& con, const Get& g);

}  // namespace rt::con
