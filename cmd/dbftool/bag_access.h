// What the order-bag subcommands share: finding a table's bag and the table
// of a bag, and turning engine errors into messages and exit codes.
#pragma once

#include <optional>
#include <string>

#include "runtime/cdx/bag.h"

namespace dbftool {

// The bag named by --bag, or the table's own bag (same base name, ".cdx",
// found without regard to case; a database container's is ".dcx").
std::string bag_path_for(const std::string& table, const std::string& bag_option);
// The table a bag belongs to (same base name, ".dbf" or ".dbc"), if present.
std::optional<std::string> table_for_bag(const std::string& bag);

}  // namespace dbftool
