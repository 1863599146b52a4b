#include "platform/jet/JetText.h"

#include <QString>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <memory>
#include <random>
#include <string>

using orv::jetFoldKey;
using orv::jetLike;

namespace {

TEST(JetFoldKey, IgnoresCaseWidthAndKanaType)
{
    EXPECT_EQ(jetFoldKey("MaX Planet"), "max planet");
    EXPECT_EQ(jetFoldKey("ＭＡＸ"), "max");
    EXPECT_EQ(jetFoldKey("Ｍａｘ１２３！"), "max123!");
    EXPECT_EQ(jetFoldKey("a　b"), "a b"); // ideographic space
    EXPECT_EQ(jetFoldKey("ﾗｲﾌ"), jetFoldKey("ライフ"));
    EXPECT_EQ(jetFoldKey("らいふ"), jetFoldKey("ライフ"));
    EXPECT_EQ(jetFoldKey("ÀÉÎ"), "àéî");
    EXPECT_EQ(jetFoldKey("×÷"), "×÷"); // not letters
    EXPECT_EQ(jetFoldKey("♪"), "♪");
    EXPECT_EQ(jetFoldKey("漢字"), "漢字");
}

// The Greek and Cyrillic letters of the Japanese character sets (Ё among them) fold as Unicode
// lower-cases them.
TEST(JetFoldKey, GreekAndCyrillicCapitalsFoldToTheirSmallLetters)
{
    for (char16_t c : {u'\u0391', u'\u03A9', u'\u0400', u'\u0401', u'\u040F', u'\u0410', u'\u042F'}) {
        const QString capital(QChar{c});
        EXPECT_EQ(jetFoldKey(capital.toStdString()), capital.toLower().toStdString()) << capital.toStdString();
    }
}

// Both folds read the same voicing table, so each is held against the letters themselves.
TEST(JetFoldKey, CombinesHalfWidthVoicedMarks)
{
    const std::string half = "ｶﾞｷﾞｸﾞｹﾞｺﾞｻﾞｼﾞｽﾞｾﾞｿﾞﾀﾞﾁﾞﾂﾞﾃﾞﾄﾞﾊﾞﾋﾞﾌﾞﾍﾞﾎﾞﾊﾟﾋﾟﾌﾟﾍﾟﾎﾟｳﾞﾜﾞｦﾞ";
    const std::string full = "ガギグゲゴザジズゼゾダヂヅデドバビブベボパピプペポヴヷヺ";
    EXPECT_EQ(jetFoldKey(half), full);
    EXPECT_EQ(orv::detail::jetFoldKeyPerCharacter(half), full);
    EXPECT_EQ(jetFoldKey("がぎぐげござじずぜぞだぢづでどばびぶべぼぱぴぷぺぽ"), full.substr(0, 25 * 3));
    EXPECT_EQ(jetFoldKey("ｶﾞｯｺｳ"), jetFoldKey("がっこう"));
    EXPECT_EQ(jetFoldKey("か\xE3\x82\x99"), "ガ"); // combining mark
    // A mark that cannot combine stays a mark of its own.
    EXPECT_EQ(jetFoldKey("ｱﾞ"), "ア゛");
    EXPECT_EQ(jetFoldKey("ﾟ"), "゜");
    EXPECT_EQ(jetFoldKey("ｶﾟ"), "カ゜");
}

// The fold of a text by Unicode's own data, independent of the program's tables: the
// compatibility form (NFKC: half-width to full-width, a kana and its voicing mark composed where
// Unicode composes them), every hiragana as its katakana, and a voicing mark left on its own as
// the spacing mark it is shown as.
std::string unicodeFold(const QString& text)
{
    QString s = text.normalized(QString::NormalizationForm_KC);
    for (QChar& c : s) {
        const char16_t u = c.unicode();
        if (u >= 0x3041 && u <= 0x3096)
            c = QChar(char16_t(u + 0x60));
        else if (u == 0x3099 || u == 0x309A)
            c = QChar(char16_t(u + 2));
    }
    return s.toStdString();
}

// The text as typed in full-width hiragana: each katakana that has one as its hiragana, a mark
// that composes with nothing as the spacing mark.
QString asHiragana(const QString& text)
{
    QString s = text.normalized(QString::NormalizationForm_KC);
    for (QChar& c : s) {
        const char16_t u = c.unicode();
        if (u >= 0x30A1 && u <= 0x30F6)
            c = QChar(char16_t(u - 0x60));
        else if (u == 0x3099 || u == 0x309A)
            c = QChar(char16_t(u + 2));
    }
    return s;
}

// Every character of the half-width block U+FF61-U+FF9F, alone and followed by each voicing
// mark, and its hiragana spelling: searching for ｷｬﾗ finds キャラ and きゃら.
TEST(JetFoldKey, TheHalfWidthBlockFoldsAsUnicodeComposesIt)
{
    for (char16_t c = 0xFF61; c <= 0xFF9F; ++c) {
        const QString half(QChar{c});
        for (const QString& text : {half, half + QChar(u'\uFF9E'), half + QChar(u'\uFF9F')}) {
            const std::string want = unicodeFold(text);
            EXPECT_EQ(jetFoldKey(text.toStdString()), want) << text.toStdString();
            EXPECT_EQ(orv::detail::jetFoldKeyPerCharacter(text.toStdString()), want) << text.toStdString();
            EXPECT_EQ(jetFoldKey(asHiragana(text).toStdString()), want) << asHiragana(text).toStdString();
        }
    }
    EXPECT_EQ(jetFoldKey("ｷｬﾗ"), jetFoldKey("キャラ"));
    EXPECT_EQ(jetFoldKey("ｷｬﾗ"), jetFoldKey("きゃら"));
}

TEST(JetFoldKey, PassesInvalidUtf8ThroughByteByByte)
{
    EXPECT_EQ(jetFoldKey("A\xFF"
                         "B"),
              "a\xFF"
              "b");
    EXPECT_EQ(jetFoldKey("\xE3\x81"), "\xE3\x81"); // truncated sequence
    EXPECT_EQ(jetFoldKey("\xC0\xAF"), "\xC0\xAF"); // overlong '/'
    EXPECT_EQ(jetFoldKey("\xED\xA0\x80"), "\xED\xA0\x80"); // surrogate
    EXPECT_EQ(jetFoldKey(std::string("a\0B", 3)), std::string("a\0b", 3));
    EXPECT_EQ(jetFoldKey(""), "");
    EXPECT_EQ(jetFoldKey("\xEF\xBD"), "\xEF\xBD"); // cut inside a half-width kana
}

std::string utf8(char32_t cp)
{
    std::string s;
    if (cp < 0x80) {
        s += char(cp);
    } else if (cp < 0x800) {
        s += char(0xC0 | (cp >> 6));
        s += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        s += char(0xE0 | (cp >> 12));
        s += char(0x80 | ((cp >> 6) & 0x3F));
        s += char(0x80 | (cp & 0x3F));
    } else {
        s += char(0xF0 | (cp >> 18));
        s += char(0x80 | ((cp >> 12) & 0x3F));
        s += char(0x80 | ((cp >> 6) & 0x3F));
        s += char(0x80 | (cp & 0x3F));
    }
    return s;
}

// The shortcuts for ASCII runs (eight bytes at a time), kana and ideographs must fold exactly as the
// plain character-by-character fold, whatever surrounds a character.
TEST(JetFoldKey, ShortcutsAgreeWithThePlainFoldOnEveryCharacter)
{
    using orv::detail::jetFoldKeyPerCharacter;
    const std::string marks[] = {"", "\xEF\xBE\x9E", "\xEF\xBE\x9F", "\xE3\x82\x99", "\xE3\x82\x9A"};
    const std::string asciiRun = "AbCdEfGhIjKlMnOpQ@[`{";
    int checked = 0;
    for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF)
            continue;
        const std::string c = utf8(cp);
        // Kana, the full-width and half-width forms and their neighbours meet every mark.
        const bool kanaArea = (cp >= 0x3000 && cp <= 0x30FF) || (cp >= 0xFF00 && cp <= 0xFFEF);
        for (const std::string& mark : marks) {
            if (!mark.empty() && !kanaArea)
                break;
            const std::string lead = asciiRun.substr(0, cp % 10);
            for (const std::string& text : {c + mark, lead + c + mark + asciiRun, c + c + mark + c}) {
                ++checked;
                if (jetFoldKey(text) != jetFoldKeyPerCharacter(text)) {
                    ADD_FAILURE() << "U+" << std::hex << unsigned(cp) << " in \"" << text << "\"";
                    return;
                }
            }
        }
    }
    EXPECT_GT(checked, 3000000);

    // Texts of random bytes, kana bytes and ASCII: broken sequences anywhere.
    std::mt19937 rng(42);
    const std::string pieces[] = {"A",    "z",    "Q",    " ",    "\xE3", "\x81", "\x82",
                                  "\x83", "\xBE", "\xEF", "\xBD", "\x9E", "\x99", "\xFF",
                                  "\xC3", "\x80", "ｶ",    "か",   "ﾞ",    "ﾟ",    "\xE3\x82\x99",
                                  "ＡＢ", "　",   "漢",   "\xE4", "\xED", "\xA0", "\xEE"};
    for (int i = 0; i < 20000; ++i) {
        std::string text;
        const int n = int(rng() % 40);
        for (int k = 0; k < n; ++k)
            text += pieces[rng() % std::size(pieces)];
        ASSERT_EQ(jetFoldKey(text), jetFoldKeyPerCharacter(text)) << text;
        std::string into(text.size() + 1, '#');
        const std::size_t len = orv::jetFoldKeyInto(text, into.data());
        ASSERT_LE(len, text.size());
        EXPECT_EQ(into[text.size()], '#'); // never past the room it was given
    }
}

