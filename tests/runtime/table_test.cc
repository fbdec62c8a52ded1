// The table engine through its public interface: field codec, header codec,
// creating, appending, reading, writing, memos, locks within one process.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "runtime/os/clock.h"
#include "runtime/os/file.h"
#include "runtime/table/table.h"
#include "runtime/text/convert.h"
#include "tests/support/testing.h"

using namespace rt::table;
using rt::Value;
using rt::text::Date;

namespace {

Field make_field(const char* name, FieldType t, int len, int dec = 0) {
  Field f;
  f.name = name;
  f.type = t;
  f.length = static_cast<std::uint8_t>(len);
  f.decimals = static_cast<std::uint8_t>(dec);
  return f;
}

std::string encode(const Field& f, const Value& v) {
  std::string out(f.length, '?');
  encode_field(f, v, out.data(), "t.dbf");
  return out;
}

TEST(FieldCodec, NumbersAreRightAlignedWithFixedDecimalsAndRefusedWhenTooWide) {
  const Field n = make_field("CANT", FieldType::Numeric, 8, 2);
  EXPECT_EQ(encode(n, Value(12.5)), "   12.50");
  EXPECT_EQ(encode(n, Value(-0.005)), "   -0.01");
  EXPECT_EQ(encode(n, Value(0.0)), "    0.00");
  EXPECT_EQ(encode(n, Value()), "        ");
  EXPECT_EQ(encode(n, Value(99999.99)), "99999.99");
  try {
    encode(n, Value(100000.0));
    FAIL() << "value wider than the field was stored";
  } catch (const TableError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::ValueRefused);
    const std::string what = e.what();
    EXPECT_NE(what.find("CANT"), std::string::npos) << what;
    EXPECT_NE(what.find("100000"), std::string::npos) << what;
    EXPECT_NE(what.find("t.dbf"), std::string::npos) << what;
  }
  const Field cb = make_field("CB", FieldType::Numeric, 14);
  EXPECT_EQ(encode(cb, Value(-1234)), "         -1234");
  EXPECT_EQ(encode(cb, Value(7790001000011.0)), " 7790001000011");
  EXPECT_THROW(encode(cb, Value(123456789012345.0)), TableError);
  EXPECT_THROW(encode(cb, Value(std::nan(""))), TableError);
  EXPECT_THROW(encode(cb, Value("12")), TableError);  // a text is not a number

  EXPECT_EQ(field_value(n, "   12.50", "").number(), 12.5);
  EXPECT_EQ(field_value(n, "        ", "").number(), 0);
  EXPECT_EQ(decode_field(n, "        ", "").kind, FieldValue::Kind::Null);
  EXPECT_EQ(decode_field(n, "  -3.25 ", "").number, -3.25);
  // Numbers read from N fields equal the general numeric value of their text.
  for (const char* t : {"   -0.50", "0.1", "  1234567890.12345", "999999999999999", "12345678901234567890",
                        "  12a   ", " +7", "-", "  .5", "1.2.3", "0.30000000000000004"}) {
    const Field w = make_field("N", FieldType::Numeric, static_cast<int>(std::strlen(t)));
    EXPECT_EQ(field_value(w, t, "").number(), rt::text::val(t)) << t;
  }
}

TEST(FieldCodec, TextsDatesAndLogicals) {
  const Field c = make_field("NOMBRE", FieldType::Character, 6);
  EXPECT_EQ(encode(c, Value("Ana")), "Ana   ");
  EXPECT_EQ(encode(c, Value("Cortado largo")), "Cortad");
  EXPECT_EQ(encode(c, Value("\xA5" "u")), "\xA5u    ");  // code-page bytes stay as they are
  EXPECT_EQ(field_value(c, "Ana   ", "").text(), "Ana   ");

  const Field d = make_field("VENC", FieldType::Date, 8);
  EXPECT_EQ(encode(d, Value(*Date::from_ymd(2027, 12, 31))), "20271231");
  EXPECT_EQ(encode(d, Value(Date{})), "        ");
  EXPECT_EQ(field_value(d, "20271231", "").date(), *Date::from_ymd(2027, 12, 31));
  EXPECT_TRUE(field_value(d, "        ", "").date().empty());
  EXPECT_EQ(decode_field(d, "        ", "").kind, FieldValue::Kind::Null);

  const Field l = make_field("OK", FieldType::Logical, 1);
  EXPECT_EQ(encode(l, Value(true)), "T");
  EXPECT_EQ(encode(l, Value(false)), "F");
  for (const char* t : {"T", "t", "Y", "y"}) EXPECT_TRUE(field_value(l, t, "").logical()) << t;
  for (const char* f : {"F", "f", "N", "n"}) {
    EXPECT_EQ(decode_field(l, f, "").kind, FieldValue::Kind::Logical) << f;
    EXPECT_FALSE(field_value(l, f, "").logical()) << f;
  }
  EXPECT_EQ(decode_field(l, "?", "").kind, FieldValue::Kind::Null);
  EXPECT_EQ(decode_field(l, " ", "").kind, FieldValue::Kind::Null);
}

