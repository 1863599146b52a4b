// Writes the SQLite statement for an analysed Jet statement over the in-memory catalogue.
#pragma once

#include "platform/jet/JetAnalyser.h"

namespace orv::jet {

TranslatedQuery emitQuery(const Statement& st, const Analysis& a);

} // namespace orv::jet
