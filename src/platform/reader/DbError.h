// Every error the database side reports: its number (DAO's where DAO has one) and its Japanese
// text, built by one named constructor each so that no call site spells a number or a message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

namespace orv {

namespace dberr {
// DAO and Visual Basic numbers.
constexpr int OutOfMemory = 7;
constexpr int OutOfStringSpace = 14;
constexpr int InvalidUseOfNull = 94;
constexpr int NoCurrentRecord = 3021;
constexpr int FileNotFound = 3024;
constexpr int TooFewParameters = 3061; // an unknown field name, taken as a parameter
constexpr int SyntaxInExpression = 3075;
constexpr int TableNotFound = 3078;
constexpr int UndefinedFunction = 3085;
constexpr int OrderByConflictsDistinct = 3093;
constexpr int AggregateInWhere = 3096;
constexpr int NotPartOfAggregate = 3122;
constexpr int InvalidStatement = 3129; // not SELECT/INSERT/...
constexpr int SyntaxInFrom = 3131;
constexpr int SyntaxInStatement = 3141; // reserved word or misspelt clause
constexpr int CharactersAfterEnd = 3142;
constexpr int TooManyFields = 3190;
constexpr int ItemNotFound = 3265;
constexpr int NumericOverflow = 3349;
constexpr int UnrecognizedFormat = 3343;
constexpr int QueryTooComplex = 3360;
constexpr int ObjectInvalid = 3420;
constexpr int TypeMismatch = 3464;
constexpr int InvalidColumnIndex = 6148;
// Our own numbers, outside DAO's range.
constexpr int EngineFailure = 30001; // the in-memory engine failed
constexpr int ReaderFailure = 30002; // the catalogue reader failed or was stopped
constexpr int UnsupportedFormat = 30003; // a database format this program does not read (Access 2007 and later)
constexpr int DamagedFile = 30004; // the file disagrees with its own structure (pages, rows, counts)
constexpr int ReadStopped = 30005; // the read was stopped: the program is closing
} // namespace dberr

// A failure of a database operation. Names and expressions quoted in a text come already
// shortened by the caller where they can be long.
struct DbError : std::runtime_error {
    int number;
    // For an error carried as number and text (from the reader child); everything raised here
    // goes through the constructors below.
    DbError(int n, const std::string& description) : std::runtime_error(description), number(n) {}
    std::string description() const { return what(); }

    // --- Records, fields and objects
    static DbError outOfMemory() { return {dberr::OutOfMemory, "メモリが不足しています。"}; }
    // A text or binary value longer than the engine holds.
    static DbError outOfStringSpace() { return {dberr::OutOfStringSpace, "文字列領域が不足しています。"}; }
    static DbError invalidUseOfNull() { return {dberr::InvalidUseOfNull, "Null の使い方が不正です。"}; }
    static DbError noCurrentRecord() { return {dberr::NoCurrentRecord, "カレント レコードがありません。"}; }
    static DbError itemNotFound() { return {dberr::ItemNotFound, "このコレクションには項目がありません。"}; }
    static DbError objectInvalid() { return {dberr::ObjectInvalid, "オブジェクトが無効か、設定されていません。"}; }
    static DbError invalidColumnIndex() { return {dberr::InvalidColumnIndex, "列インデックスが無効です。"}; }