TEST(FieldCodec, MemoReferencesInBothFormats) {
  const Field fp2 = make_field("SERIES", FieldType::Memo, 10);
  std::string b(10, '?');
  encode_memo_ref(fp2, 8, b.data());
  EXPECT_EQ(b, "         8");
  EXPECT_EQ(decode_memo_ref(fp2, b), 8);
  encode_memo_ref(fp2, 0, b.data());
  EXPECT_EQ(b, "          ");
  EXPECT_EQ(decode_memo_ref(fp2, b), 0);
  EXPECT_EQ(decode_memo_ref(fp2, "     12x34"), -1);
  const Field vfp = make_field("NOTES", FieldType::Memo, 4);
  std::string v(4, '?');
  encode_memo_ref(vfp, 0x0102, v.data());
  EXPECT_EQ(v, std::string("\x02\x01\x00\x00", 4));
  EXPECT_EQ(decode_memo_ref(vfp, v), 0x0102);
  EXPECT_THROW(field_value(fp2, "         8", ""), TableError);
}

TEST(FieldCodec, VisualFoxProTypesDecodeForReading) {
  Field y = make_field("PRICE", FieldType::Currency, 8, 4);
  const char ybytes[8] = {'\xF0', '\xC3', '\x41', 0, 0, 0, 0, 0};  // 0x41C3F0 = 431.0000
  EXPECT_EQ(decode_field(y, std::string_view(ybytes, 8), "").currency_text(), "431");
  const char neg[8] = {'\xFF', '\xFF', '\xFF', '\xFF', '\xFF', '\xFF', '\xFF', '\xFF'};
  EXPECT_EQ(decode_field(y, std::string_view(neg, 8), "").currency_text(), "-0.0001");
  Field t = make_field("STAMP", FieldType::DateTime, 8);
  // 2000-01-01 (2451545) at 13:35:38.999.
  const std::int32_t jdn = 2451545, ms = (13 * 3600 + 35 * 60 + 38) * 1000 + 999;
  char tb[8];
  std::memcpy(tb, &jdn, 4);
  std::memcpy(tb + 4, &ms, 4);
  const FieldValue tv = decode_field(t, std::string_view(tb, 8), "");
  EXPECT_EQ(tv.datetime_text(), "2000-01-01T13:35:38");
  EXPECT_EQ(decode_field(t, std::string(8, '\0'), "").kind, FieldValue::Kind::Null);
  Field n = make_field("QTY", FieldType::Integer, 4);
  n.flags = kFlagNullable;
  n.null_bit = 3;
  const std::int32_t seven = 7;
  char ib[4];
  std::memcpy(ib, &seven, 4);
  EXPECT_EQ(decode_field(n, std::string_view(ib, 4), std::string(1, '\0')).integer, 7);
  EXPECT_EQ(decode_field(n, std::string_view(ib, 4), std::string(1, '\x08')).kind, FieldValue::Kind::Null);
  EXPECT_TRUE(field_value(n, std::string_view(ib, 4), std::string(1, '\x08')).is_nil());
  EXPECT_THROW(encode(n, Value(1)), TableError);  // read only
}

std::vector<NewField> check_fields() {
  return {{"NUMERO", 'N', 6, 0}, {"CODIGO", 'C', 7, 0}, {"CANTID", 'N', 5, 2},
          {"FECHA", 'D', 8, 0},  {"TRAZA", 'L', 1, 0},  {"SERIES", 'M', 10, 0}};
}

