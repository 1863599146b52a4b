// Values, column kinds and errors shared by the catalogue reader, the Jet dialect and the engine.
#pragma once

#include "platform/reader/DbError.h"

#include <cstdint>
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
    static Value integer(std::int64_t i)
    {
        Value x;
        x.v = i;
        return x;
    }
    static Value real(double d)
    {
        Value x;
        x.v = d;
        return x;
    }
    static Value text(std::string s)
    {
        Value x;
        x.v = std::move(s);
        return x;
    }
    static Value binary(std::string bytes)
    {
        Value x;
        x.v = Bytes{std::move(bytes)};
        return x;
    }

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

} // namespace orv
