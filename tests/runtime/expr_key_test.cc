// Keys: the byte encoding of every key type, the key formats of the
// station's bags, and keys computed from the records of real sample tables
// compared with the keys their own bags hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "runtime/expr/expression.h"
#include "runtime/expr/key_encoding.h"
#include "runtime/expr/record_scope.h"
#include "runtime/text/convert.h"
#include "tests/support/testing.h"

using rt::Value;
using rt::expr::Expression;
using rt::expr::FieldInfo;
using rt::expr::KeyError;
using rt::expr::KeyFormat;
using rt::expr::KeyType;
using rt::expr::RecordScope;
using rt::text::Date;

namespace {

std::string hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::string number_key(double d) { return hex(encode_key(Value(d), rt::expr::key_format(KeyType::Numeric))); }

}  // namespace

TEST(KeyEncoding, NumbersSortAsTheirBytes) {
  EXPECT_EQ(number_key(0), "8000000000000000");
  EXPECT_EQ(number_key(-0.0), "8000000000000000");
  EXPECT_EQ(number_key(1), "bff0000000000000");
  EXPECT_EQ(number_key(12.5), "c029000000000000");
  EXPECT_EQ(number_key(-1), "400fffffffffffff");
  EXPECT_EQ(number_key(-0.5), "401fffffffffffff");
  // 2000-01-01 is Julian day 2451545; its key is that number's.
  const KeyFormat date = rt::expr::key_format(KeyType::Date);
  EXPECT_EQ(hex(encode_key(Value(*Date::from_ymd(2000, 1, 1)), date)), number_key(2451545));
  EXPECT_EQ(hex(encode_key(Value(Date{}), date)), "8000000000000000");

  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> dist(-1e6, 1e6);
  std::vector<double> values = {0, -0.0, 1e-300, -1e-300, 1e300, -1e300, 0.1, -0.1};
  for (int i = 0; i < 2000; ++i) values.push_back(i % 3 ? dist(rng) : std::round(dist(rng)));
  const KeyFormat n = rt::expr::key_format(KeyType::Numeric);
  for (std::size_t i = 1; i < values.size(); ++i) {
    const double a = values[i - 1], b = values[i];
    const std::string ka = encode_key(Value(a), n), kb = encode_key(Value(b), n);
    EXPECT_EQ(a < b, ka < kb) << a << " " << b;
    EXPECT_EQ(a == b, ka == kb) << a << " " << b;
    EXPECT_EQ(decode_key(kb, n).number(), b == 0 ? 0.0 : b);
  }
}

TEST(KeyEncoding, IntegerDateTimeAndDateKeys) {
  const KeyFormat i = rt::expr::key_format(KeyType::Integer);
  EXPECT_EQ(i.length, 4u);
  EXPECT_EQ(hex(encode_key(Value(1), i)), "80000001");
  EXPECT_EQ(hex(encode_key(Value(-1), i)), "7fffffff");
  EXPECT_EQ(hex(encode_key(Value(10248), i)), "80002808");
  EXPECT_EQ(decode_key(encode_key(Value(-123456), i), i).number(), -123456);
  EXPECT_THROW(encode_key(Value(3e9), i), KeyError);
  // A date-time key of 1995-01-31 00:00 (seen in a real bag).
  const KeyFormat t = rt::expr::key_format(KeyType::DateTime);
  EXPECT_EQ(hex(encode_key(Value(2449749.0), t)), "c142b0aa80000000");
  EXPECT_EQ(hex(encode_key(Value(*Date::from_ymd(1995, 1, 31)), t)), "c142b0aa80000000");
  const KeyFormat d = rt::expr::key_format(KeyType::Date);
  EXPECT_EQ(decode_key(encode_key(Value(*Date::from_ymd(2026, 12, 8)), d), d).date(), *Date::from_ymd(2026, 12, 8));
  EXPECT_TRUE(decode_key(encode_key(Value(Date{}), d), d).date().empty());
  // A damaged date key shows the number it holds.
  EXPECT_DOUBLE_EQ(decode_key(encode_key(Value(0.5), t), d).number(), 0.5);
}

