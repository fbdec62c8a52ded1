#include "runtime/areabrowse/workarea_source.h"

#include "runtime/workarea/orders.h"

namespace rt::con {

WorkAreaSource::WorkAreaSource(wa::WorkAreas& areas, std::string alias)
    : areas_(areas), alias_(alias.empty() ? areas.current().alias() : std::move(alias)) {}

long WorkAreaSource::skip(long n) {
  wa::Area& a = area();
  if (a.eof()) return 0;
  long moved = 0;
  // One record at a time: the browse moves at most a page, and stopping on
  // the first or last record needs the step that ran past it undone.
  // While a screen is read, the rows on the way leave the related areas
  // alone.
  const auto step = [&](long by) {
    if (painting_) a.skip_unrelated(by);
    else a.skip(by);
  };
  const auto back_to = [&](wa::RecNo at) {
    if (painting_) a.go_unrelated(at);
    else a.go(at);
  };
  while (moved < n) {
    const wa::RecNo at = a.recno();
    step(1);
    if (a.eof()) {
      back_to(at);
      break;
    }
    ++moved;
  }
  while (moved > n) {
    const wa::RecNo at = a.recno();
    step(-1);
    if (a.bof() || a.recno() == at) {
      back_to(at);
      break;
    }
    --moved;
  }
  return moved;
}

void WorkAreaSource::go_to(std::uint64_t recno) {
  area().go(static_cast<wa::RecNo>(recno > 0xFFFFFFFFu ? 0 : recno));
}

int WorkAreaSource::position(wa::Area& a, const std::string& field) {
  for (Place& p : positions_) {
    if (p.field != field) continue;
    if (p.generation != generation_) p = {field, a.field_pos(field), generation_};
    return p.pos;
  }
  positions_.push_back({field, a.field_pos(field), generation_});
  return positions_.back().pos;
}

Value WorkAreaSource::value(const std::string& field) {
  wa::Area& a = area();
  const int pos = position(a, field);
  return pos > 0 ? a.field_get(pos) : a.get(field);  // get names the missing field
}

int WorkAreaSource::width(const std::string& field) {
  wa::Area& a = area();
  const int pos = position(a, field);
  if (pos <= 0) return 10;
  const auto& fields = a.table().schema().fields;
  const auto& f = fields[static_cast<std::size_t>(pos) - 1];
  if (f.letter() == 'D') return 8;
  return f.length > 0 ? f.length : 10;
}

std::shared_ptr<void> WorkAreaSource::screen_batch() {
  struct Screen {
    wa::ReadBatch batch;
    bool& painting;
    explicit Screen(bool& p) : painting(p) { painting = true; }
    ~Screen() { painting = false; }
  };
  if (painting_) return nullptr;  // the outer screen's batch holds
  return std::make_shared<Screen>(painting_);
}

BrowseSource::RowMark WorkAreaSource::row_mark() {
  wa::Area& a = area();
  if (!a.exclusive() || !a.table().exclusive()) return {};
  return {true, generation_, a.table().writes(), a.eof() ? 0 : a.recno()};
}

}  // namespace rt::con