TEST(TableFiles, CreateAppendReadWriteRoundTrip) {
  testing_support::TempDir tmp;
  const std::string path = tmp.file("tm390001.dbf");
  Table::create(path, check_fields());
  {
    auto t = Table::open(path);
    EXPECT_EQ(t->schema().version, kVersionFox2Memo);
    EXPECT_EQ(t->schema().code_page_mark, 0x02);
    EXPECT_EQ(t->record_count(), 0u);
    Record r = t->blank();
    r.set("NUMERO", Value(123456));
    r.set("CODIGO", Value("A\x82" "B"));
    r.set("CANTID", Value(2.5));
    r.set("FECHA", Value(*Date::from_ymd(2026, 12, 8)));
    r.set("TRAZA", Value(true));
    t->set_memo(r, r.field_index("SERIES"), "unit slot one");
    EXPECT_EQ(t->append(r), 1u);
    EXPECT_TRUE(t->is_locked(1));
    EXPECT_EQ(t->append_blank(), 2u);
    EXPECT_EQ(t->record_count(), 2u);
  }
  // The file as the other programs see it.
  const std::string bytes = testing_support::read_file(path);
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  EXPECT_EQ(p[0], 0xF5);
  EXPECT_EQ(p[4], 2);
  EXPECT_EQ(p[29], 0x02);
  const rt::text::Date today = rt::os::system_clock().now().date;
  EXPECT_EQ(p[1], today.year() % 100);
  EXPECT_EQ(p[2], today.month());
  EXPECT_EQ(p[3], today.day());
  const std::size_t hl = 32 + 32 * 6 + 1, rl = 1 + 6 + 7 + 5 + 8 + 1 + 10;
  ASSERT_EQ(bytes.size(), hl + 2 * rl + 1);
  EXPECT_EQ(bytes[hl - 1], '\x0D');
  EXPECT_EQ(bytes.back(), '\x1A');
  EXPECT_EQ(bytes.substr(hl, rl), std::string(" 123456A\x82" "B     2.5020261208T         8", rl));

  auto t = Table::open(path);
  Record r = t->read(1);
  EXPECT_EQ(r.get("NUMERO").number(), 123456);
  EXPECT_EQ(r.get("CODIGO").text(), "A\x82" "B    ");
  EXPECT_EQ(r.get("CANTID").number(), 2.5);
  EXPECT_TRUE(r.get("TRAZA").logical());
  EXPECT_EQ(t->value(r, r.field_index("SERIES")).text(), "unit slot one");
  const Record blank = t->read(2);
  EXPECT_TRUE(blank.is_null(0));
  EXPECT_EQ(t->value(blank, blank.field_index("SERIES")).text(), "");
  // Writing needs the record lock in a shared open.
  r.set("CANTID", Value(3));
  try {
    t->write(r);
    FAIL() << "unlocked write accepted";
  } catch (const TableError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::NotLocked);
  }
  ASSERT_TRUE(t->lock_record(1));
  r.set_deleted(true);
  t->write(r);
  t->unlock_all();
  EXPECT_FALSE(t->is_locked(1));
  const Record again = t->read(1);
  EXPECT_TRUE(again.deleted());
  EXPECT_EQ(again.get("CANTID").number(), 3);
  EXPECT_THROW(t->read(3), TableError);
  EXPECT_THROW(t->read(0), TableError);
}

TEST(TableFiles, CreateRefusesBadFieldsAndExistingFiles) {
  testing_support::TempDir tmp;
  const std::string path = tmp.file("x.dbf");
  EXPECT_THROW(Table::create(path, {{"TOOLONGNAME1", 'C', 5, 0}}), TableError);
  EXPECT_THROW(Table::create(path, {{"A", 'C', 0, 0}}), TableError);
  EXPECT_THROW(Table::create(path, {{"A", 'N', 21, 0}}), TableError);
  EXPECT_THROW(Table::create(path, {{"A", 'N', 4, 3}}), TableError);
  EXPECT_THROW(Table::create(path, {{"A", 'C', 5, 0}, {"a", 'C', 5, 0}}), TableError);
  EXPECT_THROW(Table::create(path, {{"A", 'I', 4, 0}}), TableError);
  EXPECT_FALSE(rt::os::file_exists(path));
  Table::create(path, {{"A", 'C', 5, 0}});
  EXPECT_EQ(static_cast<unsigned char>(testing_support::read_file(path)[0]), 0x03);
  EXPECT_FALSE(rt::os::file_exists(tmp.file("x.fpt")));
  EXPECT_THROW(Table::create(path, {{"A", 'C', 5, 0}}), TableError);
}

