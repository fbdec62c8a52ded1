#include "tools/config.h"

#include <exception>
#include <memory>

#include "data/table_view.h"
#include "runtime/cdx/bag.h"
#include "runtime/text/convert.h"
#include "tools/config_keys.h"
#include "tools/guards.h"

namespace tools {

// GET_INI of the suite.  The suite failed when "ini.dbf" was there but its
// bag "ini" was missing or damaged; any table or bag that cannot be read now
// gives the default, like a setting that is not there.
std::string get_ini(rt::wa::WorkAreas& wa, std::string_view cual, std::string_view pto, std::string_view defa,
                    std::string* problem) {
  const std::string table = layout::Setting::layout().name;
  if (!wa.file_exists(table + ".dbf")) return std::string(defa);
  std::string value;
  const auto unreadable = [&](const std::string& why) {
    value.clear();
    if (problem) *problem = "table ini: " + why;
  };
  {
    OneLookup lookup(wa);
    try {
      if (!wa.use(table)) {
        unreadable("in exclusive use by another user");
      } else {
        // The bag "ini"; its first tag controls.  Exact keys only (soft
        // seek off).
        auto bag = rt::cdx::Bag::open(table + ".cdx", false, wa.env());
        auto tags = bag->tags();
        if (tags.empty()) {
          unreadable("order bag ini.cdx has no tag");
        } else {
          rt::cdx::Cursor cursor(*tags.front());
          if (cursor.seek(ini_key(cual, pto))) {
            wa.current().go(cursor.recno());
            value = rt::text::trim(layout::View<layout::Setting>(wa.current()).text(layout::Setting::VALOR));
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
    using layout::Numbering;
    if (!wa.use(Numbering::layout().name)) return 0;
    const layout::View<Numbering> n(wa.current());
    for (n->goto_top(); !n->eof(); n->skip(1)) {
      if (rt::text::text_equal_prefix(n.text(Numbering::TICO), que)) return n.number(Numbering::NUCOM);
    }
  } catch (const std::exception&) {
    // A numbering table that cannot be read has no entry of that kind.
  }
  return 0;
}

// GEN_DESCX of the suite.
std::string gen_descx(rt::wa::WorkAreas& wa, std::string_view cual) {
  // Any table with the product table's DESCRIPX, the product table when none is named.
  using Product = layout::Product;
  const std::string alias = cual.empty() ? std::string(Product::layout().name) : std::string(cual);
  const std::string field = wa.area(alias).get(layout::View<Product>::name(Product::DESCRIPX)).text();
  const std::string name = rt::text::trim(std::string_view(field).substr(0, 44));
  const std::string presentation =
      rt::text::trim(field.size() > 24 ? std::string_view(field).substr(field.size() - 24) : std::string_view(field));
  std::string line = name + " " + presentation;
  line.resize(69, ' ');
  return line;
}

}  // namespace tools