TEST(JetFoldKey, ByteOrderIsSyllabaryOrder)
{
    EXPECT_LT(jetFoldKey("ア"), jetFoldKey("イ"));
    EXPECT_LT(jetFoldKey("ｶ"), jetFoldKey("ガ"));
    EXPECT_LT(jetFoldKey("ガ"), jetFoldKey("き"));
    EXPECT_LT(jetFoldKey("apple"), jetFoldKey("Banana"));
    EXPECT_LT(jetFoldKey("ｚ"), jetFoldKey("あ"));
}

TEST(JetLike, Wildcards)
{
    EXPECT_TRUE(jetLike("*max*", "所持金MAX"));
    EXPECT_TRUE(jetLike("*max*", "ＭＡＸ Planet"));
    EXPECT_FALSE(jetLike("*max*", "マックス"));
    EXPECT_TRUE(jetLike("ma?", "max"));
    EXPECT_TRUE(jetLike("?", "ア")); // one character, three bytes
    EXPECT_FALSE(jetLike("??", "ア"));
    EXPECT_TRUE(jetLike("cd#", "cd5"));
    EXPECT_TRUE(jetLike("cd#", "cd５")); // full-width digit
    EXPECT_FALSE(jetLike("cd#", "cdx"));
    EXPECT_TRUE(jetLike("#-#", "0-9")); // both ends of the digits
    EXPECT_TRUE(jetLike("#", "９"));
    for (const char* notDigit : {"/", ":", "a", "Z", "ｏ", "", "12"})
        EXPECT_FALSE(jetLike("#", notDigit)) << notDigit;
    EXPECT_TRUE(jetLike("[abc]x", "Bx"));
    EXPECT_FALSE(jetLike("[!abc]x", "bx"));
    EXPECT_TRUE(jetLike("[!abc]x", "ネx"));
    EXPECT_TRUE(jetLike("[a-f]#", "E7"));
    EXPECT_FALSE(jetLike("[a-f]#", "g7"));
    EXPECT_TRUE(jetLike("[-x]", "-"));
    EXPECT_TRUE(jetLike("[*]*", "*2")); // bracketed wildcard is literal
    EXPECT_FALSE(jetLike("[*]*", "x2"));
    EXPECT_TRUE(jetLike("[ｱ-ﾝ]", "カ")); // range folded like the text
}