TEST(TableFiles, AStoredMemoIsNeverOverwrittenAndNeverTouchesOtherMemos) {
  testing_support::TempDir tmp;
  const std::string path = tmp.file("m.dbf");
  Table::create(path, {{"ID", 'N', 3, 0}, {"TXT", 'M', 10, 0}});
  auto t = Table::open(path);
  const int m = 1;
  Record a = t->blank();
  t->set_memo(a, m, std::string(40, 'a'));  // 48 bytes: one 64-byte block
  t->append(a);
  Record b = t->blank();
  t->set_memo(b, m, "bbb");
  t->append(b);
  a = t->read(1);
  const std::int64_t a_block = a.memo_block(m);
  const std::int64_t b_block = t->read(2).memo_block(m);
  EXPECT_EQ(a_block, 8);
  EXPECT_EQ(b_block, 9);
  // Fits in its block and the record is locked (just appended): still a new
  // memo, so the stored record keeps its own until it is written.
  t->set_memo(a, m, "short");
  EXPECT_EQ(a.memo_block(m), 10);
  EXPECT_EQ(t->memo(t->read(1), m), std::string(40, 'a'));
  // Blocks no stored record refers to yet are rewritten in place.
  t->set_memo(a, m, "shorter");
  EXPECT_EQ(a.memo_block(m), 10);
  t->write(a);
  // Grows: a new memo at the end, b untouched.
  t->set_memo(a, m, std::string(100, 'x'));
  EXPECT_EQ(a.memo_block(m), 11);
  t->write(a);
  EXPECT_EQ(t->memo(t->read(2), m), "bbb");
  EXPECT_EQ(t->memo(t->read(1), m), std::string(100, 'x'));
  // Not locked: never in place, even when it would fit.
  t->unlock_all();
  Record a2 = t->read(1);
  t->set_memo(a2, m, "y");
  EXPECT_GT(a2.memo_block(m), 11);
  // A record copying another record's reference gets its own copy of the memo.
  Record copy = t->read(2);
  const std::uint32_t n = t->append(copy);
  const Record stored = t->read(n);
  EXPECT_NE(stored.memo_block(m), b_block);
  EXPECT_EQ(t->memo(stored, m), "bbb");
  t->set_memo(copy, m, "changed");
  EXPECT_EQ(t->memo(t->read(2), m), "bbb");
  // Empty memo = no reference.
  Record e = t->read(n);
  t->set_memo(e, m, "");
  EXPECT_EQ(e.memo_block(m), 0);
  // The next-free pointer follows the file.
  const std::string fpt = testing_support::read_file(tmp.file("m.fpt"));
  const auto* h = reinterpret_cast<const unsigned char*>(fpt.data());
  const std::uint32_t next = (h[0] << 24) | (h[1] << 16) | (h[2] << 8) | h[3];
  EXPECT_EQ(next * 64u, fpt.size());
  EXPECT_EQ(h[7], 64);
}

TEST(TableFiles, ReadOnlyOpenRefusesEveryWrite) {
  testing_support::TempDir tmp;
  const std::string path = tmp.file("r.dbf");
  Table::create(path, {{"A", 'C', 3, 0}});
  OpenOptions o;
  o.read_only = true;
  auto t = Table::open(path, o);
  try {
    t->append_blank();
    FAIL();
  } catch (const TableError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::ReadOnly);
  }
}

TEST(TableFiles, SharedAndExclusiveOpensExcludeEachOther) {
  testing_support::TempDir tmp;
  const std::string path = tmp.file("s.dbf");
  Table::create(path, {{"A", 'C', 3, 0}});
  OpenOptions excl;
  excl.share = Share::Exclusive;
  {
    auto shared1 = Table::open(path);
    auto shared2 = Table::open(path);
    try {
      Table::open(path, excl);
      FAIL() << "exclusive open while shared opens exist";
    } catch (const TableError& e) {
      EXPECT_TRUE(e.network_error());
    }
  }
  auto x = Table::open(path, excl);
  try {
    Table::open(path);
    FAIL() << "shared open of an exclusively open table";
  } catch (const TableError& e) {
    EXPECT_TRUE(e.network_error());
    EXPECT_NE(std::string(e.what()).find("s.dbf"), std::string::npos);
  }
  x->close();
  EXPECT_NO_THROW(Table::open(path));
}

