#include "platform/reader/MdbCatalog.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace orv::mdbfile {

namespace {

struct TableDefFree {
    void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
};

} // namespace

bool readTableCatalogue(MdbHandle* mdb, const std::function<void(const MdbTableDef&)>& checkDefinition)
{
    mdb_free_catalog(mdb);
    mdb->catalog = g_ptr_array_new();
    mdb->num_catalog = 0;

    // The system catalogue is a table like any other, defined on page 2.
    MdbCatalogEntry msys{};
    msys.mdb = mdb;
    msys.object_type = MDB_TABLE;
    msys.table_pg = 2;
    std::snprintf(msys.object_name, sizeof msys.object_name, "%s", "MSysObjects");
    std::unique_ptr<MdbTableDef, TableDefFree> table(mdb_read_table(&msys));
    if (!table || !mdb_read_columns(table.get()) || table->columns->len != table->num_cols)
        return false;
    checkDefinition(*table);

    // libmdb writes up to bind_size bytes into every bound buffer.
    const size_t size = mdb->bind_size + 1;
    std::vector<char> id(size), name(size), type(size), flags(size);
    if (mdb_bind_column_by_name(table.get(), const_cast<gchar*>("Id"), id.data(), nullptr) == -1
        || mdb_bind_column_by_name(table.get(), const_cast<gchar*>("Name"), name.data(), nullptr) == -1
        || mdb_bind_column_by_name(table.get(), const_cast<gchar*>("Type"), type.data(), nullptr) == -1
        || mdb_bind_column_by_name(table.get(), const_cast<gchar*>("Flags"), flags.data(), nullptr) == -1)
        return false;

    mdb_rewind_table(table.get());
    while (mdb_fetch_row(table.get())) {
        if (std::atoi(type.data()) != MDB_TABLE)
            continue;
        auto* entry = static_cast<MdbCatalogEntry*>(g_malloc0(sizeof(MdbCatalogEntry)));
        entry->mdb = mdb;
        std::snprintf(entry->object_name, sizeof entry->object_name, "%s", name.data());
        entry->object_type = MDB_TABLE;
        entry->table_pg = std::strtoul(id.data(), nullptr, 10) & 0x00ffffffu;
        entry->flags = std::atoi(flags.data());
        g_ptr_array_add(mdb->catalog, entry);
        ++mdb->num_catalog;
    }
    return true;
}

} // namespace orv::mdbfile
