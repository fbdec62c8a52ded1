// The browse's rows from a work area: the records of the area in its active
// order (and through its filter), with the area's current record as the
// browse's current row.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "runtime/console/browse.h"
#include "runtime/workarea/workareas.h"

namespace rt::con {

class WorkAreaSource final : public BrowseSource {
 public:
  // The area open under alias; "" = the current area when the browse starts.
  // The area is found by its alias again whenever an area was opened or
  // closed, so a user routine that selects other areas (or closes this one)
  // cannot leave the browse on a stale area: a closed one gives a
  // WorkAreaError naming it.
  explicit WorkAreaSource(wa::WorkAreas& areas, std::string alias = "");

  void go_top() override { area().goto_top(); }
  void go_bottom() override { area().goto_bottom(); }
  long skip(long n) override;
  bool at_end() override { return area().eof(); }
  std::uint64_t recno() override { return area().recno(); }
  void go_to(std::uint64_t recno) override;
  Value value(const std::string& field) override;
  int width(const std::string& field) override;
  // A screen's reads as one wa::ReadBatch; the rows read on the way move
  // no related area (the browse shows the area's own fields), the move
  // back to the current row does.
  std::shared_ptr<void> screen_batch() override;
  // Known for a table open exclusively (only this program changes it): the
  // record, the area's open and the table's writes.
  RowMark row_mark() override;

 private:
  // The alias's area, found again only when an area was opened or closed.
  wa::Area& area() {
    if (cached_ == nullptr || generation_ != areas_.generation()) {
      cached_ = &areas_.area(alias_);
      generation_ = areas_.generation();
    }
    return *cached_;
  }
  // The field's position in the area's table (0 when it has none),
  // remembered per column: the browse asks for every column of every row.
  // A remembered position is used while no area was opened or closed.
  int position(wa::Area& a, const std::string& field);

  wa::WorkAreas& areas_;
  std::string alias_;
  struct Place {
    std::string field;
    int pos;                  // 0: the table has no such field
    std::uint64_t generation;  // of the areas when it was found
  };
  std::vector<Place> positions_;
  wa::Area* cached_ = nullptr;
  std::uint64_t generation_ = 0;
  bool painting_ = false;  // inside a screen_batch
};

}  // namespace rt::con