TEST(TableFiles, RecordLocksExcludeOtherOpensAndAreDroppedOnClose) {
  testing_support::TempDir tmp;
  const std::string path = tmp.file("l.dbf");
  Table::create(path, {{"A", 'C', 3, 0}});
  auto a = Table::open(path);
  auto b = Table::open(path);
  a->append_blank();
  a->append_blank();
  a->unlock_all();
  ASSERT_TRUE(a->lock_record(1));
  EXPECT_FALSE(b->lock_record(1));
  EXPECT_TRUE(b->lock_record(2));
  EXPECT_FALSE(b->lock_record(3));  // no such record
  ASSERT_TRUE(a->lock_header());
  EXPECT_FALSE(b->lock_header());
  a->close();
  EXPECT_TRUE(b->lock_record(1));
  EXPECT_TRUE(b->lock_header());
}

TEST(TableFiles, OtherOpensSeeAppendsAndWritesAfterLocking) {
  testing_support::TempDir tmp;
  const std::string path = tmp.file("v.dbf");
  Table::create(path, {{"N", 'N', 5, 0}});
  auto a = Table::open(path);
  auto b = Table::open(path);
  for (int i = 1; i <= 3; ++i) {
    Record r = a->blank();
    r.set(0, Value(i));
    a->append(r);
  }
  a->unlock_all();
  EXPECT_EQ(b->record_count(), 3u);
  EXPECT_EQ(b->read(1).get(0).number(), 1);  // b now has a cached page
  ASSERT_TRUE(a->lock_record(1));
  Record r = a->read(1);
  r.set(0, Value(42));
  a->write(r);
  a->unlock_all();
  ASSERT_TRUE(b->lock_record(1));  // the lock makes b read the file again
  EXPECT_EQ(b->read(1).get(0).number(), 42);
  EXPECT_EQ(b->read(4 - 1).get(0).number(), 3);
}

TEST(LockSchemes, SettingChoosesTheOffsets) {
  EXPECT_EQ(parse_lock_scheme("fox"), LockScheme::Fox);
  EXPECT_EQ(parse_lock_scheme(" OFFSET1G "), LockScheme::Offset1G);
  EXPECT_THROW(parse_lock_scheme("brindle"), TableError);
  const LockLayout fox(LockScheme::Fox, 97, 21);
  EXPECT_EQ(fox.record(1).offset, 0x7FFFFFFDu);
  EXPECT_EQ(fox.header().offset, 0x7FFFFFFEu);
  const LockLayout g(LockScheme::Offset1G, 97, 21);
  EXPECT_EQ(g.record(2).offset, 1000000000u + 97 + 21);
  EXPECT_EQ(g.record(2).length, 21u);
  EXPECT_LT(97 + fox.max_records() * 21, fox.record(static_cast<std::uint32_t>(fox.max_records())).offset);
}

}  // namespace

