#include "runtime/table/dbf_header.h"

#include <cstdio>
#include <cstring>

#include "runtime/table/error.h"
#include "runtime/text/convert.h"

namespace rt::table {

namespace {

std::uint32_t le32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t le16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

void put16(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v & 0xFF);
  p[1] = static_cast<unsigned char>((v >> 8) & 0xFF);
}
void put32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>((v >> (8 * i)) & 0xFF);
}

std::string hex_byte(unsigned v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%02X", v & 0xFF);
  return buf;
}

[[noreturn]] void corrupt(const std::string& file, const std::string& what) {
  throw TableError(ErrorKind::Corrupt, file, what);
}


const char* version_name(std::uint8_t v) {
  switch (v) {
    case 0x83: return " (dBASE III table with a DBT memo file)";
    case 0x8B: case 0x8C: case 0x04: case 0x43: case 0x63: case 0xCB: return " (dBASE IV/7 table)";
    case 0x02: case 0xFB: return " (dBASE II / FoxBASE table)";
    case 0xE5: return " (table with an SMT memo file)";
    default: return "";
  }
}

// The length a field of each type must have (0 = any from 1 to 254).
bool length_ok(FieldType t, unsigned len, unsigned dec) {
  switch (t) {
    case FieldType::Character: return len >= 1;
    case FieldType::Numeric:
    case FieldType::Float: return len >= 1 && len <= 32 && dec < len;
    case FieldType::Date: return len == 8;
    case FieldType::Logical: return len == 1;
    case FieldType::Memo:
    case FieldType::General:
    case FieldType::Picture: return len == 4 || len == 10;
    case FieldType::Blob:
    case FieldType::Integer: return len == 4;
    case FieldType::Double:
    case FieldType::Currency:
    case FieldType::DateTime: return len == 8;
    case FieldType::Varchar:
    case FieldType::Varbinary: return len >= 1;
    case FieldType::NullFlags: return len >= 1;
  }
  return false;
}

bool valid_name_char(char c, bool first) {
  if (c >= 'A' && c <= 'Z') return true;
  if (c >= 'a' && c <= 'z') return true;
  if (c == '_') return true;
  return !first && c >= '0' && c <= '9';
}

}  // namespace

bool Schema::has_memo_fields() const {
  for (const Field& f : fields)
    if (f.is_memo()) return true;
  return false;
}

int Schema::index_of(std::string_view name) const {
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (text::same_nocase(fields[i].name, name)) return static_cast<int>(i);
  return -1;
}

std::uint16_t announced_header_length(std::string_view bytes) {
  if (bytes.size() < 32) return 0;
  return le16(reinterpret_cast<const unsigned char*>(bytes.data()) + 8);
}

