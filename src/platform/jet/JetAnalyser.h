// Resolves a parsed statement against the catalogue's layout and makes every check Jet makes
// before it runs a statement: unknown tables, fields and functions, mixed kinds, misplaced
// aggregates and fields.
#pragma once

#include "platform/jet/JetAst.h"

#include <string>
#include <vector>

namespace orv::jet {

struct OutputField {
    const Node* expr;
    std::string name;
};

struct Analysis {
    const CatalogTable* table = nullptr;
    std::vector<NodeP> starFields; // the columns "*" stands for
    std::vector<OutputField> outs; // the result fields in order
    bool starOnly = false; // the select list is one "*"
    bool aggregate = false; // grouped, or aggregated over the whole table
    std::vector<const Node*> groups; // the GROUP BY expressions of an aggregate statement
};

// Fills in st's columns and kinds; throws DbError for the first fault Jet would report.
Analysis analyse(const std::string& statement, Statement& st, const CatalogSchema& schema);

} // namespace orv::jet
