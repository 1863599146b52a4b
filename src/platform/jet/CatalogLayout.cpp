#include "platform/jet/CatalogLayout.h"

#include "platform/jet/JetText.h"
#include "platform/reader/SqlQuote.h"

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

SqlAffinity affinityOf(ColumnKind kind)
{
    switch (kind) {
    case ColumnKind::Integer: return SqlAffinity::Integer;
    case ColumnKind::Real: return SqlAffinity::Real;
    case ColumnKind::Binary: return SqlAffinity::Blob;
    default: return SqlAffinity::Text;
    }
}

const char* sqlAffinity(ColumnKind kind)
{
    switch (affinityOf(kind)) {
    case SqlAffinity::Integer: return "INTEGER";
    case SqlAffinity::Real: return "REAL";
    case SqlAffinity::Blob: return "BLOB";
    default: return "TEXT";
    }
}

std::vector<SqlColumn> sqlColumns(const std::vector<CatalogColumn>& columns)
{
    std::vector<SqlColumn> out;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        out.push_back({int(i), false});
        if (!columns[i].keyName.empty())
            out.push_back({int(i), true});
    }
    return out;
}

std::string sqlColumnList(const std::vector<CatalogColumn>& columns)
{
    if (columns.empty())
        return "c_none";
    std::string list;
    for (const SqlColumn& c : sqlColumns(columns)) {
        const CatalogColumn& column = columns[std::size_t(c.column)];
        list += list.empty() ? "" : ", ";
        list += c.key ? SqlIdentifier(column.keyName) + " TEXT"
                      : SqlIdentifier(column.sqlName) + " " + sqlAffinity(column.kind);
    }
    return list;
}

} // namespace orv
