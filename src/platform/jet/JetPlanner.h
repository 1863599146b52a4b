// The WHERE and ORDER BY of a plain "SELECT *" statement as a RowPlan, so that its rows can be
// chosen and sorted without SQL as far as the plan expresses them.
#pragma once

#include "platform/jet/JetAnalyser.h"
#include "platform/jet/RowPlan.h"

namespace orv::jet {

// The plan of an analysed statement: it reaches no further than where it means exactly what the
// emitted SQL means.
RowPlan planRows(const Statement& st, const Analysis& a);

} // namespace orv::jet