TEST(KeyEncoding, TextKeysArePaddedOrCutAndSeekKeysAreNot) {
  const KeyFormat c = rt::expr::key_format(KeyType::Character, 8);
  EXPECT_EQ(encode_key(Value("TK  1234"), c), "TK  1234");
  EXPECT_EQ(encode_key(Value("TK"), c), "TK      ");
  EXPECT_EQ(encode_key(Value("TK  12345678"), c), "TK  1234");
  EXPECT_EQ(encode_key(Value(""), c), "        ");
  std::string seek;
  encode_seek_key(Value("TK"), c, seek);
  EXPECT_EQ(seek, "TK");
  encode_seek_key(Value("TK  123456789"), c, seek);
  EXPECT_EQ(seek, "TK  1234");
  encode_seek_key(Value(12.5), rt::expr::key_format(KeyType::Numeric), seek);
  EXPECT_EQ(hex(seek), "c029000000000000");
  EXPECT_EQ(decode_key("TK      ", c).text(), "TK");
  EXPECT_EQ(decode_key("  1234  ", c).text(), "  1234");
  EXPECT_THROW(decode_key("TK", c), KeyError);
  EXPECT_THROW(encode_key(Value(1), c), KeyError);
  EXPECT_THROW(encode_key(Value("1"), rt::expr::key_format(KeyType::Numeric)), KeyError);
  EXPECT_THROW(rt::expr::key_format(KeyType::Character, 0), KeyError);
  EXPECT_THROW(rt::expr::key_format(KeyType::Character, 241), KeyError);
  EXPECT_THROW(encode_key(Value("x"), KeyFormat{KeyType::Numeric, 5, false}), KeyError);
}

TEST(KeyEncoding, NullableKeysCarryAMarkerByte) {
  const KeyFormat c = rt::expr::key_format(KeyType::Character, 5, true);
  EXPECT_EQ(c.stored_length(), 6u);
  EXPECT_EQ(hex(encode_key(Value("ALFKI"), c)), "80414c464b49");
  EXPECT_EQ(hex(encode_key(Value(), c)), "000000000000");
  EXPECT_EQ(decode_key(encode_key(Value("AB"), c), c).text(), "AB");
  EXPECT_TRUE(decode_key(std::string(6, '\0'), c).is_nil());
  const KeyFormat i = rt::expr::key_format(KeyType::Integer, 0, true);
  EXPECT_EQ(hex(encode_key(Value(1), i)), "8080000001");
  // Without a marker, a NULL value gives the empty key.
  EXPECT_EQ(encode_key(Value(), rt::expr::key_format(KeyType::Character, 3)), "   ");
  EXPECT_EQ(number_key(0), hex(encode_key(Value(), rt::expr::key_format(KeyType::Numeric))));
  EXPECT_EQ(hex(encode_key(Value(), rt::expr::key_format(KeyType::Integer))), "80000000");
}

namespace {

struct Table {
  const char* alias;
  std::vector<RecordScope::Field> fields;
};

KeyFormat format_of(const Table& t, const char* expr) {
  RecordScope scope(t.fields, t.alias);
  return Expression::compile(expr, scope).key_format();
}

}  // namespace