Schema parse_header(std::string_view bytes, const std::string& file) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  if (bytes.size() < 32)
    corrupt(file, "truncated header (" + std::to_string(bytes.size()) + " bytes, a table header has at least 32)");
  Schema s;
  s.file = file;
  s.version = p[0];
  switch (s.version) {
    case kVersionFox2: case kVersionFox2Memo: case kVersionVfp: case kVersionVfpAutoinc: case kVersionVfpVar:
      break;
    default:
      throw TableError(ErrorKind::Unsupported, file,
                       "not a FoxPro table: version byte " + hex_byte(s.version) + version_name(s.version) +
                           " is not supported");
  }
  const unsigned y = p[1];
  s.update_year = y >= 100 ? 1900 + static_cast<int>(y) : text::DateWindow::current().resolve(static_cast<int>(y));
  s.update_month = p[2];
  s.update_day = p[3];
  s.record_count = le32(p + 4);
  s.header_length = le16(p + 8);
  s.record_length = le16(p + 10);
  s.table_flags = p[28];
  s.code_page_mark = p[29];
  if (auto cp = text::code_page_from_mark(s.code_page_mark)) {
    s.code_page = *cp;
  } else {
    s.code_page = text::CodePage::CP850;
    s.code_page_known = false;
  }
  if (s.header_length < 33)
    corrupt(file, "impossible header length " + std::to_string(s.header_length) + " (at least 33)");
  if (bytes.size() < s.header_length)
    corrupt(file, "truncated header (" + std::to_string(bytes.size()) + " of " + std::to_string(s.header_length) +
                      " bytes)");
  if (s.record_length < 2)
    corrupt(file, "impossible record length " + std::to_string(s.record_length));

  // Descriptors up to the terminator (0x0D; one writer put 0x0A there).
  std::size_t pos = 32;
  std::uint32_t offset = 1;
  int bit = 0;
  std::vector<Field> all;
  bool terminated = false;
  while (pos < s.header_length) {
    if (p[pos] == kHeaderTerminator || p[pos] == 0x0A) { terminated = true; break; }
    if (pos + 32 > s.header_length)
      corrupt(file, "field descriptor " + std::to_string(all.size() + 1) + " runs past the header");
    const unsigned char* d = p + pos;
    Field f;
    std::size_t n = 0;
    while (n < 11 && d[n] != 0) ++n;
    f.name.assign(reinterpret_cast<const char*>(d), n);
    const std::string which = "field descriptor " + std::to_string(all.size() + 1);
    if (f.name.empty()) corrupt(file, which + " has no name");
    for (std::size_t i = 0; i < f.name.size(); ++i)
      if (!valid_name_char(f.name[i], i == 0))
        corrupt(file, which + " has an impossible name (byte " + hex_byte(static_cast<unsigned char>(f.name[i])) + ")");
    const char letter = static_cast<char>(d[11]);
    if (!known_field_type(letter))
      throw TableError(ErrorKind::Unsupported, file,
                       "field " + f.name + " has unknown type " +
                           (letter >= 0x21 && letter < 0x7F ? std::string("'") + letter + "'" : hex_byte(d[11])));
    f.type = static_cast<FieldType>(letter);
    f.length = d[16];
    f.decimals = d[17];
    f.flags = s.visual_foxpro() ? d[18] : 0;
    if (!length_ok(f.type, f.length, f.decimals))
      corrupt(file, "field " + f.name + " has an impossible size " + f.describe());
    f.offset = offset;  // computed by summing, whatever the descriptor says
    offset += f.length;
    if (offset > s.record_length)
      corrupt(file, "fields are longer than the record length " + std::to_string(s.record_length));
    all.push_back(std::move(f));
    pos += 32;
  }
  if (!terminated) corrupt(file, "header has no terminator after the field descriptors");
  if (all.empty()) corrupt(file, "table has no fields");

  // _NullFlags bits, in field order: V/Q get a "shorter" bit, then nullable
  // fields a NULL bit.
  for (Field& f : all) {
    if (f.type == FieldType::NullFlags) continue;
    if (f.type == FieldType::Varchar || f.type == FieldType::Varbinary) f.varlen_bit = bit++;
    if (f.nullable()) f.null_bit = bit++;
  }
  for (Field& f : all) {
    if (f.type == FieldType::NullFlags && (f.flags & kFlagSystem)) {
      if (s.null_flags) corrupt(file, "two _NullFlags fields");
      s.null_flags = f;
    } else if (f.type == FieldType::NullFlags) {
      corrupt(file, "field " + f.name + " has type '0' but is not the system _NullFlags field");
    } else {
      s.fields.push_back(f);
    }
  }
  if (bit > 0 && (!s.null_flags || static_cast<int>(s.null_flags->length) * 8 < bit))
    corrupt(file, "nullable or variable-length fields without room in _NullFlags");

  if (s.visual_foxpro() && pos + 1 < s.header_length) {
    const std::size_t start = pos + 1;
    const std::size_t len = std::min<std::size_t>(263, s.header_length - start);
    std::size_t n = 0;
    while (n < len && p[start + n] != 0) ++n;
    s.backlink.assign(reinterpret_cast<const char*>(p + start), n);
  }
  return s;
}

void check_file_size(const Schema& s, std::uint64_t file_size) {
  const std::uint64_t need = s.header_length + static_cast<std::uint64_t>(s.record_count) * s.record_length;
  if (need > file_size)
    throw TableError(ErrorKind::Corrupt, s.file,
                     "header announces " + std::to_string(s.record_count) + " records but the file holds only " +
                         std::to_string(file_size < s.header_length ? 0 : (file_size - s.header_length) / s.record_length),
                     true);
}

