#include "platform/CatalogueSource.h"

#include "platform/MdbReader.h"
#include "platform/SqliteReader.h"

namespace orv {

FileFormat checkCatalogueFile(const std::string& path)
{
    const FileFormat format = detectFileFormat(path);
    switch (format) {
    case FileFormat::Missing:
        throw DbError(dberr::FileNotFound, "ファイル '" + path + "' が見つかりません。");
    case FileFormat::NotAFile:
        throw DbError(dberr::UnrecognizedFormat, "'" + path + "' は通常のファイルではありません。");
    case FileFormat::Ace:
        throw DbError(dberr::UnsupportedFormat,
                      "データベース '" + path + "' は Access 2007 以降の形式です。この形式には対応していません。");
    case FileFormat::Jet3:
    case FileFormat::Jet4:
    case FileFormat::SQLite:
        return format;
    case FileFormat::Unreadable:
    case FileFormat::Unknown:
        break;
    }
    throw DbError(dberr::UnrecognizedFormat, "データベース形式 '" + path + "' を認識できません。");
}

void readCatalogueFile(const std::string& path, TableSink& sink)
{
    if (checkCatalogueFile(path) == FileFormat::SQLite)
        readSqliteFile(path, sink);
    else
        readMdbFile(path, sink);
}

void InProcessCatalogue::read(const std::string& path, TableSink& sink) const
{
    readCatalogueFile(path, sink);
}

} // namespace orv
