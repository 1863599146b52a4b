// How deep a statement's translation goes in SQLite's parser, which refuses (with its own words)
// what does not fit its stack: the translator refuses it first, as too complex.
#pragma once

#include "platform/jet/JetAst.h"

namespace orv::jet {

// Throws DbError 3360 (too complex) when an expression of the statement would translate to SQL
// nested deeper than SQLite parses.
void checkSqlNesting(const Statement& st);

} // namespace orv::jet
