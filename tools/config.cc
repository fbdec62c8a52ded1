#include "tools/config.h"

#include <exception>
#include <memory>

#include "runtime/cdx/bag.h"
#include "runtime/text/convert.h"
#include "tools/config_keys.h"

namespace tools {

namespace {

// Opens a table for one lookup in the lowest free work area and, when it
// ends, closes that area and selects the caller's area again (when the
// caller had a table open there).
class OneLookup {
 public:
  explicit OneLookup(rt::wa::WorkAreas& wa)
      : wa_(wa), had_table_(!wa.alias().empty()), previous_(wa.current_number()) {
    wa_.select_area(0);
    used_ = wa_.current_number();
  }
  ~OneLookup() {
    try {
      wa_.select_area(used_);
      wa_.close_area();
      if (had_table_) wa_.select_area(previous_);
    } catch (...) {
      // Closing a table opened only for reading has nothing to lose.
    }
  }
  OneLookup(const OneLookup&) = delete;
  OneLookup& operator=(const OneLookup&) = delete;

 private:
  rt::wa::WorkAreas& wa_;
  bool had_table_;
  int previous_;
  int used_ = 0;
};

}  // namespace

// GET_INI of the suite.  The suite failed when "ini.dbf" was there but its
// bag "ini" was missing or damaged; any table or bag that cannot be read now
// gives the default, like a setting that is not there.
std::string get_ini(rt::wa::WorkAreas& wa, std::string_view cual, std::string_view pto, std::string_view defa,
                    std::string* problem) {
  if (!wa.file_exists("ini.dbf")) return std::string(defa);
  std::string value;
  const auto unreadable = [&](const std::string& why) {
    value.clear();
    if (problem) *problem = "table ini: " + why;
  };
  {
    OneLookup lookup(wa);
    try {
      if (!wa.use("ini")) {
        unreadable("in exclusive use by another user");
      } else {
        // The bag "ini"; its first tag controls.  Exact keys only (soft
        // seek off).
        auto bag = rt::cdx::Bag::open("ini.cdx", false);
        auto tags = bag->tags();
        if (tags.empty()) {
          unreadable("order bag ini.cdx has no tag");
        } else {
          rt::cdx::Cursor cursor(*tags.front());
          if (cursor.seek(ini_key(cual, pto))) {
            wa.current().go(cursor.recno());
            value = rt::text::trim(wa.current().get("VALOR").text());
          }
        }
      }
    } catch (const std::exception& e) {
      unreadable(e.what());
    }
  }
  return value.empty() ? std::string(defa) : value;
}

// GET_NUM of the suite.
double get_num(rt::wa::WorkAreas& wa, std::string_view que) {
  OneLookup lookup(wa);
  try {
    if (!wa.use("numeros")) return 0;
    rt::wa::Area& area = wa.current();
    for (area.goto_top(); !area.eof(); area.skip(1)) {
      if (rt::text::text_equal_prefix(area.get("TICO").text(), que)) return area.get("NUCOM").number();
    }
  } catch (const std::exception&) {
    // A numbering table that cannot be read has no entry of that kind.
  }
  return 0;
}

// GEN_DESCX of the suite.
std::string gen_descx(rt::wa::WorkAreas& wa, std::string_view cual) {
  const std::string alias = cual.empty() ? std::string("producto") : std::string(cual);
  const std::string field = wa.area(alias).get("DESCRIPX").text();
  const std::string name = rt::text::trim(std::string_view(field).substr(0, 44));
  const std::string presentation =
      rt::text::trim(field.size() > 24 ? std::string_view(field).substr(field.size() - 24) : std::string_view(field));
  std::string line = name + " " + presentation;
  line.resize(69, ' ');
  return line;
}

}  // namespace tools