TEST(JetLike, EdgeCases)
{
    EXPECT_TRUE(jetLike("", ""));
    EXPECT_FALSE(jetLike("", "a"));
    EXPECT_TRUE(jetLike("*", ""));
    EXPECT_TRUE(jetLike("**", "abc"));
    EXPECT_TRUE(jetLike("a[]b", "ab"));
    EXPECT_TRUE(jetLike("a[!]c", "aネc"));
    EXPECT_FALSE(jetLike("a[!]c", "ac"));
    EXPECT_TRUE(jetLike("a[b", "A[B")); // unclosed bracket is literal
    EXPECT_FALSE(jetLike("a*a", "a"));
    EXPECT_TRUE(jetLike("a*a", "aa"));
    EXPECT_TRUE(jetLike("*a?c*", "xxabbabcx"));
    EXPECT_TRUE(jetLike("ab*", "ABC"));
    EXPECT_FALSE(jetLike("ab*", "xab"));
    EXPECT_TRUE(jetLike("*bc", "abcbc"));
    EXPECT_TRUE(jetLike("*?c", "abc"));
    EXPECT_FALSE(jetLike("*?bc", "bc"));
    // A full-width star is an ordinary character: it matches '*' and '＊' only.
    EXPECT_TRUE(jetLike("*力＊2*", "全武器の攻撃力*2"));
    EXPECT_TRUE(jetLike("*＊*", "a＊b"));
    EXPECT_FALSE(jetLike("*＊*", "abc"));
    EXPECT_TRUE(jetLike("*ﾗｲﾌ*", "ライフ回復"));
    EXPECT_TRUE(jetLike("*らいふ*", "ﾗｲﾌ回復"));
    EXPECT_FALSE(jetLike("ｶ*", "ガイド")); // ガ is not カ
    EXPECT_TRUE(jetLike("*\xFF*",
                        "a\xFF"
                        "b"));
    EXPECT_TRUE(jetLike("a?b",
                        "a\xFF"
                        "b")); // a stray byte is one character
}