TEST(KeyFormats, EveryBagOfTheStation) {
  const Table acceso2{"acceso2", {{"NUM", {'N', 4, 0, false}}, {"NOMBRE", {'C', 30, 0, false}}}};
  const Table compenca{"compenca", {{"COMPTE", {'C', 2, 0, false}}, {"NUMERO", {'N', 6, 0, false}},
                                    {"FECHA", {'D', 8, 0, false}}}};
  const Table producto{"producto", {{"CODIGO", {'C', 7, 0, false}}, {"CODVAR", {'N', 14, 0, false}}}};
  const Table log_env{"log_env", {{"NUMERO", {'N', 6, 0, false}}, {"CODIGO", {'C', 7, 0, false}}}};
  const Table traza{"traza", {{"COMPTE_INT", {'C', 2, 0, false}}, {"NUMERO_INT", {'N', 6, 0, false}},
                              {"GTIN", {'C', 14, 0, false}}, {"SERIE", {'C', 20, 0, false}}}};
  const Table ini{"ini", {{"CLAVE", {'C', 20, 0, false}}, {"SUCURSAL", {'N', 2, 0, false}},
                          {"VALOR", {'C', 60, 0, false}}}};
  const Table cb{"cb", {{"CB", {'C', 14, 0, false}}, {"CODIGO", {'N', 7, 0, false}}}};
  const Table tempo39{"tempo39", {{"CB", {'N', 14, 0, false}}, {"CODIGO", {'C', 7, 0, false}},
                                  {"CP", {'C', 14, 0, false}}, {"SERIES", {'M', 10, 0, false}}}};

  EXPECT_EQ(format_of(acceso2, "STR(NUM,4)"), (KeyFormat{KeyType::Character, 4, false}));
  EXPECT_EQ(format_of(compenca, "COMPTE+STR(NUMERO,6)"), (KeyFormat{KeyType::Character, 8, false}));
  EXPECT_EQ(format_of(compenca, "COMPTE+STR(NUMERO,6)+DTOS(FECHA)"), (KeyFormat{KeyType::Character, 16, false}));
  EXPECT_EQ(format_of(producto, "CODIGO"), (KeyFormat{KeyType::Character, 7, false}));
  EXPECT_EQ(format_of(log_env, "STR(NUMERO,6)"), (KeyFormat{KeyType::Character, 6, false}));
  EXPECT_EQ(format_of(traza, "COMPTE_INT+STR(NUMERO_INT,6)"), (KeyFormat{KeyType::Character, 8, false}));
  EXPECT_EQ(format_of(traza, "GTIN+SERIE"), (KeyFormat{KeyType::Character, 34, false}));
  EXPECT_EQ(format_of(ini, "PADR(UPPER(CLAVE),15)+STR(SUCURSAL,2)"), (KeyFormat{KeyType::Character, 17, false}));
  EXPECT_EQ(format_of(cb, "CB"), (KeyFormat{KeyType::Character, 14, false}));
  EXPECT_EQ(format_of(tempo39, "CB"), (KeyFormat{KeyType::Numeric, 8, false}));
  EXPECT_EQ(format_of(tempo39, "CODIGO"), (KeyFormat{KeyType::Character, 7, false}));
  EXPECT_EQ(format_of(tempo39, "CP"), (KeyFormat{KeyType::Character, 14, false}));
  EXPECT_EQ(format_of(compenca, "FECHA"), (KeyFormat{KeyType::Date, 8, false}));

  // Keys that cannot be stored are refused when the tag is defined.
  EXPECT_THROW(format_of(tempo39, "SERIES"), rt::expr::Error);
  EXPECT_THROW(format_of(tempo39, "CB>0"), rt::expr::Error);
  EXPECT_THROW(format_of(tempo39, "SPACE(241)"), rt::expr::Error);
  EXPECT_THROW(format_of(tempo39, "STR(CB,CB)"), rt::expr::Error);
  EXPECT_THROW(format_of(tempo39, "\"\""), rt::expr::Error);
}

