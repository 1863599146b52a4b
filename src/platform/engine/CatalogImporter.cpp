#include "platform/engine/CatalogImporter.h"

#include "platform/jet/JetFold.h"

namespace orv {

void CatalogImporter::beginTable(const std::string& name, const std::vector<SourceColumn>& columns)
{
    CatalogTable t = layoutTable(name, schema_.tables.size(), columns);
    std::size_t inMemory = 0;
    for (const CatalogColumn& c : t.columns)
        inMemory += c.keyName.empty() ? 1 : 2;
    if (inMemory > maxColumns_) {
        schema_.leftOut.push_back({name, columns.size()});
        current_ = nullptr;
        return;
    }
    stores_.push_back(std::make_shared<TableStore>(t.name, t.sqlName, t.columns));
    current_ = stores_.back().get();
    for (CatalogColumn& c : t.columns)
        c.mayStartWithMark = false;
    schema_.tables.push_back(std::move(t));
}

void CatalogImporter::addRow(std::vector<Value>& row)
{
    if (!current_)
        return;
    std::vector<CatalogColumn>& columns = schema_.tables.back().columns;
    for (std::size_t i = 0; i < row.size() && i < columns.size(); ++i)
        if (const auto* text = std::get_if<std::string>(&row[i].v); text && jetFoldStartsWithMark(*text))
            columns[i].mayStartWithMark = true;
    current_->appendRow(row);
}

} // namespace orv
