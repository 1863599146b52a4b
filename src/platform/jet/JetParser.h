// Reads a Jet SELECT statement into its syntax tree; names are not looked up yet.
#pragma once

#include "platform/jet/JetAst.h"

#include <string>

namespace orv::jet {

// Throws DbError for a statement that is not one SELECT of the shape the program writes.
Statement parseStatement(const std::string& sql);

} // namespace orv::jet