TEST(KeyFormats, SeekKeysMatchTheStoredKeysOfTheRecords) {
  // A sale header and the ticket sought with "TK" + STR(number, 6).
  RecordScope header({{"COMPTE", {'C', 2, 0, false}}, {"NUMERO", {'N', 6, 0, false}}}, "compenca");
  header.set(0, Value("TK"));
  header.set(1, Value(1234));
  const Expression tag = Expression::compile("COMPTE+STR(NUMERO,6)", header);
  const KeyFormat f = tag.key_format();
  std::string stored;
  tag.key(header, f, stored);
  EXPECT_EQ(stored, "TK  1234");
  // The seek value comes from an expression on another area (a relation).
  RecordScope line({{"COMPTE", {'C', 2, 0, false}}, {"NUMERO", {'N', 6, 0, false}}}, "compitem");
  line.set(0, Value("TK"));
  line.set(1, Value(1234.0));
  const Expression relation = Expression::compile("COMPTE+STR(NUMERO,6)", line);
  std::string sought;
  encode_seek_key(relation.evaluate(line), f, sought);
  EXPECT_EQ(sought, stored);
  // A shorter text seeks as a prefix.
  encode_seek_key(Value("TK"), f, sought);
  EXPECT_EQ(stored.compare(0, sought.size(), sought), 0);
}

// ---------------------------------------------------------------------------
// Real sample tables: their records read here byte by byte, the keys computed
// by the engine, sorted as a bag sorts them, compared with the keys the
// suite-independent readers found in the tables' own bags.

namespace {

struct Dbf {
  struct Field {
    std::string name;
    char type;
    std::size_t offset, length;
    int decimals;
    std::uint8_t flags;
  };
  std::vector<Field> fields;
  std::vector<std::string> records;  // raw, deletion flag first

  explicit Dbf(const std::string& path) {
    const std::string b = testing_support::read_file(path);
    auto u16 = [&](std::size_t o) { return std::size_t(std::uint8_t(b[o])) | std::size_t(std::uint8_t(b[o + 1])) << 8; };
    const std::size_t count = u16(4) | u16(6) << 16, header = u16(8), reclen = u16(10);
    std::size_t offset = 1;
    for (std::size_t o = 32; o + 32 <= header && b[o] != '\r'; o += 32) {
      Field f;
      f.name = std::string(b.data() + o, strnlen(b.data() + o, 11));
      f.type = b[o + 11];
      f.length = std::uint8_t(b[o + 16]);
      f.decimals = std::uint8_t(b[o + 17]);
      f.flags = std::uint8_t(b[o + 18]);
      f.offset = offset;
      offset += f.length;
      fields.push_back(f);
    }
    for (std::size_t i = 0; i < count; ++i) records.push_back(b.substr(header + i * reclen, reclen));
  }

  RecordScope scope(const char* alias) const {
    std::vector<RecordScope::Field> out;
    for (const Field& f : fields)
      out.push_back({f.name, FieldInfo{f.type, int(f.length), f.decimals, (f.flags & 0x02) != 0}});
    return RecordScope(out, alias);
  }

