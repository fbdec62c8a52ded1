#include "tools/config.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <stdexcept>

#include "data/table_view.h"
#include "runtime/cdx/bag.h"
#include "runtime/os/file.h"
#include "runtime/text/convert.h"
#include "tools/config_keys.h"
#include "tools/guards.h"

namespace tools {

// GET_INI of the suite, for several settings with one open of the table
// and its bag.  The suite failed when "ini.dbf" was there but its bag "ini"
// was missing or damaged; any table or bag that cannot be read now gives the
// defaults, like settings that are not there.  The bag is opened beside the
// table, through the work areas' Env.
std::vector<std::string> get_ini(rt::wa::WorkAreas& wa, const std::vector<IniQuery>& queries, std::string* problem) {
  std::vector<std::string> values(queries.size());
  const std::string table = layout::Setting::layout().name;
  if (wa.file_exists(table + ".dbf")) {
    OneLookup lookup(wa);
    try {
      if (!wa.use(table)) {
        if (problem) *problem = "table ini: in exclusive use by another user";
      } else {
        // The bag "ini"; its first tag controls.  Exact keys only (soft
        // seek off).
        rt::table::Table& t = wa.current().table();
        auto bag = rt::cdx::Bag::open(rt::os::join_path(rt::os::dirname_of(t.path()), table + ".cdx"), false,
                                      t.env());
        auto tags = bag->tags();
        if (tags.empty()) throw std::runtime_error("order bag ini.cdx has no tag");
        rt::cdx::Cursor cursor(*tags.front());
        for (std::size_t i = 0; i < queries.size(); ++i) {
          if (!cursor.seek(ini_key(queries[i].cual, queries[i].pto))) continue;
          wa.current().go(cursor.recno());
          values[i] = rt::text::trim(layout::View<layout::Setting>(wa.current()).text(layout::Setting::VALOR));
        }
      }
    } catch (const std::exception& e) {
      std::fill(values.begin(), values.end(), std::string());
      if (problem) *problem = std::string("table ini: ") + e.what();
    }
  }
  for (std::size_t i = 0; i < queries.size(); ++i)
    if (values[i].empty()) values[i] = std::string(queries[i].defa);
  return values;
}

std::string get_ini(rt::wa::WorkAreas& wa, std::string_view cual, std::string_view pto, std::string_view defa,
                    std::string* problem) {
  return get_ini(wa, {IniQuery{cual, pto, defa}}, problem).front();
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
