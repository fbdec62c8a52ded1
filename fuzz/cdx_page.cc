// Decodes any bytes as a CDX page, and any larger input as a whole bag that
// is opened, walked in both directions, sought in and verified.  Nothing may
// crash, hang or allocate without bound; damage must end in CdxError.
//
// Input: byte 0 = key length (0 = the rest is a whole bag file), byte 1 =
// pad byte selector (even: blanks, odd: zero bytes), then the page.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "runtime/cdx/bag.h"
#include "runtime/cdx/page.h"
#include "runtime/os/file.h"

using namespace rt::cdx;

namespace {

void page_case(const std::uint8_t* data, std::size_t size) {
  const int key_length = data[0];
  const std::uint8_t pad = (data[1] & 1) ? 0x00 : 0x20;
  std::uint8_t page[kPageSize] = {};
  std::memcpy(page, data + 2, std::min(size - 2, kPageSize));
  Node n;
  try {
    n = decode_node(page, key_length, pad);
  } catch (const PageError&) {
    return;
  }
  std::uint8_t again[kPageSize];
  try {
    encode_node(n, pad, again);
  } catch (const PageError&) {
    return;  // narrower bit fields than ours can hold more than we would
  }
  const Node m = decode_node(again, key_length, pad);
  if (m.keys != n.keys || m.recnos != n.recnos || m.children != n.children) __builtin_trap();
}

void bag_case(const std::uint8_t* data, std::size_t size) {
  static const std::string path = "/tmp/fuzz_cdx_page_" + std::to_string(getpid()) + ".cdx";
  {
    auto f = rt::os::File::open(path, rt::os::OpenMode::Truncate);
    f->write_at(0, data + 1, size - 1);
  }
  try {
    auto bag = Bag::open(path, false);
    (void)bag->verify();
    for (Tag* t : bag->tags()) {
      Cursor c(*t);
      std::size_t n = 0;
      for (bool ok = c.first(); ok && n < 100000; ok = c.next()) ++n;
      for (bool ok = c.last(); ok && n < 200000; ok = c.prev()) ++n;
      c.seek(std::string(1, 'M'));
      c.seek(std::string(std::size_t(t->key_length()), '\0'), 5);
      (void)t->count();
    }
  } catch (const CdxError&) {
  } catch (const rt::os::IoError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  if (data[0] == 0) {
    if (size <= 1 + 64 * 1024) bag_case(data, size);
  } else {
    page_case(data, size);
  }
  return 0;
}