  // Fills the scope with record n (1-based); NULL flags are not decoded, the
  // records used here hold values.
  void load(RecordScope& s, std::size_t n) const {
    const std::string& r = records[n - 1];
    s.set_recno(long(n));
    s.set_deleted(r[0] == '*');
    for (std::size_t i = 0; i < fields.size(); ++i) {
      const Field& f = fields[i];
      const std::string raw = r.substr(f.offset, f.length);
      switch (f.type) {
        case 'C': s.set(i, Value(raw)); break;
        case 'N': case 'F': s.set(i, Value(rt::text::val(raw))); break;
        case 'I': {
          std::int32_t v;
          std::memcpy(&v, raw.data(), 4);
          s.set(i, Value(double(v)));
          break;
        }
        case 'D': s.set(i, Value(rt::text::stod(raw).value_or(Date{}))); break;
        case 'L': s.set(i, Value(raw == "T" || raw == "Y")); break;
        default: s.set(i, Value()); break;
      }
    }
  }
};

using KeyList = std::vector<std::pair<std::string, long>>;

// The keys of every record that passes the FOR condition, in bag order.
KeyList build(const Dbf& dbf, const char* alias, const char* key, const char* for_cond, KeyFormat* format = nullptr) {
  RecordScope scope = dbf.scope(alias);
  const Expression k = Expression::compile(key, scope);
  Expression cond;
  if (for_cond) cond = Expression::compile_condition(for_cond, scope);
  const KeyFormat f = k.key_format();
  if (format) *format = f;
  KeyList out;
  std::string bytes;
  for (std::size_t n = 1; n <= dbf.records.size(); ++n) {
    dbf.load(scope, n);
    if (cond.valid() && !cond.holds(scope)) continue;
    k.key(scope, f, bytes);
    out.emplace_back(bytes, long(n));
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace

TEST(KeysOfRealBags, ForConditionsOfRoomsBag) {
  const Dbf rooms(testing_support::foreign_fixture("perl-xbase/rooms.dbf"));
  KeyFormat f;
  const KeyList audio = build(rooms, "rooms", "roomname", "TRIM(UPPER(facility))==\"AUDIO\"", &f);
  EXPECT_EQ(f, (KeyFormat{KeyType::Character, 10, false}));
  const KeyList want_audio = {{"ADR-Foley ", 23}, {"Flambe    ", 28}, {"Mach Rm   ", 24}, {"Mix A     ", 18},
                              {"Mix B     ", 19}, {"Mix C     ", 20}, {"Mix D     ", 21}, {"Mix E     ", 22},
                              {"Mix F     ", 33}, {"Mix G     ", 34}, {"Mix H     ", 35}, {"Mix J     ", 39},
                              {"Transfer  ", 25}};
  EXPECT_EQ(audio, want_audio);
  const KeyList film = build(rooms, "rooms", "roomname", "TRIM(UPPER(facility))==\"FILM\"");
  const KeyList want_film = {{"BullPen   ", 36}, {"Celco     ", 37}, {"FILM 1    ", 29},
                             {"FILM 2    ", 30}, {"FILM 3    ", 31}, {"SCANNING  ", 32}};
  EXPECT_EQ(film, want_film);
  const KeyList main = build(rooms, "rooms", "roomname", "TRIM(UPPER(facility))==\"MAIN\"");
  ASSERT_EQ(main.size(), 21u);
  const KeyList want_main_first = {{"AVID      ", 40}, {"BAY 7     ", 41}, {"Bay  1    ", 2}, {"Bay  2    ", 4},
                                   {"Bay  3    ", 8},  {"Bay  4    ", 9},  {"Bay  5    ", 5}, {"Bay  6    ", 7},
                                   {"Bay  8    ", 11}, {"Bay 10    ", 10}};
  EXPECT_EQ(KeyList(main.begin(), main.begin() + 10), want_main_first);
  const KeyList all = build(rooms, "rooms", "facility", nullptr);
  ASSERT_EQ(all.size(), 42u);
  EXPECT_EQ(all[0], (std::pair<std::string, long>{"          ", 1}));
  EXPECT_EQ(all[1], (std::pair<std::string, long>{"          ", 42}));
  EXPECT_EQ(all[2], (std::pair<std::string, long>{"Audio     ", 18}));
}

TEST(KeysOfRealBags, DatabaseContainerTagsWithNotDeleted) {
  const Dbf dbc(testing_support::foreign_fixture("vfp-northwind/northwind.dbc"));
  KeyFormat f;
  const KeyList names = build(dbc, "northwind", "STR(parentid)+objecttype+LOWER(objectname)", ".NOT.DELETED()", &f);
  EXPECT_EQ(f.length, 148u);
  ASSERT_EQ(names.size(), 274u);
  auto trimmed = [](const std::pair<std::string, long>& k) {
    return std::pair<std::string, long>{rt::text::rtrim(k.first), k.second};
  };
  EXPECT_EQ(trimmed(names[0]), (std::pair<std::string, long>{"         1Database  database", 1}));
  EXPECT_EQ(trimmed(names[1]), (std::pair<std::string, long>{"         1Database  storedproceduresdependencies", 5}));
  EXPECT_EQ(trimmed(names[6]), (std::pair<std::string, long>{"         1Table     customercustomerdemo", 256}));
  EXPECT_EQ(trimmed(names[19]), (std::pair<std::string, long>{"         1View      category_sales_for_1997", 79}));
  EXPECT_EQ(trimmed(names[273]), (std::pair<std::string, long>{"       270Index     regionid", 273}));
  const KeyList types = build(dbc, "northwind", "STR(parentid)+objecttype", ".NOT.DELETED()", &f);
  EXPECT_EQ(f.length, 20u);
  EXPECT_EQ(types[269], (std::pair<std::string, long>{"       266Field     ", 268}));
  EXPECT_EQ(types[273], (std::pair<std::string, long>{"       270Index     ", 273}));
}

TEST(KeysOfRealBags, IntegerDateAndNullableKeysOfNorthwind) {
  const Dbf details(testing_support::foreign_fixture("vfp-northwind/orderdetails.dbf"));
  KeyFormat f;
  const KeyList pk = build(details, "orderdetails", "STR(orderid)+STR(productid)", nullptr, &f);
  EXPECT_EQ(f.length, 20u);
  ASSERT_EQ(pk.size(), 2155u);
  EXPECT_EQ(pk[0], (std::pair<std::string, long>{"     10248        11", 1}));
  EXPECT_EQ(pk[2154], (std::pair<std::string, long>{"     11077        77", 2155}));
  const KeyList orderid = build(details, "orderdetails", "orderid", nullptr, &f);
  EXPECT_EQ(f, (KeyFormat{KeyType::Integer, 4, false}));
  EXPECT_EQ(rt::expr::decode_key(orderid[3].first, f).number(), 10249);
  EXPECT_EQ(orderid[3].second, 4);

  const Dbf orders(testing_support::foreign_fixture("vfp-northwind/orders.dbf"));
  RecordScope scope = orders.scope("orders");
  const Expression date = Expression::compile("orderdate", scope);
  const Expression cust = Expression::compile("customerid", scope);
  const Expression emp = Expression::compile("employeeid", scope);
  EXPECT_EQ(date.key_format(), (KeyFormat{KeyType::Date, 8, true}));
  EXPECT_EQ(cust.key_format().stored_length(), 6u);
  EXPECT_EQ(emp.key_format().stored_length(), 5u);
  std::string k;
  orders.load(scope, 1);
  date.key(scope, date.key_format(), k);
  EXPECT_EQ(hex(k), "80c142b1ae80000000");
  orders.load(scope, 2);
  date.key(scope, date.key_format(), k);
  EXPECT_EQ(hex(k), "80c142b1af00000000");
  orders.load(scope, 396);
  cust.key(scope, cust.key_format(), k);
  EXPECT_EQ(hex(k), "80414c464b49");  // ALFKI
  orders.load(scope, 11);
  emp.key(scope, emp.key_format(), k);
  EXPECT_EQ(hex(k), "8080000001");
}

TEST(KeysOfRealBags, FreeTableTags) {
  const Dbf o_od(testing_support::foreign_fixture("vfp-freetables/O_OD.DBF"));
  KeyFormat f;
  const KeyList s1s2 = build(o_od, "o_od", "s1+s2", nullptr, &f);
  EXPECT_EQ(f.length, 17u);
  EXPECT_EQ(s1s2[0], (std::pair<std::string, long>{"S1        U11    ", 1}));
  const Dbf all(testing_support::foreign_fixture("vfp-freetables/AllTypes.DBF"));
  const KeyList ifield = build(all, "alltypes", "ifield", nullptr, &f);
  EXPECT_EQ(f.length, 4u);
  ASSERT_EQ(ifield.size(), 1u);
  EXPECT_EQ(rt::expr::decode_key(ifield[0].first, f).number(), 100);
  RecordScope scope = all.scope("alltypes");
  EXPECT_EQ(Expression::compile("tfield", scope).key_format(), (KeyFormat{KeyType::DateTime, 8, false}));
  EXPECT_EQ(Expression::compile("bfield", scope).key_format(), (KeyFormat{KeyType::Numeric, 8, false}));
  EXPECT_THROW(Expression::compile("gfield", scope), rt::expr::Error);
}
