// The syntax tree the Jet translator's stages pass on: the parser builds it, the analyser resolves
// its names and kinds, the emitter writes SQL from it. Internal to the translator.
#pragma once

#include "platform/jet/JetSql.h"
#include "platform/reader/DbTypes.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orv::jet {

constexpr std::size_t kMaxFields = 255;

enum class Op {
    Column,
    Text,
    Number,
    Null,
    Bool,
    Neg,
    Not,
    Arith,
    Amp,
    Cmp,
    Like,
    In,
    Between,
    IsNull,
    And,
    Or,
    Func,
    Agg,
    CountStar
};
enum class Kind { Text, Number, Null, Other };

struct Node;
using NodeP = std::unique_ptr<Node>;

struct Node {
    Op op;
    std::string text; // literal value, number, operator, upper-case function name or field name
    std::string qualifier; // table part of table.field
    std::vector<NodeP> kids;
    bool negated = false; // NOT LIKE, NOT IN, NOT BETWEEN, IS NOT NULL
    std::size_t begin = 0, end = 0;
    int depth = 1;
    const CatalogColumn* column = nullptr;
    Kind kind = Kind::Other;
};

struct SelectItem {
    bool star = false;
    std::string qualifier; // of table.*
    NodeP expr;
    std::string alias;
    bool hasAlias = false;
};

struct OrderItem {
    NodeP expr;
    bool desc = false;
};

struct Statement {
    bool distinct = false;
    std::vector<SelectItem> items;
    std::string table;
    std::string alias;
    NodeP where;
    std::vector<NodeP> groupBy;
    NodeP having;
    std::vector<OrderItem> orderBy;
};

// A statement's text as quoted in a message: long texts are cut at a character boundary.
std::string clip(std::string_view s);
[[noreturn]] void failExpression(std::string_view expr);

Kind kindOf(ColumnKind k);
bool isFunctionName(const std::string& u, int& minArgs, int& maxArgs, bool& aggregate);
bool sameName(std::string_view a, std::string_view b);

template <class F> void forEachNode(const Node& n, F&& f)
{
    f(n);
    for (const NodeP& k : n.kids)
        forEachNode(*k, f);
}

bool containsAggregate(const Node& n);
bool isBoolean(const Node& n);
bool isLiteral(const Node& n);
bool sameTree(const Node& a, const Node& b);

// Whether n joins texts (with + or &).
bool isTextJoin(const Node& n);
// Whether the texts n joins fold as their parts folded one by one and joined: no part can end in
// a kana that a voicing mark starting a later part combines with (across parts that may be empty).
// Literals are known, and whether a column's values start with marks; anything may end in a kana.
bool foldsByParts(const Node& n);

} // namespace orv::jet