    // --- Catalogue files
    static DbError fileNotFound(const std::string& path)
    {
        return {dberr::FileNotFound, "ファイル '" + path + "' が見つかりません。"};
    }
    static DbError unrecognisedFormat(const std::string& path)
    {
        return {dberr::UnrecognizedFormat, "データベース形式 '" + path + "' を認識できません。"};
    }
    static DbError notARegularFile(const std::string& path)
    {
        return {dberr::UnrecognizedFormat, "'" + path + "' は通常のファイルではありません。"};
    }
    static DbError unsupportedFormat(const std::string& path)
    {
        return {dberr::UnsupportedFormat,
                "データベース '" + path + "' は Access 2007 以降の形式です。この形式には対応していません。"};
    }
    // The same refusal from the Jet reader itself, which callers reach only past the check above.
    static DbError unsupportedFormat()
    {
        return {dberr::UnsupportedFormat, "このデータベース形式 (Access 2007 以降) には対応していません。"};
    }
    // A page a table's usage map lists is beyond the end of the file.
    static DbError missingPage(const std::string& path, const std::string& table, std::uint64_t page)
    {
        return damaged(path, table, page, "がファイルにありません");
    }
    // A page a table's usage map lists is not one of that table's data pages.
    static DbError foreignPage(const std::string& path, const std::string& table, std::uint64_t page)
    {
        return damaged(path, table, page, "がこのテーブルのデータではありません");
    }
    // The page the system catalogue names as a table's definition holds another kind of table's
    // (a system table's for a user table, or the other way round).
    static DbError foreignDefinition(const std::string& path, const std::string& table, std::uint64_t page)
    {
        return damaged(path, table, page, "がこのテーブルの定義ではありません");
    }
    // A table definition's column entries disagree with each other or with the definition's counts
    // (an unknown column type, a column number twice, an offset or length no row can hold).
    static DbError damagedDefinition(const std::string& path, const std::string& table, std::uint64_t page)
    {
        return damaged(path, table, page, "の定義が壊れています");
    }
    // A row of a table's data page cannot be read as one: it lies outside the page's data area or
    // over its neighbour, or its own structure is broken.
    static DbError damagedRow(const std::string& path, const std::string& table, std::uint64_t page)
    {
        return damaged(path, table, page, "の行が壊れています");
    }
    // The rows a table's pages hold are not as many as its definition records.
    static DbError rowCountMismatch(const std::string& path, const std::string& table, std::uint64_t declared,
                                    std::uint64_t read)
    {
        return {dberr::DamagedFile,
                "データベース '" + path + "' は壊れています (テーブル '" + table + "' は定義では "
                    + std::to_string(declared) + " 行ですが、" + std::to_string(read) + " 行が読み取れました)。"};
    }

    // --- The reader child
    static DbError noCatalogueReader() { return {dberr::ReaderFailure, "カタログを読み取る手段がありません。"}; }
    static DbError readerNotStarted(const std::string& exe, const char* step, int error)
    {
        return {dberr::ReaderFailure,
                "カタログを読み取るプログラム '" + exe + "' を起動できません (" + step + ": " + std::strerror(error)
                    + ")。"};
    }
    static DbError readerFailed(const std::string& what) { return {dberr::ReaderFailure, what}; }
    static DbError readTimedOut(const std::string& path)
    {
        return {dberr::UnrecognizedFormat,
                "データベース '" + path + "' の読み取りが制限時間内に終わらないため中止しました。"};
    }
    static DbError readStalled(const std::string& path)
    {
        return {dberr::UnrecognizedFormat,
                "データベース '" + path + "' の読み取りが応答しなくなったため中止しました。"};
    }
    static DbError readStopped(const std::string& path)
    {
        return {dberr::ReadStopped, "プログラムを終了するため、データベース '" + path + "' の読み取りを中止しました。"};
    }
    static DbError readOutOfMemory(const std::string& path)
    {
        return {dberr::UnrecognizedFormat,
                "データベース '" + path + "' の読み取りに必要なメモリが上限を超えたため中止しました。"};
    }

    // --- The in-memory engine
    static DbError engineFailure(const std::string& detail)
    {
        return {dberr::EngineFailure, "データベース エンジンのエラーです (" + detail + ")"};
    }
    // Any other failure below a catalogue routine, its own text kept.
    static DbError unexpected(const std::string& what) { return {dberr::EngineFailure, what}; }
    static DbError functionsNotRegistered(const std::string& detail)
    {
        return {dberr::EngineFailure, "SQL 関数を登録できません: " + detail};
    }
    static DbError collationNotRegistered(const std::string& detail)
    {
        return {dberr::EngineFailure, "照合順序を登録できません: " + detail};
    }
    static DbError catalogueTooLarge()
    {
        return {dberr::EngineFailure, "カタログが大きすぎるため、メモリに読み込めません。"};
    }
    static DbError snapshotNotWritten(const std::string& path)
    {
        return {dberr::EngineFailure, "スナップショットを書き込めません: " + path};
    }