namespace {

TEST(LockSchemes, TablesLockTheBytesOfTheirScheme) {
  testing_support::TempDir tmp;
  const std::string path = tmp.file("k.dbf");
  Table::create(path, {{"A", 'C', 3, 0}});
  { Table::open(path)->append_blank(); }
  auto raw = rt::os::File::open(path, rt::os::OpenMode::ReadWrite);
  {
    auto fox = Table::open(path);
    EXPECT_EQ(fox->lock_scheme(), LockScheme::Fox);
    ASSERT_TRUE(fox->lock_record(1));
    EXPECT_FALSE(raw->try_lock(0x7FFFFFFD, 1, rt::os::LockKind::Exclusive));
    ASSERT_TRUE(fox->lock_header());
    EXPECT_FALSE(raw->try_lock(0x7FFFFFFE, 1, rt::os::LockKind::Exclusive));
    // The open marker is held shared by every open.
    EXPECT_FALSE(raw->try_lock(kOpenMarkerByte, 1, rt::os::LockKind::Exclusive));
    EXPECT_TRUE(raw->try_lock(kOpenMarkerByte, 1, rt::os::LockKind::Shared));
    raw->unlock(kOpenMarkerByte, 1);
  }
  OpenOptions o;
  o.lock_scheme = LockScheme::Offset1G;
  auto g = Table::open(path, o);
  ASSERT_TRUE(g->lock_record(1));
  const std::uint64_t rec1 = 1000000000ull + g->schema().header_length;
  EXPECT_FALSE(raw->try_lock(rec1 + g->schema().record_length - 1, 1, rt::os::LockKind::Exclusive));
  EXPECT_TRUE(raw->try_lock(0x7FFFFFFD, 1, rt::os::LockKind::Exclusive));
  raw->unlock(0x7FFFFFFD, 1);
  g->close();

  testing_support::set_env(kLockSchemeVariable, "offset4g");
  EXPECT_EQ(Table::open(path)->lock_scheme(), LockScheme::Offset4G);
  testing_support::set_env(kLockSchemeVariable, "dbase");
  try {
    Table::open(path);
    ADD_FAILURE() << "unknown lock scheme accepted";
  } catch (const TableError& e) {
    EXPECT_NE(std::string(e.what()).find("CHK_LOCK_SCHEME"), std::string::npos) << e.what();
  }
  testing_support::unset_env(kLockSchemeVariable);
}

}  // namespace

namespace {

TEST(TableFiles, CodePageMarkAndMemoBlockSizeAreKept) {
  testing_support::TempDir tmp;
  const std::string path = tmp.file("WIN.DBF");
  CreateOptions o;
  o.code_page = rt::text::CodePage::CP1252;
  o.memo_block_size = 512;
  Table::create(path, {{"NOTE", 'M', 10, 0}}, o);
  EXPECT_TRUE(rt::os::file_exists(tmp.file("WIN.FPT")));
  auto t = Table::open(tmp.file("win.dbf"));
  EXPECT_EQ(t->schema().code_page_mark, 0x03);
  EXPECT_EQ(t->code_page(), rt::text::CodePage::CP1252);
  Record r = t->blank();
  t->set_memo(r, 0, std::string(600, 'z'));  // 608 bytes: two 512-byte blocks
  EXPECT_EQ(r.memo_block(0), 1);
  t->append(r);
  Record s = t->blank();
  t->set_memo(s, 0, "next");
  EXPECT_EQ(s.memo_block(0), 3);
  t->append(s);
  EXPECT_EQ(t->memo(t->read(1), 0), std::string(600, 'z'));
  EXPECT_EQ(t->memo(t->read(2), 0), "next");
  t->close();
  EXPECT_EQ(static_cast<unsigned char>(testing_support::read_file(path)[29]), 0x03);
}

TEST(TableFiles, ExclusiveOpenWritesWithoutLocks) {
  testing_support::TempDir tmp;
  const std::string path = tmp.file("e.dbf");
  Table::create(path, {{"N", 'N', 3, 0}});
  OpenOptions o;
  o.share = Share::Exclusive;
  auto t = Table::open(path, o);
  for (int i = 0; i < 3; ++i) t->append_blank();
  Record r = t->read(2);
  r.set(0, Value(7));
  t->write(r);  // no lock needed: nobody else has the table
  EXPECT_EQ(t->read(2).get(0).number(), 7);
  EXPECT_EQ(t->record_count(), 3u);
}

}  // namespace

namespace {

TEST(TableFiles, AppendWaitsForTheHeaderLockThenReportsBusyWithoutWriting) {
  testing_support::TempDir tmp;
  const std::string path = tmp.file("h.dbf");
  Table::create(path, {{"N", 'N', 3, 0}});
  auto a = Table::open(path);
  OpenOptions quick;
  quick.lock_wait_seconds = 0.05;
  auto b = Table::open(path, quick);
  const std::uint32_t n = a->append_blank();
  EXPECT_FALSE(b->lock_record(n));  // the new record stays locked by its appender
  ASSERT_TRUE(a->lock_header());
  const std::string before = testing_support::read_file(path);
  try {
    b->append_blank();
    FAIL() << "append went ahead without the header lock";
  } catch (const TableError& e) {
    EXPECT_TRUE(e.network_error());
  }
  EXPECT_EQ(testing_support::read_file(path), before);
  a->unlock_all();
  EXPECT_EQ(b->append_blank(), 2u);
  EXPECT_EQ(a->record_count(), 2u);
}

}  // namespace
