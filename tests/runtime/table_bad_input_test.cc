// Damaged and hostile files: a clear error naming the file and the problem,
// no crash, no huge allocation, and the file left exactly as it was.
#include <gtest/gtest.h>

#include "runtime/table/table.h"
#include "tests/support/testing.h"

using namespace rt::table;

namespace {

// A sound FoxPro 2.x table with one C(4) field and one M field, 1 record.
std::string sound_table() {
  std::string h(32, '\0');
  h[0] = '\xF5';
  h[1] = 26; h[2] = 12; h[3] = 8;
  h[4] = 1;
  const int hl = 32 + 64 + 1, rl = 1 + 4 + 10;
  h[8] = static_cast<char>(hl); h[9] = 0;
  h[10] = static_cast<char>(rl); h[11] = 0;
  std::string d1(32, '\0'), d2(32, '\0');
  d1.replace(0, 4, "NAME"); d1[11] = 'C'; d1[12] = 1; d1[16] = 4;
  d2.replace(0, 4, "NOTE"); d2[11] = 'M'; d2[12] = 5; d2[16] = 10;
  return h + d1 + d2 + "\x0D" + " abcd         8" + "\x1A";
}

std::string sound_memo(std::uint32_t length = 5) {
  std::string m(512, '\0');
  m[3] = 9;   // next free block
  m[7] = 64;  // block size
  std::string block(64, '\0');
  block[3] = 1;
  block[7] = static_cast<char>(length);
  block.replace(8, 5, "hello");
  return m + block;
}

struct BadFile {
  testing_support::TempDir tmp;
  std::string dbf, fpt;
  BadFile(const std::string& table, const std::string& memo) {
    dbf = tmp.file("bad.dbf");
    fpt = tmp.file("bad.fpt");
    testing_support::write_file(dbf, table);
    if (!memo.empty()) testing_support::write_file(fpt, memo);
  }
  // Opens (shared, read-write) expecting a TableError whose text holds `word`
  // and names the file; checks that nothing was written.
  void expect_refused(const std::string& word, const std::string& file_word = "bad.") {
    const std::string before = testing_support::read_file(dbf);
    try {
      auto t = Table::open(dbf);
      for (std::uint32_t i = 1; i <= t->record_count(); ++i) {
        const Record r = t->read(i);
        for (int f = 0; f < r.field_count(); ++f) t->value(r, f);
      }
      ADD_FAILURE() << "accepted a damaged table, expected: " << word;
    } catch (const TableError& e) {
      const std::string what = e.what();
      EXPECT_NE(what.find(word), std::string::npos) << what;
      EXPECT_NE(what.find(file_word), std::string::npos) << what;
    }
    EXPECT_EQ(testing_support::read_file(dbf), before);
  }
};

TEST(BadInput, TheSoundSampleOpens) {
  BadFile f(sound_table(), sound_memo());
  auto t = Table::open(f.dbf);
  const Record r = t->read(1);
  EXPECT_EQ(t->value(r, 1).text(), "hello");
}

TEST(BadInput, DamagedHeadersAreRefusedWithTheirProblem) {
  BadFile(sound_table().substr(0, 20), sound_memo()).expect_refused("truncated header");
  BadFile(sound_table().substr(0, 60), sound_memo()).expect_refused("truncated header");
  BadFile("", sound_memo()).expect_refused("truncated header");
  std::string v = sound_table();
  v[0] = '\x8B';
  BadFile(v, sound_memo()).expect_refused("version byte 0x8B");
  std::string t = sound_table();
  t[32 + 11] = 'Z';
  BadFile(t, sound_memo()).expect_refused("unknown type 'Z'");
  std::string l = sound_table();
  l[32 + 16] = 0;
  BadFile(l, sound_memo()).expect_refused("impossible size");
  std::string n = sound_table();
  n[32] = '\x01';
  BadFile(n, sound_memo()).expect_refused("impossible name");
  std::string rl = sound_table();
  rl[10] = 6;  // record shorter than its fields
  BadFile(rl, sound_memo()).expect_refused("longer than the record length");
  std::string hl = sound_table();
  hl[8] = 10;
  BadFile(hl, sound_memo()).expect_refused("header length");
  std::string term = sound_table();
  term[96] = 'X';  // terminator gone, header length unchanged
  BadFile(term, sound_memo()).expect_refused("field descriptor");
}

TEST(BadInput, RecordCountBeyondTheFileIsRefusedWithoutAllocating) {
  std::string c = sound_table();
  c[4] = 3;
  BadFile(c, sound_memo()).expect_refused("announces 3 records");
  std::string huge = sound_table();
  huge[4] = huge[5] = huge[6] = huge[7] = '\xFF';
  BadFile(huge, sound_memo()).expect_refused("announces 4294967295 records");
}

TEST(BadInput, MemoProblemsNameTheMemoFile) {
  BadFile(sound_table(), "").expect_refused("memo file bad.fpt is missing");
  std::string zero = sound_memo();
  zero[7] = 0;
  BadFile(sound_table(), zero).expect_refused("block size is 0", "bad.fpt");
  BadFile(sound_table(), sound_memo().substr(0, 4)).expect_refused("truncated memo file header", "bad.fpt");
  // Reference past the end; length past the end; reference into the header.
  std::string past = sound_table();
  past.replace(32 + 1 + 64 + 5, 10, "      9999");
  BadFile(past, sound_memo()).expect_refused("past the end", "bad.fpt");
  BadFile(sound_table(), sound_memo(200)).expect_refused("past the end", "bad.fpt");
  std::string inside = sound_table();
  inside.replace(32 + 1 + 64 + 5, 10, "         2");
  BadFile(inside, sound_memo()).expect_refused("header", "bad.fpt");
  std::string garbage = sound_table();
  garbage.replace(32 + 1 + 64 + 5, 10, "    12ab34");
  BadFile(garbage, sound_memo()).expect_refused("malformed memo reference");
}

TEST(BadInput, InMemoryDecodersRefuseEveryTruncation) {
  // Every prefix of a sound table is either refused or parsed within bounds.
  const std::string whole = sound_table();
  for (std::size_t n = 0; n < whole.size(); ++n) {
    try {
      const Schema s = parse_header(std::string_view(whole).substr(0, n), "t.dbf");
      check_file_size(s, n);
      EXPECT_GE(n, s.header_length);
    } catch (const TableError& e) {
      EXPECT_EQ(e.file(), "t.dbf");
    }
  }
  const std::string memo = sound_memo();
  // The last block need not be padded: 8 + 5 bytes after the header suffice.
  for (std::size_t n = 0; n < 512 + 8 + 5; ++n) {
    EXPECT_THROW(read_memo_from_bytes(std::string_view(memo).substr(0, n), 8, "t.fpt"), TableError) << n;
  }
  EXPECT_EQ(read_memo_from_bytes(memo, 8, "t.fpt").data, "hello");
}

}  // namespace
