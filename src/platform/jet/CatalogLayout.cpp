#include "platform/jet/CatalogLayout.h"

#include "platform/jet/JetText.h"

namespace orv {

namespace {

template <class Table> const Table* named(const std::vector<Table>& tables, const std::string& name)
{
    const std::string key = jetFoldKey(name);
    for (const Table& t : tables)
        if (jetFoldKey(t.name) == key)
            return &t;
    return nullptr;
}

} // namespace

const CatalogTable* CatalogSchema::findTable(const std::string& name) const { return named(tables, name); }

const LeftOutTable* CatalogSchema::findLeftOut(const std::string& name) const { return named(leftOut, name); }

bool hasFoldKey(ColumnKind kind) { return kind == ColumnKind::Text; }

CatalogTable layoutTable(const std::string& name, std::size_t index, const std::vector<SourceColumn>& columns)
{
    CatalogTable t;
    t.name = name;
    t.sqlName = "t" + std::to_string(index);
    for (std::size_t i = 0; i < columns.size(); ++i) {
        CatalogColumn c;
        c.name = columns[i].name;
        c.kind = columns[i].kind;
        c.sqlName = "c" + std::to_string(i);
        if (hasFoldKey(c.kind))
            c.keyName = "k" + std::to_string(i);
        t.columns.push_back(std::move(c));
    }
    return t;
}

} // namespace orv
