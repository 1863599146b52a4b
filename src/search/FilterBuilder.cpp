#include "search/FilterBuilder.h"

namespace orv {

namespace {

const char* const kAlwaysFalse = "gt_str1+' '+gt_str2=''";
const char* const kNoPlatform = "gt_pf IS NULL OR gt_pf=''";
const char* const kHalfSpace = " ";
const char* const kFullSpace = "\u3000";

int FieldMask(const std::array<int, 4>& fields)
{
    int mask = 0;
    for (int i = 0; i < 4; ++i)
        if (fields[i] != 0)
            mask |= 1 << i;
    return mask;
}

std::string TrimSpaces(const std::string& s)
{
    const auto first = s.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    const auto last = s.find_last_not_of(' ');
    return s.substr(first, last - first + 1);
}

// F + op + "'*word*'" for every non-empty word, joined by joiner.
std::string WordClause(const std::string& text, const std::string& field, const char* op, const std::string& joiner)
{
    std::string clause;
    for (const std::string& w : SplitWords(text, kHalfSpace, kFullSpace)) {
        if (w.empty())
            continue;
        if (!clause.empty())
            clause += joiner;
        clause += field + op + EscapeQuote(w) + "*'";
    }
    return clause;
}

} // namespace

std::string FieldExpression(int mask)
{
    std::string a;
    switch (mask & 3) {
    case 1: a = "gt_game"; break;
    case 2: a = "gt_maker"; break;
    case 3: a = "gt_str1"; break;
    default: break;
    }
    std::string b;
    switch (mask & 12) {
    case 4: b = "gt_effect"; break;
    case 8: b = "gt_file"; break;
    case 12: b = "gt_str2"; break;
    default: break;
    }
    if (b.empty())
        return a;
    if (a.empty())
        return b;
    return a + "+' '+" + b;
}

std::string BuildFilter(const SearchConditions& c)
{
    std::string filter;
    if (c.newMark == 1)
        filter = "gt_new = '\u266a'";
    else if (c.newMark == 2)
        filter = "(gt_new <> '\u266a' OR gt_new is NULL)";

    // Platforms are escaped as well: a name with an apostrophe must not break the statement.
    std::string platforms;
    if (c.platformCheck != 0) {
        for (const std::string& t : c.selectedPlatforms) {
            platforms += platforms.empty() ? "gt_pf = '" : " OR gt_pf = '";
            platforms += EscapeQuote(t) + "'";
        }
    }
    if (platforms.empty())
        platforms = kNoPlatform;
    filter = TrimSpaces(filter);
    if (!filter.empty())
        filter += " AND ";
    filter += "(" + platforms + ")";

    // The keyword group is gated by its check alone; with no field checked it matches nothing,
    // even with an empty text.
    std::string keywords;
    if (c.keywordCheck != 0) {
        const int mask = FieldMask(c.keywordFields);
        if (c.keywordText.empty()) {
            if (mask == 0)
                keywords = kAlwaysFalse;
        } else {
            const std::string field = FieldExpression(mask);
            if (field.empty())
                keywords = kAlwaysFalse;
            else
                keywords = WordClause(c.keywordText, field, " LIKE '*", c.keywordAnd ? " AND " : " OR ");
        }
    }
    if (!keywords.empty())
        filter += " AND (" + keywords + ")";

    // The negative group needs both its check and a text; no field checked means no clause.
    std::string negatives;
    if (!c.negativeText.empty() && c.negativeCheck != 0) {
        const std::string field = FieldExpression(FieldMask(c.negativeFields));
        if (!field.empty())
            negatives = WordClause(c.negativeText, field, " not LIKE '*", c.negativeAnd ? " AND " : " OR ");
    }
    if (!negatives.empty())
        filter += " AND (" + negatives + ")";

    // The CD filter is a volume text from the catalogue: escaped like every other text, so that
    // no catalogue can change what the statement does.
    if (!c.cdFilter.empty())
        filter += " AND (gt_cdno LIKE '*" + EscapeQuote(c.cdFilter) + "*')";

    return " WHERE " + filter;
}

std::vector<std::string> SplitWords(const std::string& text, const std::string& d1, const std::string& d2)
{
    // Byte offsets keep the order of character positions in UTF-8, and a delimiter that is
    // itself valid UTF-8 can only match on character boundaries.
    std::vector<std::string> words;
    std::size_t start = 0;
    for (;;) {
        const std::size_t p1 = d1.empty() ? std::string::npos : text.find(d1, start);
        const std::size_t p2 = d2.empty() ? std::string::npos : text.find(d2, start);
        std::size_t cut = p1;
        std::size_t len = d1.size();
        if (p2 != std::string::npos && (p1 == std::string::npos || p2 < p1)) {
            cut = p2;
            len = d2.size();
        }
        if (cut == std::string::npos) {
            words.push_back(text.substr(start));
            return words;
        }
        words.push_back(text.substr(start, cut - start));
        start = cut + len;
    }
}

std::string EscapeQuote(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        out += ch;
        if (ch == '\'')
            out += '\'';
    }
    return out;
}

} // namespace orv
