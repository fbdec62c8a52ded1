// Typed access to a table of the suite open in a work area.  A view resolves
// the positions of its table's fields (layouts.h) once, when it is made, and
// then reads and writes by position: the station names fields by the
// enumeration of its table type (`line.get(SaleLine::CANTID)`), so a
// misspelt field does not compile, and no read looks a name up.
//
// The area of a table is found by the table type as well
// (`layout::select<CheckLine>(areas)`): a table of the suite is open under
// its layout's name (tools::open_checked).  Make a view once per routine,
// not per record: making one costs a look at each field of the table.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "data/layouts.h"
#include "runtime/text/value.h"
#include "runtime/workarea/orders.h"
#include "runtime/workarea/workareas.h"

namespace layout {

template <class T>
class View {
 public:
  using Field = typename T::Field;
  using Values = std::vector<std::pair<Field, rt::Value>>;

  // Resolves every field of T in the area's table.  A table without one of
  // them is refused (rt::wa::WorkAreaError); a table opened with
  // tools::open_checked always has them.
  explicit View(rt::wa::Area& area) : area_(&area) {
    // The positions found last for this table type are kept with the schema
    // they were found in: while that schema lives, the same table layout
    // needs no look at its fields (a routine of the check makes a view of
    // the check table for every key).
    thread_local std::weak_ptr<const rt::table::Schema> last_schema;
    thread_local std::array<int, T::kFieldCount> last_pos{};
    const auto& schema = area.table().schema_ptr();
    if (const auto known = last_schema.lock(); known && known == schema) {
      pos_ = last_pos;
      return;
    }
    const auto& have = schema->fields;
    const auto& want = T::layout().fields;
    for (std::size_t i = 0; i < pos_.size(); ++i) {
      // Our own tables hold the fields in the layout's order: one comparison.
      const bool in_place = i < have.size() && same_field_name(have[i].name, want[i].name);
      pos_[i] = in_place ? static_cast<int>(i) + 1 : area.field_pos(want[i].name);
      if (pos_[i] == 0)
        throw rt::wa::WorkAreaError(rt::wa::WorkAreaError::Kind::NoField, std::string("table ") + T::layout().name + " has no field " + want[i].name);
    }
    last_schema = schema;
    last_pos = pos_;
  }

  rt::wa::Area& area() const { return *area_; }
  rt::wa::Area* operator->() const { return area_; }

  rt::Value get(Field f) const { return area_->field_get(pos_[f]); }
  std::string text(Field f) const { return get(f).text(); }
  double number(Field f) const { return get(f).number(); }
  // The first character of a one-letter flag, ' ' when empty.
  char flag(Field f) const {
    const std::string t = text(f);
    return t.empty() ? ' ' : t[0];
  }
  void put(Field f, const rt::Value& v) const { area_->field_put(pos_[f], v); }
  // Several fields as one write (Area::put_fields), and a whole-record append.
  void put_fields(const Values& values) const { area_->put_fields_at(placed(values)); }
  bool append(const Values& values) const { return area_->append_at(placed(values)); }

  // The field's 0-based index in a record of this area (rt::table::Record).
  int index(Field f) const { return pos_[f] - 1; }
  static const char* name(Field f) { return T::layout().fields[static_cast<std::size_t>(f)].name; }
  std::vector<std::pair<int, rt::Value>> placed(const Values& values) const {
    std::vector<std::pair<int, rt::Value>> out;
    out.reserve(values.size());
    for (const auto& [f, v] : values) out.emplace_back(pos_[f], v);
    return out;
  }

 private:
  rt::wa::Area* area_;
  std::array<int, T::kFieldCount> pos_{};
};

// The area the table of type T is open in: 0 when it is not open.
template <class T>
int area_of(const rt::wa::WorkAreas& areas) {
  return areas.select(T::layout().name);
}
// A view of T's area (the current area is not changed); WorkAreaError when
// T is not open.
template <class T>
View<T> view(rt::wa::WorkAreas& areas) {
  return View<T>(areas.area(T::layout().name));
}
// Makes T's area current and returns its view.
template <class T>
View<T> select(rt::wa::WorkAreas& areas) {
  areas.select_area(T::layout().name);
  return View<T>(areas.current());
}

// SET RELATION from `parent` into the table of type T: T's area follows
// `parent` by T's controlling key (its first bag's first tag), evaluated on
// the parent's record (the tables share the key's fields).
template <class T>
void relate(rt::wa::WorkAreas& areas, rt::wa::Area& parent) {
  rt::wa::set_relation(areas, parent, T::layout().name, T::layout().bags.front().tags.front().key);
}

}  // namespace layout
