// Runs a RowPlan over a table store: the rows its condition holds for, in table order, and those
// rows in the order of a sort column.
#pragma once

#include "platform/jet/RowPlan.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace orv {

class TableStore;

// The rows (0-based, ascending) of a plan that selects them (reach AllRows or Condition): every
// row, or those for which plan.condition is true. Nothing when the table cannot keep what the
// condition needs: SQL has to select the rows.
std::optional<std::vector<std::uint32_t>> selectRows(const RowPlan& plan, const TableStore& table);

// Puts rows (ascending) in the order of the keyed column: by its key (Null first), descending
// when asked, rows of equal keys in table order either way.
void sortRows(std::vector<std::uint32_t>& rows, const TableStore& table, int column, bool descending);

} // namespace orv
