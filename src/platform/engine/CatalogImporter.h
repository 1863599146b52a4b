// Copies the tables a reader delivers into memory in the catalogue's layout, keying every text
// column so that searches and sorts compare without folding at query time.
#pragma once

#include "platform/engine/TableStore.h"
#include "platform/jet/CatalogLayout.h"
#include "platform/reader/CatalogueSource.h"

#include <memory>
#include <vector>

namespace orv {

class CatalogImporter : public TableSink {
public:
    // Appends each table's layout to schema and its rows to a new store in stores. A table that
    // would have more than maxColumns columns in memory (values and keys) is left out: its name
    // goes to schema.leftOut, its rows nowhere. (SQLite holds 2000 columns unless built otherwise.)
    CatalogImporter(CatalogSchema& schema, std::vector<std::shared_ptr<TableStore>>& stores,
                    std::size_t maxColumns = 2000)
        : schema_(schema), stores_(stores), maxColumns_(maxColumns)
    {}

    void beginTable(const std::string& name, const std::vector<SourceColumn>& columns) override;
    void addRow(std::vector<Value>& row) override;
    void endTable() override {}

private:
    CatalogSchema& schema_;
    std::vector<std::shared_ptr<TableStore>>& stores_;
    std::size_t maxColumns_;
    TableStore* current_ = nullptr; // null while a table left out is delivered
};

} // namespace orv