// A matcher that backtracks over every star would not finish these in the test's time limit.
TEST(JetLike, NoExponentialBacktracking)
{
    std::string text(200000, 'a');
    EXPECT_FALSE(jetLike("*a*a*a*a*a*a*a*a*b", text));
    EXPECT_FALSE(jetLike("*a?a*a#*b", text));
    EXPECT_TRUE(jetLike("*a*a*a*a*a*a*a*a", text));
    EXPECT_FALSE(jetLike("*[ab]*?*a*ab?*c", text));
}

struct DbDeleter {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};

std::string scalar(sqlite3* db, const std::string& sql)
{
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    std::string r = "?";
    if (sqlite3_step(st) == SQLITE_ROW)
        r = sqlite3_column_type(st, 0) == SQLITE_NULL ? "NULL"
                                                      : reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    sqlite3_finalize(st);
    return r;
}

TEST(JetSqlFunctions, RegisteredOnConnection)
{
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &raw), SQLITE_OK);
    std::unique_ptr<sqlite3, DbDeleter> db(raw);
    orv::registerJetFunctions(raw);

    EXPECT_EQ(scalar(raw, "SELECT jet_key('ＡｂＣ')"), "abc");
    EXPECT_EQ(scalar(raw, "SELECT jet_key(2.5)"), "2.5");
    EXPECT_EQ(scalar(raw, "SELECT jet_key(3.0)"), "3");
    EXPECT_EQ(scalar(raw, "SELECT jet_key(NULL)"), "NULL");
    EXPECT_EQ(scalar(raw, "SELECT jet_like('abc', '*B*')"), "1");
    EXPECT_EQ(scalar(raw, "SELECT jet_like(NULL, '*')"), "NULL");
    EXPECT_EQ(scalar(raw, "SELECT jet_like(12, '1#')"), "1");
    EXPECT_EQ(scalar(raw, "SELECT jet_amp(NULL, 'x')"), "x");
    EXPECT_EQ(scalar(raw, "SELECT jet_amp(NULL, NULL)"), "NULL");
    EXPECT_EQ(scalar(raw, "SELECT jet_amp(1.5, 'x')"), "1.5x");
    EXPECT_EQ(scalar(raw, "SELECT jet_right('あいう', 2)"), "いう");
    EXPECT_EQ(scalar(raw, "SELECT jet_right('abc', 0)"), "");
    EXPECT_EQ(scalar(raw, "SELECT jet_ucase('aｂé')"), "AＢÉ");
    EXPECT_EQ(scalar(raw, "SELECT 'ＡＢＣ' = 'abc' COLLATE JET"), "1");
    EXPECT_EQ(scalar(raw, "SELECT min(x COLLATE JET) FROM (SELECT 'b' x UNION ALL SELECT 'A')"), "A");

    // One compiled pattern serves every row of a statement.
    EXPECT_EQ(scalar(raw,
                     "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i < 5000) "
                     "SELECT count(*) FROM n WHERE jet_like(i, '*7*')"),
              "1355");

    // A joined text is matched across its joins; a Null part gives Null, as || does.
    EXPECT_EQ(scalar(raw, "SELECT jet_like_join('*c d*', 'abc', ' ', 'def')"), "1");
    EXPECT_EQ(scalar(raw, "SELECT jet_like_join('ab', 'a', 'b')"), "1");
    EXPECT_EQ(scalar(raw, "SELECT jet_like_join('a', 'a', 'b')"), "0");
    EXPECT_EQ(scalar(raw, "SELECT jet_like_join('*', 'a', NULL)"), "NULL");
    EXPECT_EQ(scalar(raw, "SELECT jet_like_join(NULL, 'a', 'b')"), "NULL");
    EXPECT_EQ(scalar(raw, "SELECT jet_like_join('1#', 1, 2)"), "1");
}

