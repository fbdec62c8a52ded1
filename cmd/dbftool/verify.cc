// dbftool verify FILE: checks the header, every record and every memo
// reference, reports every problem, exit code 1 when there is one.
#include "cmd/dbftool/verify.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

#include "cmd/dbftool/command.h"
#include "cmd/dbftool/table_access.h"
#include "runtime/os/file.h"
#include "runtime/table/memo_file.h"

namespace dbftool {

void VerifyReport::problem(const std::string& what) {
  std::fprintf(stdout, "%s: %s\n", file_.c_str(), what.c_str());
  ++problems_;
}

void VerifyReport::note(const std::string& what) {
  std::fprintf(stdout, "%s: note: %s\n", file_.c_str(), what.c_str());
}

namespace {

using rt::table::Record;
using rt::table::Table;
using rt::table::TableError;

std::vector<std::pair<std::string, VerifyCheck>>& extra_checks() {
  static std::vector<std::pair<std::string, VerifyCheck>> c;
  return c;
}

struct MemoUse {
  std::uint64_t first = 0, blocks = 0;
  std::uint32_t recno = 0;
  std::string field;
};

void check_end_of_file(Table& t, std::uint32_t count, VerifyReport& r) {
  const auto& s = t.schema();
  auto f = t.env().open_file(t.path(), rt::os::OpenMode::ReadOnly);
  const std::uint64_t end = s.header_length + static_cast<std::uint64_t>(count) * s.record_length;
  const std::uint64_t size = f->size();
  if (size == end) {
    r.note("no end-of-file mark (0x1A) after the last record");
  } else {
    unsigned char c = 0;
    f->read_exact(end, &c, 1);
    if (c != rt::table::kEndOfFile) {
      char buf[64];
      std::snprintf(buf, sizeof buf, "byte 0x%02X where the end-of-file mark (0x1A) belongs", c);
      r.note(buf);
    }
    if (size > end + 1) r.note(std::to_string(size - end - 1) + " bytes after the end-of-file mark");
  }
}

void check_records(Table& t, std::uint32_t count, VerifyReport& r) {
  std::string memo_problem;
  std::uint32_t block_size = 0, next_free = 0;
  std::uint64_t memo_size = 0;
  bool memo_ok = false;
  if (!t.memo_path().empty()) {
    try {
      auto mf = t.env().open_file(t.memo_path(), rt::os::OpenMode::ReadOnly);
      std::string head(8, '\0');
      head.resize(mf->read_at(0, head.data(), head.size()));
      const auto h = rt::table::parse_memo_header(head, t.memo_path());
      block_size = h.block_size;
      next_free = h.next_free;
      memo_size = mf->size();
      memo_ok = true;
      if (static_cast<std::uint64_t>(next_free) * block_size < rt::table::kMemoHeaderSize)
        r.problem("memo file: next free block " + std::to_string(next_free) + " lies inside the memo header");
    } catch (const std::exception& e) {
      r.problem(std::string("memo file: ") + e.what());
    }
  } else if (t.schema().has_memo_fields()) {
    r.problem("the table has memo fields but no memo file");
  }

  std::vector<MemoUse> uses;
  Record rec = t.blank();
  const int nfields = static_cast<int>(t.schema().fields.size());
  for (std::uint32_t n = 1; n <= count; ++n) {
    const std::string where = "record " + std::to_string(n);
    try {
      t.read_into(n, rec);
    } catch (const TableError& e) {
      r.problem(where + ": " + e.problem());
      continue;
    }
    const char flag = rec.bytes()[0];
    if (flag != ' ' && flag != '*') {
      char buf[80];
      std::snprintf(buf, sizeof buf, ": deletion flag is 0x%02X (expected blank or '*')", static_cast<unsigned char>(flag));
      r.problem(where + buf);
    }
    for (int i = 0; i < nfields; ++i) {
      const auto& f = rec.field(i);
      if (null_flagged(rec, i)) continue;
      if (!f.is_memo()) {
        if (auto p = field_problem(shape_of(f), rec.raw(i))) r.problem(where + ": field " + f.name + ": " + *p);
        continue;
      }
      const std::int64_t block = rec.memo_block(i);
      if (block == 0) continue;
      if (block < 0) {
        r.problem(where + ": field " + f.name + ": memo reference '" + std::string(rec.raw(i)) +
                  "' is not a block number");
        continue;
      }
      if (!memo_ok) continue;
      try {
        const std::string data = t.memo(rec, i);
        const std::uint64_t blocks = rt::table::blocks_for(data.size(), block_size);
        uses.push_back({static_cast<std::uint64_t>(block), blocks, n, f.name});
        if (static_cast<std::uint64_t>(block) + blocks > next_free)
          r.problem(where + ": field " + f.name + ": memo at block " + std::to_string(block) +
                    " reaches past the memo file's next free block " + std::to_string(next_free) +
                    " (the next memo written would overwrite it)");
      } catch (const TableError& e) {
        r.problem(where + ": field " + f.name + ": " + e.problem());
      }
    }
  }
  (void)memo_size;
  // Two references into the same blocks: changing one memo would change the other.
  std::sort(uses.begin(), uses.end(), [](const MemoUse& a, const MemoUse& b) { return a.first < b.first; });
  for (std::size_t k = 1; k < uses.size(); ++k) {
    const MemoUse& a = uses[k - 1];
    const MemoUse& b = uses[k];
    if (b.first < a.first + a.blocks)
      r.problem("record " + std::to_string(b.recno) + ": field " + b.field + ": memo at block " +
                std::to_string(b.first) + " shares blocks with record " + std::to_string(a.recno) + " field " +
                a.field);
  }
}

// The last line of every verify that could read the table.
int summary(const VerifyReport& r) {
  const int n = r.problems();
  if (n == 0)
    std::fprintf(stdout, "verify: no problems\n");
  else
    std::fprintf(stdout, "verify: %d problem%s\n", n, n == 1 ? "" : "s");
  return n ? kExitProblems : kExitOk;
}

std::vector<std::string>& bag_options() {
  static std::vector<std::string> b;
  return b;
}

int run(const std::vector<std::string>& argv) {
  const auto args = parse_args(argv, {{"--bag", true, true}});
  if (args.has("--bag")) bag_options() = args.values.at("--bag");
  const std::string& file = single_file(args, "verify");
  VerifyReport report(file);
  std::unique_ptr<Table> t;
  try {
    t = open_for_reading(file);
  } catch (const TableError& e) {
    using K = rt::table::ErrorKind;
    if (e.kind() == K::Corrupt || e.kind() == K::Unsupported) {
      report.problem(e.problem());
      return summary(report);
    }
    report_error(e.what());
    return kExitCannotRead;
  }
  const std::uint32_t count = t->record_count();
  try {
    check_end_of_file(*t, count, report);
  } catch (const std::exception& e) {
    report.problem(e.what());
  }
  check_records(*t, count, report);
  for (auto& [name, check] : extra_checks()) {
    try {
      check(*t, report);
    } catch (const std::exception& e) {
      if (is_busy(e)) {
        // Not a problem of the table: the check could not be made.
        report_error(e.what());
        std::fprintf(stdout, "verify: not finished (in use by another program)\n");
        return kExitBusy;
      }
      report.problem(name + ": " + e.what());
    }
  }
  std::fprintf(stdout, "%s: %u records\n", file.c_str(), count);
  return summary(report);
}

const CommandRegistrar reg({"verify", "verify FILE [--bag BAG]...",
                            "check the header, every record and every memo reference; report every problem",
                            "Problems (exit code 1): values that cannot be read (numbers, dates, logicals),\n"
                            "bad deletion flags, memo references that are not block numbers, that lie\n"
                            "outside the memo file or past its next free block, or that share blocks.\n"
                            "Notes (exit code unchanged): a missing or odd end-of-file mark.\n"
                            "Order bags (the table's own, or each --bag): page structure, sibling links,\n"
                            "the free-page list head, and every tag's keys against the keys computed from\n"
                            "the records.\n"
                            "The last line sums up: \"verify: no problems\" or \"verify: N problems\".\n",
                            run});

}  // namespace

const std::vector<std::string>& verify_bag_options() { return bag_options(); }

VerifyCheckRegistrar::VerifyCheckRegistrar(std::string name, VerifyCheck check) {
  extra_checks().emplace_back(std::move(name), std::move(check));
}

}  // namespace dbftool
