// Tables beside the suite's other programs and the site's settings: another
// program's exclusive open is NETERR, a table of an unknown code page is
// only read, texts of a table in another code page reach the station in
// cp850, and CHK_SYNC turns the disk syncs off.
#include <gtest/gtest.h>

#include "runtime/os/fault_env.h"
#include "runtime/workarea/orders.h"
#include "runtime/workarea/workareas.h"
#include "tests/support/testing.h"

using rt::Value;
using rt::text::CodePage;
using namespace rt::table;

namespace {

std::string make_table(const testing_support::TempDir& tmp, CodePage cp = CodePage::CP850) {
  const std::string path = tmp.file("t.dbf");
  CreateOptions c;
  c.code_page = cp;
  Table::create(path, {{"NAME", 'C', 10, 0}, {"NOTE", 'M', 10, 0}}, c);
  return path;
}

TEST(TableSite, AnotherProgramsExclusiveUseOfTableOrMemoIsANetworkError) {
  for (const char* file : {"t.dbf", "t.fpt"}) {
    SCOPED_TRACE(file);
    testing_support::TempDir tmp;
    const std::string path = make_table(tmp);
    rt::os::FaultEnv env;
    env.deny_opens(file);
    OpenOptions o;
    o.env = &env;
    try {
      Table::open(path, o);
      ADD_FAILURE() << "opened";
    } catch (const TableError& e) {
      EXPECT_EQ(e.kind(), ErrorKind::Busy) << e.what();
    }
    rt::wa::WorkAreas areas(env);
    EXPECT_FALSE(areas.use(path));
    EXPECT_TRUE(areas.neterr());
  }
}

TEST(TableSite, AnUnknownCodePageMarkIsReadButNeverWritten) {
  testing_support::TempDir tmp;
  const std::string path = make_table(tmp);
  { Table::open(path)->append_blank(); }
  std::string bytes = testing_support::read_file(path);
  bytes[29] = 0x57;
  testing_support::write_file(path, bytes);
  auto t = Table::open(path);
  Record r = t->read(1);
  EXPECT_FALSE(t->schema().code_page_known);
  for (const auto& write : std::vector<std::function<void()>>{[&] { t->append_blank(); },
                                                               [&] { t->lock_record(1); t->write(r); },
                                                               [&] { t->set_memo(r, 1, "x"); }}) {
    try {
      write();
      ADD_FAILURE() << "written";
    } catch (const TableError& e) {
      EXPECT_EQ(e.kind(), ErrorKind::Unsupported);
      EXPECT_NE(std::string(e.what()).find("code-page mark 0x57 is unknown"), std::string::npos) << e.what();
    }
  }
  t.reset();
  EXPECT_EQ(testing_support::read_file(path), bytes);
  std::string out;
  const std::string dump = testing_support::program("dbftool") + " dump " + path;
  EXPECT_EQ(testing_support::run_capture(dump + " 2>&1", &out), 3);
  EXPECT_NE(out.find("--codepage"), std::string::npos) << out;
  EXPECT_EQ(testing_support::run_capture(dump + " --codepage 850", &out), 0) << out;
}

TEST(TableSite, TextsOfAnotherCodePageAreTranscodedBetweenTableAndStation) {
  // "CAFÉ Ñ" and "ÁGUILA" in cp850, and how each code page stores them
  // (cp437 has no "Á").
  const std::string cafe = "CAF\x90 \xA5", aguila = "\xB5GUILA";
  struct Case {
    CodePage cp;
    std::string cafe_stored, aguila_read;
  };
  for (const Case& c : {Case{CodePage::CP1252, "CAF\xC9 \xD1", aguila}, Case{CodePage::CP437, cafe, "?GUILA"},
                        Case{CodePage::CP850, cafe, aguila}}) {
    SCOPED_TRACE(static_cast<int>(c.cp));
    testing_support::TempDir tmp;
    const std::string path = make_table(tmp, c.cp);
    rt::wa::WorkAreas areas;
    ASSERT_TRUE(areas.use(path, {.alias = "", .exclusive = true, .readonly = false}));
    rt::wa::Area& a = areas.current();
    for (const std::string& name : {cafe, aguila}) {
      ASSERT_TRUE(a.append());
      a.put_fields({{"NAME", Value(name)}, {"NOTE", Value(name)}});
    }
    rt::wa::create_order(a, "NAME", "NAME");
    EXPECT_EQ(std::string(a.table().read(1).raw(0)), c.cafe_stored + "    ");
    ASSERT_TRUE(rt::wa::seek(a, Value(cafe)));
    EXPECT_EQ(a.get("NAME").text(), cafe + "    ");
    EXPECT_EQ(a.get("NOTE").text(), cafe);
    a.go(2);
    EXPECT_EQ(a.get("NAME").text(), c.aguila_read + "    ");
  }
}

// An Env whose environment holds only CHK_SYNC.
struct SyncSetting : rt::os::EnvWrapper {
  std::string value;
  SyncSetting() : EnvWrapper(rt::os::Env::Default()) {}
  std::string get_env(const std::string& name) override { return name == kSyncVariable ? value : ""; }
};

TEST(TableSite, ChkSyncTurnsTheDiskSyncsOff) {
  testing_support::TempDir tmp;
  const std::string path = make_table(tmp);
  SyncSetting env;
  OpenOptions o;
  o.env = &env;
  for (const auto& [value, on] : std::vector<std::pair<std::string, bool>>{
           {"", true}, {"on", true}, {"OFF", false}, {" no ", false}, {"0", false}, {"1", true}}) {
    env.value = value;
    EXPECT_EQ(Table::open(path, o)->syncing(), on) << value;
  }
  env.value = "sometimes";
  try {
    Table::open(path, o);
    ADD_FAILURE() << "opened";
  } catch (const TableError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::Usage);
    EXPECT_NE(std::string(e.what()).find("CHK_SYNC"), std::string::npos) << e.what();
  }
}

}  // namespace
