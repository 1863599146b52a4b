#include "platform/reader/CatalogueSource.h"

#include "platform/reader/MdbReader.h"
#include "platform/reader/SqliteReader.h"

namespace orv {

FileFormat checkCatalogueFile(const std::string& path)
{
    const FileFormat format = detectFileFormat(path);
    switch (format) {
    case FileFormat::Missing: throw DbError::fileNotFound(path);
    case FileFormat::NotAFile: throw DbError::notARegularFile(path);
    case FileFormat::Ace: throw DbError::unsupportedFormat(path);
    case FileFormat::Jet3:
    case FileFormat::Jet4:
    case FileFormat::SQLite: return format;
    case FileFormat::Unreadable:
    case FileFormat::Unknown: break;
    }
    throw DbError::unrecognisedFormat(path);
}

void readCatalogueFile(const std::string& path, TableSink& sink)
{
    if (checkCatalogueFile(path) == FileFormat::SQLite)
        readSqliteFile(path, sink);
    else
        readMdbFile(path, sink);
}

void InProcessCatalogue::read(const std::string& path, TableSink& sink) const { readCatalogueFile(path, sink); }

} // namespace orv
