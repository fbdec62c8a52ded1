// Any bytes as an FPT memo file: the header and every memo reference either
// refused with a TableError or read within the file.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "runtime/table/error.h"
#include "runtime/table/memo_file.h"

using namespace rt::table;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  MemoHeader h;
  try {
    h = parse_memo_header(bytes, "fuzz.fpt");
  } catch (const TableError&) {
    return 0;
  }
  if (h.block_size == 0) std::abort();
  // The first blocks after the header, the last ones of the file and a few
  // beyond it (each refusal is an exception: keep the count small).
  const std::uint64_t first = first_data_block(h.block_size);
  const std::uint64_t end = size / h.block_size;
  for (std::uint64_t b : {std::uint64_t{0}, first, first + 1, first + 2, first + 3, end > 1 ? end - 1 : 0, end, end + 1}) {
    try {
      const MemoBlock m = read_memo_from_bytes(bytes, static_cast<std::uint32_t>(b), "fuzz.fpt");
      if (b * h.block_size + 8 + m.data.size() > size) std::abort();
    } catch (const TableError&) {
    }
  }
  try {
    (void)read_memo_from_bytes(bytes, h.next_free, "fuzz.fpt");
    (void)read_memo_from_bytes(bytes, 0xFFFFFFFFu, "fuzz.fpt");
  } catch (const TableError&) {
  }
  return 0;
}
