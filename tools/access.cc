#include "tools/access.h"

#include <exception>
#include <optional>
#include <vector>

#include "data/layouts.h"
#include "data/table_view.h"
#include "runtime/console/keys.h"
#include "runtime/text/convert.h"
#include "runtime/workarea/orders.h"
#include "tools/access_records.h"
#include "tools/guards.h"
#include "tools/key_substitutions.h"
#include "tools/passwords.h"
#include "tools/screen_names.h"
#include "tools/screens.h"
#include "tools/shared_open.h"
#include "tools/text_tools.h"
#include "tools/trace.h"

namespace tools {

namespace k = rt::con::key;
using rt::Value;
using rt::wa::Area;
using rt::wa::WorkAreas;
using layout::Seller;
using SellerView = layout::View<Seller>;
using access_records::checksum_ok;
using access_records::is_blank;
using access_records::seller_key;
using access_records::without_blanks;

namespace {
constexpr int kPasswordWidth = 5;  // a seller's password
}  // namespace

bool registra_on(std::string_view value) {
  const std::string u = rt::text::upper(value);
  return u.size() >= 2 && u.compare(0, 2, "SI") == 0;
}

long long get_crc_31(Area& area) {
  std::vector<ChecksumField> record;
  const auto& fields = area.table().schema().fields;
  for (const auto& f : fields) {
    const char type = f.letter();
    const bool summed = type == 'C' || type == 'N' || type == 'F';
    record.push_back({f.name, type, f.length, f.decimals, summed ? area.get(f.name) : Value()});
  }
  return crc_31(record);
}

std::string tomarsec(rt::con::Console& con, int li1, int co1, int la1, int& toca1, bool visi) {
  Trace trace(con, "TOMARSEC");
  const int shape = con.setcursor(1);
  const std::string echo_colour = con.color();
  std::string text;
  toca1 = 0;
  for (;;) {
    con.setpos(li1, co1);
    const int code = con.inkey(0.0);
    if (code == key::kEsc) {
      toca1 = key::kEsc;
      con.setcursor(shape);
      return "";
    }
    if (code == key::kEnter || code == key::kF1) {
      con.setcursor(shape);
      return text;
    }
    if (code >= 32 && code <= 126) {
      if (static_cast<int>(text.size()) >= la1) continue;  // at the limit: ignored, no sound
      char c = static_cast<char>(code);
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      text += c;
      if (visi) {
        con.devpos(li1, co1);
        con.devout(std::string(1, c), echo_colour);
        pausa(con, 0.2);
      }
      con.devpos(li1, co1);
      con.devout("*", echo_colour);
      ++co1;
    } else if (code == key::kBackspace && !text.empty()) {
      text.pop_back();
      --co1;
      con.devpos(li1, co1);
      con.devout(" ", echo_colour);
    }
  }
}

namespace {

// The "Inexistente!!!" box of a seller number that is not there.
void unknown_seller_box(rt::con::Console& con) {
  const std::string saved = con.savescreen(8, 30, 10, 50);
  con.scroll(8, 30, 10, 50);
  con.dispbox(8, 30, 10, 50, 1, "gr+/r");
  con.devpos(9, 34);
  con.devout(kUnknownSeller, "r+/r");
  con.tone(kLowTone, 5);
  con.inkey(2.0);
  con.restscreen(8, 30, 10, 50, saved);
}

// Stores a new password for the seller on the current record of `a` (the
// current area): scrambled password and the checksum of the record as it will
// be, in one write under the record's lock, so that no other program ever
// reads the new password with the old checksum.
void store_password(rt::con::Console& con, WorkAreas& wa, const SellerView& s, const std::string& plain) {
  Area& a = s.area();
  rbloqueo2(con, wa);
  const HoldLocks locked(a);
  a.refresh();  // the record as it is now, after the lock
  const auto& fields = a.table().schema().fields;
  const int clave = s.index(Seller::CLAVE);
  const int width = fields[static_cast<std::size_t>(clave)].length;
  const std::string stored = rt::text::pad_right(cripta(plain), static_cast<std::size_t>(width));
  std::vector<ChecksumField> record;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const auto& f = fields[i];
    const char type = f.letter();
    const bool summed = type == 'C' || type == 'N' || type == 'F';
    Value v = summed ? a.field_get(static_cast<int>(i) + 1) : Value();
    if (static_cast<int>(i) == clave) v = Value(stored);
    record.push_back({f.name, type, f.length, f.decimals, v});
  }
  const double crc = static_cast<double>(crc_31(record));
  s.put_fields({{Seller::CLAVE, Value(stored)}, {Seller::CRC_31, Value(crc)}});
  wa.commit_all();
}

// TOMARSEC with only the keyboard's events.
std::string tomarsec_keys(rt::con::Console& con, int li1, int co1, int la1, int& toca1, bool visi = false) {
  const KeepEventMask keyboard_only(con, k::kMaskKeyboard);
  return tomarsec(con, li1, co1, la1, toca1, visi);
}

// What the seller check ends with: accepted or refused, and the message of
// a refusal (none when the screen has said it already).
struct Verdict {
  bool accepted = false;
  const char* message = nullptr;
};

// Stands the seller table on seller `quien` among those `que` admits, his
// branch and the record's checksum checked; the refusal when he may not go
// on.  The filter holds for the seek only.
std::optional<Verdict> find_seller(rt::con::Console& con, const SellerView& s, bool cashier, int branch,
                                   double quien) {
  Area& a = s.area();
  const FilterFor filter =
      cashier ? FilterFor(
                    a,
                    [s](Area&) {
                      const std::string c = rt::text::trim(s.text(Seller::HABI_CAJ));
                      return c == "X" || c == "S";
                    },
                    "HABI_CAJ$'XS'")
              : FilterFor(a, [s](Area&) { return s.number(Seller::NUM) != 0; }, "NUM<>0");
  a.goto_top();
  if (!rt::wa::seek(a, Value(seller_key(quien)))) {
    unknown_seller_box(con);
    return Verdict{};
  }
  const std::string code = str_0(branch, 2);
  const std::string branches = s.text(Seller::SUC_HABI);
  if (code != "00" && !is_blank(branches) && branches.find(code) == std::string::npos) return Verdict{false, kWrongBranch};
  if (!checksum_ok(s)) return Verdict{false, kBadChecksum};
  return std::nullopt;
}

// The password box of the entry form (rows 8-10, columns 51-57), put away
// again when the check ends.
class PasswordBox {
 public:
  explicit PasswordBox(rt::con::Console& con) : con_(con), saved_(con.savescreen(8, 51, 10, 57)) {
    con.scroll(8, 51, 10, 57);
    con.dispbox(8, 51, 10, 57, 1, "gr+/r");
    con.devpos(8, 52);
    con.devout("Clave", "g+/r");
    con.devpos(10, 52);
    con.devout("F1Cam", "bg+/r");
  }
  ~PasswordBox() { con_.restscreen(8, 51, 10, 57, saved_); }
  PasswordBox(const PasswordBox&) = delete;
  PasswordBox& operator=(const PasswordBox&) = delete;

