// Values, column kinds and errors shared by the catalogue reader, the Jet dialect and the engine.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace orv {

// What a catalogue column holds, as far as the engine cares.
enum class ColumnKind { Text, Integer, Real, Boolean, DateTime, Binary };

// The bytes of a binary (OLE object or binary) field, kept apart from text.
struct Bytes {
    std::string data;
    bool operator==(const Bytes&) const = default;
};

// One field value. Text is UTF-8. Null is distinct from empty text.
struct Value {
    std::variant<std::monostate, std::int64_t, double, std::string, Bytes> v;

    Value() = default;
    static Value null() { return {}; }
    static Value integer(std::int64_t i) { Value x; x.v = i; return x; }
    static Value real(double d) { Value x; x.v = d; return x; }
    static Value text(std::string s) { Value x; x.v = std::move(s); return x; }
    static Value binary(std::string bytes) { Value x; x.v = Bytes{std::move(bytes)}; return x; }

    bool isNull() const { return std::holds_alternative<std::monostate>(v); }
    bool isText() const { return std::holds_alternative<std::string>(v); }
    bool isInteger() const { return std::holds_alternative<std::int64_t>(v); }
    bool isReal() const { return std::holds_alternative<double>(v); }
    bool isBinary() const { return std::holds_alternative<Bytes>(v); }
    // The value as the views show it: Null as empty text, numbers in plain decimal, binary as
    // "0x" and two hexadecimal digits per byte.
    std::string toText() const;
    bool operator==(const Value&) const = default;
};

// A failure of a database operation, numbered as DAO numbers it where one applies.
struct DbError : std::runtime_error {
    int number;
    DbError(int n, const std::string& description) : std::runtime_error(description), number(n) {}
    std::string description() const { return what(); }
};

// DAO error numbers the program and its tests rely on.
namespace dberr {
constexpr int NoCurrentRecord = 3021;
constexpr int FileNotFound = 3024;
constexpr int TooFewParameters = 3061;     // an unknown field name, taken as a parameter
constexpr int SyntaxInExpression = 3075;
constexpr int TableNotFound = 3078;
constexpr int SyntaxInFrom = 3131;
constexpr int SyntaxInStatement = 3141;   // reserved word or misspelt clause
constexpr int UnrecognizedFormat = 3343;
constexpr int InvalidStatement = 3129;    // not SELECT/INSERT/...
// Our own numbers, outside DAO's range.
constexpr int EngineFailure = 30001;      // the in-memory engine failed
constexpr int ReaderFailure = 30002;      // the catalogue reader failed or was stopped
constexpr int UnsupportedFormat = 30003;  // a database format this program does not read (Access 2007 and later)
constexpr int DamagedFile = 30004;        // a page the file's own structure lists is missing or belongs elsewhere
}

} // namespace orv