Schema make_schema(const std::vector<NewField>& specs, text::CodePage cp, text::Date today, const std::string& file) {
  if (specs.empty()) throw TableError(ErrorKind::Usage, file, "a table needs at least one field");
  if (specs.size() > 255) throw TableError(ErrorKind::Usage, file, "a table has at most 255 fields");
  Schema s;
  s.file = file;
  s.code_page = cp;
  s.code_page_mark = text::mark_of(cp);
  s.update_year = today.year();
  s.update_month = today.month();
  s.update_day = today.day();
  std::uint32_t offset = 1;
  bool memo = false;
  for (const NewField& spec : specs) {
    const std::string which = "field " + (spec.name.empty() ? std::string("(no name)") : spec.name);
    auto bad = [&](const std::string& why) { throw TableError(ErrorKind::Usage, file, which + ": " + why); };
    if (spec.name.empty() || spec.name.size() > 10) bad("a field name has 1 to 10 characters");
    for (std::size_t i = 0; i < spec.name.size(); ++i)
      if (!valid_name_char(spec.name[i], i == 0)) bad("a field name has letters, digits and '_', a letter first");
    if (s.index_of(spec.name) >= 0) bad("the name is used twice");
    Field f;
    for (char c : spec.name) f.name += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
    const char t = (spec.type >= 'a' && spec.type <= 'z') ? static_cast<char>(spec.type - 32) : spec.type;
    int len = spec.length, dec = spec.decimals;
    switch (t) {
      case 'C':
        if (len < 1 || len > 254) bad("a C field has a length of 1 to 254");
        if (dec != 0) bad("a C field has no decimals");
        break;
      case 'N':
      case 'F':
        if (len < 1 || len > 20) bad("an N or F field has a length of 1 to 20");
        if (dec < 0 || (dec > 0 && dec > len - 2)) bad("decimals must leave room for the point and a digit");
        break;
      case 'D': if (len == 0) len = 8; if (len != 8 || dec != 0) bad("a D field has length 8"); break;
      case 'L': if (len == 0) len = 1; if (len != 1 || dec != 0) bad("an L field has length 1"); break;
      case 'M': if (len == 0) len = 10; if (len != 10 || dec != 0) bad("an M field has length 10"); memo = true; break;
      default: bad(std::string("type '") + t + "' cannot be created (C, N, F, D, L, M)");
    }
    f.type = static_cast<FieldType>(t);
    f.length = static_cast<std::uint8_t>(len);
    f.decimals = static_cast<std::uint8_t>(dec);
    f.offset = offset;
    offset += static_cast<std::uint32_t>(len);
    s.fields.push_back(std::move(f));
  }
  if (offset > 0xFFFF) throw TableError(ErrorKind::Usage, file, "records longer than 65535 bytes");
  s.version = memo ? kVersionFox2Memo : kVersionFox2;
  s.record_length = static_cast<std::uint16_t>(offset);
  s.header_length = static_cast<std::uint16_t>(32 + 32 * s.fields.size() + 1);
  return s;
}

void encode_count_and_date(std::uint32_t count, text::Date date, unsigned char out[7]) {
  out[0] = static_cast<unsigned char>(date.year() % 100);
  out[1] = static_cast<unsigned char>(date.month());
  out[2] = static_cast<unsigned char>(date.day());
  put32(out + 3, count);
}

std::string encode_header(const Schema& s) {
  std::string out(s.header_length, '\0');
  auto* p = reinterpret_cast<unsigned char*>(out.data());
  p[0] = s.version;
  p[1] = static_cast<unsigned char>(((s.update_year % 100) + 100) % 100);
  p[2] = static_cast<unsigned char>(s.update_month);
  p[3] = static_cast<unsigned char>(s.update_day);
  put32(p + 4, s.record_count);
  put16(p + 8, s.header_length);
  put16(p + 10, s.record_length);
  p[28] = s.table_flags;
  p[29] = s.code_page_mark;
  std::size_t pos = 32;
  for (const Field& f : s.fields) {
    std::memcpy(p + pos, f.name.data(), std::min<std::size_t>(f.name.size(), 10));
    p[pos + 11] = static_cast<unsigned char>(f.letter());
    put32(p + pos + 12, f.offset);
    p[pos + 16] = f.length;
    p[pos + 17] = f.decimals;
    p[pos + 18] = f.flags;
    pos += 32;
  }
  p[pos] = kHeaderTerminator;
  return out;
}

}  // namespace rt::table