 private:
  rt::con::Console& con_;
  std::string saved_;
};

// Asks for the password in the box; true when it is the stored one.
// `wants_change` tells whether the operator ended it with F1.
bool password_matches(rt::con::Console& con, const std::string& stored, bool& wants_change) {
  con.set_color("g+/r");
  int tec1 = 0;
  const std::string typed = tomarsec_keys(con, 9, 52, kPasswordWidth, tec1);
  wants_change = con.lastkey() == key::kF1;
  return rt::text::upper(rt::text::trim(typed)) == rt::text::upper(rt::text::trim(cripta(stored)));
}

// Asks for the new password in the box and stores it (Esc keeps the old one).
void change_password(rt::con::Console& con, WorkAreas& wa, const SellerView& s, rt::wa::RecNo seller_record) {
  Area& a = s.area();
  layout::select<Seller>(wa);
  a.go(seller_record);
  const KeepRecord back(a);
  con.devpos(10, 51);
  con.devout("Cambiar", "bg+/r");
  const KeepColour colour(con, "bg+/r");
  int tec1 = 0;
  const std::string fresh = tomarsec_keys(con, 9, 52, kPasswordWidth, tec1, true);
  if (tec1 != key::kEsc) store_password(con, wa, s, fresh);
}

// The seller check with everything it changes put back by guards: a refusal
// leaves area, record, filter and colour as they were; an accepted seller
// stays current in the seller table, whose area the caller gets back.
// `verdict` is filled as the check goes, so that an error after the seller
// was accepted (storing a new password) leaves him accepted.
void check_seller(rt::con::Console& con, WorkAreas& wa, Operator& op, std::string_view que, double quien,
                  Verdict& verdict) {
  KeepColour colour(con, "gr+/r");
  const KeepArea keep(wa);
  const SellerView s = layout::select<Seller>(wa);
  KeepRecord entry(s.area());
  if (const auto refusal = find_seller(con, s, que == "CAJERO", op.branch, quien)) {
    verdict = *refusal;
    return;
  }
  const rt::wa::RecNo seller_record = s.area().recno();
  const std::string stored = s.text(Seller::CLAVE);
  std::optional<PasswordBox> box;
  bool wants_change = false;
  if (!is_blank(stored)) {
    box.emplace(con);
    if (!password_matches(con, stored, wants_change)) return;
  }
  if (que == "VENDEDOR" || op.registra) op.profile = without_blanks(s.text(Seller::PERFILES));
  verdict.accepted = true;
  entry.dismiss();
  colour.restore();
  if (wants_change && puede(con, wa, op, kTaskChangePassword)) change_password(con, wa, s, seller_record);
}

}  // namespace

// An error of the seller table anywhere in the check is told here, once,
// after the check has put back what it changed.
bool ok_vende(rt::con::Console& con, WorkAreas& wa, Operator& op, std::string_view que, double quien) {
  Trace trace(con, "OK_VENDE");
  Verdict verdict;
  if (layout::area_of<Seller>(wa) == 0) {
    verdict.message = kSellerTableError;
  } else {
    try {
      check_seller(con, wa, op, que, quien, verdict);
    } catch (const std::exception&) {
      verdict.message = kSellerTableError;
    }
  }
  if (verdict.message) cartel_1(con, verdict.message);
  return verdict.accepted;
}

}  // namespace tools
