// The WHERE and ORDER BY of a plain "SELECT *" statement as a RowPlan, so that its rows can be
// chosen without SQL where the plan expresses every part of them.
#pragma once

#include "platform/jet/JetAst.h"
#include "platform/jet/RowPlan.h"

namespace orv::jet {

// st is analysed and reads table; the plan is usable only where it matches the SQL emitted.
RowPlan planRows(const Statement& st, const CatalogTable& table);

} // namespace orv::jet
