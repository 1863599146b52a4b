#include "platform/engine/CatalogImporter.h"

namespace orv {

void CatalogImporter::beginTable(const std::string& name, const std::vector<SourceColumn>& columns)
{
    CatalogTable t = layoutTable(name, schema_.tables.size(), columns);
    stores_.push_back(std::make_shared<TableStore>(t.name, t.sqlName, t.columns));
    current_ = stores_.back().get();
    schema_.tables.push_back(std::move(t));
}

} // namespace orv