    // --- The Jet dialect
    static DbError missingOperator(const std::string& expression)
    {
        return {dberr::SyntaxInExpression, "クエリ式 '" + expression + "' の 構文エラー : 演算子がありません。"};
    }
    static DbError syntaxInFrom() { return {dberr::SyntaxInFrom, "FROM 句の構文エラーです。"}; }
    static DbError syntaxInStatement()
    {
        return {dberr::SyntaxInStatement,
                "SELECT ステートメントには、予約語、スペルが間違っているか見つからない引数名が含まれているか、"
                "または句読点が正しくありません。"};
    }
    static DbError invalidStatement()
    {
        return {dberr::InvalidStatement,
                "SQL ステートメントが正しくありません。'DELETE'、'INSERT'、'PROCEDURE'、'SELECT'、"
                "または 'UPDATE' を使用してください。"};
    }
    static DbError charactersAfterEnd()
    {
        return {dberr::CharactersAfterEnd, "SQL ステートメントの後に文字が見つかりました。"};
    }
    static DbError tooManyFields() { return {dberr::TooManyFields, "定義されているフィールドが多すぎます。"}; }
    // An expression nested deeper than the engine takes.
    static DbError queryTooComplex() { return {dberr::QueryTooComplex, "クエリが複雑すぎます。"}; }
    static DbError undefinedFunction(const std::string& name)
    {
        return {dberr::UndefinedFunction, "式に未定義関数 '" + name + "' があります。"};
    }
    static DbError typeMismatch() { return {dberr::TypeMismatch, "抽出条件でデータ型が一致しません。"}; }
    // A sum of whole numbers past what 64 bits hold.
    static DbError numericOverflow() { return {dberr::NumericOverflow, "数値フィールドのオーバーフローです。"}; }
    static DbError tooFewParameters(std::size_t expected)
    {
        return {dberr::TooFewParameters,
                "パラメータが少なすぎます。" + std::to_string(expected) + " を指定してください。"};
    }
    static DbError notPartOfAggregate(const std::string& expression)
    {
        return {dberr::NotPartOfAggregate,
                "集計関数の一部として指定された式 '" + expression + "' を含んでいないクエリを実行しようとしました。"};
    }
    static DbError tableNotFound(const std::string& name)
    {
        return {dberr::TableNotFound, "入力テーブルまたはクエリ '" + name + "' が見つかりません。"};
    }
    // A table of the catalogue file with more columns than the engine holds: it is not read.
    static DbError tableLeftOut(const std::string& name, std::size_t columns)
    {
        return {dberr::TableNotFound,
                "入力テーブル '" + name + "' は列が多すぎるため (" + std::to_string(columns)
                    + " 列) 読み込まれていません。"};
    }
    static DbError aggregateInWhere(const std::string& clause)
    {
        return {dberr::AggregateInWhere, "WHERE 句 (" + clause + ") に集計関数を含めることはできません。"};
    }
    static DbError orderByConflictsDistinct(const std::string& clause)
    {
        return {dberr::OrderByConflictsDistinct, "ORDER BY 句 (" + clause + ") が DISTINCT と競合しています。"};
    }

private:
    // A damaged catalogue, naming the table and the page where it shows.
    static DbError damaged(const std::string& path, const std::string& table, std::uint64_t page, const char* says)
    {
        return {dberr::DamagedFile,
                "データベース '" + path + "' は壊れています (テーブル '" + table + "' のページ " + std::to_string(page)
                    + " " + says + ")。"};
    }
};

} // namespace orv