// Compiled patterns are kept per connection and found by the pattern's text: many words in one
// statement, and statement after statement (past the cache's capacity), each get their own.
TEST(JetSqlFunctions, EveryPatternKeepsItsOwnMeaning)
{
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &raw), SQLITE_OK);
    std::unique_ptr<sqlite3, DbDeleter> db(raw);
    orv::registerJetFunctions(raw);
    std::string words = "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i+1 FROM n WHERE i < 999) "
                        "SELECT count(*) FROM n WHERE jet_like('w' || i || 'x', 'w0x')";
    for (int i = 2; i < 600; i += 2)
        words += " OR jet_like_join('w" + std::to_string(i) + "x', 'w', i, 'x')";
    EXPECT_EQ(scalar(raw, words), "300");
    for (int i = 0; i < 17000; ++i) {
        const std::string n = std::to_string(i);
        ASSERT_EQ(scalar(raw, "SELECT jet_like('a" + n + "b', '*" + n + "b')"), "1") << i;
        if (i % 1000 == 999) {
            ASSERT_EQ(scalar(raw, "SELECT jet_like('a" + n + "b', '*" + std::to_string(i - 1) + "b')"), "0") << i;
        }
    }
}

} // namespace

// Where two texts meet: whether the second starts with a voicing mark that combines, and whether
// the first ends with a kana such a mark combines with.
TEST(JetFold, MarksWhereTwoTextsMeet)
{
    for (const char* mark : {"ﾞ", "ﾟx", "\u3099", "\u309A"})
        EXPECT_TRUE(orv::jetFoldStartsWithMark(mark)) << mark;
    for (const char* other : {"", "゛", "x\uFF9E", "\xEF\xBE"})
        EXPECT_FALSE(orv::jetFoldStartsWithMark(other)) << other;
    for (const char* kana : {"ｶ", "xか", "ハ", "ｳ", "ゝ"})
        EXPECT_TRUE(orv::jetFoldTakesMark(kana)) << kana;
    for (const char* other : {"", "ｶﾞ", "ン", "ア", "a", "\xE3\x82", "\xAB"})
        EXPECT_FALSE(orv::jetFoldTakesMark(other)) << other;
}
