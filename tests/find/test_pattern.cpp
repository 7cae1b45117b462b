// Matching one line: plain text with and without case and regular expressions against
// independent references on random text with invalid UTF-8, and the edge cases of bytes.

#include "find/case_fold.h"
#include "find/pattern.h"

#include <QChar>
#include <QTest>

#include <optional>
#include <random>
#include <regex>
#include <string>
#include <vector>

using find::Match;
using find::Pattern;
using find::PatternOptions;

Q_DECLARE_METATYPE(std::string)
Q_DECLARE_METATYPE(std::optional<Match>)

namespace {

// Every match find() gives, one after the other the way count() walks them.
std::vector<Match> all_matches(const Pattern& pattern, std::string_view line)
{
    std::vector<Match> found;
    for (std::size_t pos = 0; auto match = pattern.find(line, pos);) {
        found.push_back(*match);
        pos = match->end();
    }
    return found;
}

// Text made of letters in both cases of the scripts folded, tabs, and broken UTF-8: stray
// lead and continuation bytes and a cut-off sequence.
const std::vector<std::string> pieces = {
    "a", "b", "e", "E", "r", "R", "o", "O", "\t", " ", "é", "É", "ж", "Ж", "σ", "Σ", "ς",
    "ÿ", "Ÿ", "ł", "Ł", "\xff", "\xc3", "\x80", "\xe2\x82",
};
// The pieces a needle is made of: valid UTF-8, since a regular expression needs it.
constexpr std::size_t valid_pieces = 21;

std::string random_text(std::mt19937& random, std::size_t piece_count, std::size_t from_pieces)
{
    std::uniform_int_distribution<std::size_t> pick(0, from_pieces - 1);
    std::string text;
    for (std::size_t i = 0; i < piece_count; ++i)
        text += pieces[pick(random)];
    return text;
}

std::vector<Match> reference_plain(std::string_view line, std::string_view needle)
{
    std::vector<Match> found;
    for (std::size_t pos = 0; pos + needle.size() <= line.size();) {
        if (line.substr(pos, needle.size()) == needle) {
            found.push_back({pos, needle.size()});
            pos += needle.size();
        } else {
            ++pos;
        }
    }
    return found;
}

std::vector<Match> reference_regex(const std::string& line, const std::regex& expression)
{
    std::vector<Match> found;
    for (auto it = std::sregex_iterator(line.begin(), line.end(), expression); it != std::sregex_iterator(); ++it)
        found.push_back({static_cast<std::size_t>(it->position()), static_cast<std::size_t>(it->length())});
    return found;
}

}  // namespace

class TestPattern : public QObject {
    Q_OBJECT

private slots:
    void plainAgreesWithReferences()
    {
        std::mt19937 random(17);
        for (int round = 0; round < 3000; ++round) {
            const std::string line = random_text(random, 40, pieces.size());
            const std::string needle = random_text(random, 1 + round % 3, valid_pieces);
            const std::string quoted = "\\Q" + needle + "\\E";
            for (bool match_case : {true, false}) {
                const Pattern plain(needle, {match_case, false});
                // PCRE2 on the quoted needle is an independent matcher of the same text.
                const Pattern literal(quoted, {match_case, true});
                const auto found = all_matches(plain, line);
                QCOMPARE(found, all_matches(literal, line));
                QCOMPARE(plain.count(line), found.size());
                if (match_case)
                    QCOMPARE(found, reference_plain(line, needle));
            }
        }
    }

    void regexAgreesWithReference()
    {
        const std::vector<std::string> expressions = {"e(r|o)+", "[ab]+r", "ro?b", "\\t[a-e]", "(ab|ba)e?", "o\\s+e"};
        std::mt19937 random(4);
        for (int round = 0; round < 500; ++round) {
            const std::string line = random_text(random, 60, pieces.size());
            for (const std::string& text : expressions) {
                for (bool match_case : {true, false}) {
                    const auto flags = match_case ? std::regex::ECMAScript : std::regex::ECMAScript | std::regex::icase;
                    const Pattern pattern(text, {match_case, true});
                    QVERIFY(pattern.valid());
                    QCOMPARE(all_matches(pattern, line), reference_regex(line, std::regex(text, flags)));
                }
            }
        }
    }

    void foldKeepsLengthAndFollowsUnicode()
    {
        for (char32_t c = 0; c < 0x530; ++c) {
            const char32_t folded = find::fold_code_point(c);
            QCOMPARE(find::fold_code_point(folded), folded);
            QCOMPARE(find::utf8_bytes(folded).size(), find::utf8_bytes(c).size());
            // The plain search probes for at most four bytes per end of a match.
            QVERIFY(find::case_variants(c).size() <= 4);
            // Unicode's simple folding wherever it keeps the byte length, Latin Extended-B and
            // the phonetic letters aside.
            const char32_t unicode = QChar::toCaseFolded(c);
            if ((c < 0x0180 || c > 0x02AF) && find::utf8_bytes(unicode).size() == find::utf8_bytes(c).size())
                QCOMPARE(static_cast<std::uint32_t>(folded), static_cast<std::uint32_t>(unicode));
        }
    }

    void firstMatch_data()
    {
        QTest::addColumn<std::string>("line");
        QTest::addColumn<std::string>("needle");
        QTest::addColumn<bool>("matchCase");
        QTest::addColumn<bool>("regex");
        QTest::addColumn<std::optional<Match>>("expected");
        const std::optional<Match> none;
        QTest::newRow("after invalid bytes, no case") << std::string("\xff\xfe" "ERROR 404") << std::string("error") << false << false << std::optional(Match{2, 5});
        QTest::newRow("after tabs") << std::string("\t\tfoo\tfoo") << std::string("foo") << true << false << std::optional(Match{2, 3});
        QTest::newRow("case counts") << std::string("Error ERROR") << std::string("ERROR") << true << false << std::optional(Match{6, 5});
        QTest::newRow("needle longer than line") << std::string("ab") << std::string("abc") << false << false << none;
        QTest::newRow("Cyrillic") << std::string("x ОШИБКА") << std::string("ошибка") << false << false << std::optional(Match{2, 12});
        QTest::newRow("Greek final sigma") << std::string("ΟΔΟΣ") << std::string("οδος") << false << false << std::optional(Match{0, 8});
        QTest::newRow("Latin-1 and Extended-A") << std::string("GRÖSSE ŁÓDŹ") << std::string("łódź") << false << false << std::optional(Match{8, 7});
        QTest::newRow("character after stray continuation bytes") << std::string("\x80\x80" "é") << std::string("É") << false << false << std::optional(Match{2, 2});
        QTest::newRow("lead byte alone is not the character") << std::string("\xc3" "A") << std::string("é") << false << false << none;
        QTest::newRow("stray byte needle") << std::string("ab\xff") << std::string("\xff") << false << false << std::optional(Match{2, 1});
        QTest::newRow("plain text across an invalid byte") << std::string("a\xff" "b") << std::string("a\xff" "b") << true << false << std::optional(Match{0, 3});
        QTest::newRow("long line, match near the end") << std::string(200, 'x') + "needle" << std::string("NEEDLE") << false << false << std::optional(Match{200, 6});
        QTest::newRow("expression after invalid bytes") << std::string("x\xff\xc3" "ERR\t500") << std::string("ERR(OR)?\\s+\\d{3}") << true << true << std::optional(Match{3, 7});
        QTest::newRow("dot never matches an invalid byte") << std::string("a\xff" "b a\xc3\xa9" "b") << std::string("a.b") << true << true << std::optional(Match{4, 4});
        QTest::newRow("expression without case, Cyrillic") << std::string("--Ошибка") << std::string("ОШИБКА") << false << true << std::optional(Match{2, 12});
    }

    void firstMatch()
    {
        QFETCH(std::string, line);
        QFETCH(std::string, needle);
        QFETCH(bool, matchCase);
        QFETCH(bool, regex);
        QFETCH(std::optional<Match>, expected);
        const Pattern pattern(needle, {matchCase, regex});
        QVERIFY(pattern.valid());
        QCOMPARE(pattern.find(line), expected);
        QCOMPARE(pattern.matches(line), expected.has_value());
    }

    void badExpression_data()
    {
        QTest::addColumn<std::string>("text");
        QTest::addColumn<QString>("error");
        QTest::newRow("open group") << std::string("(abc|de") << QStringLiteral("missing closing parenthesis at 7");
        QTest::newRow("quantifier") << std::string("ab{3,1}") << QStringLiteral("numbers out of order in {} quantifier at 6");
        QTest::newRow("invalid UTF-8") << std::string("ab\xff") << QStringLiteral("UTF-8 error: illegal byte (0xfe or 0xff) at 2");
    }

    void badExpression()
    {
        QFETCH(std::string, text);
        QFETCH(QString, error);
        const Pattern pattern(text, {true, true});
        QVERIFY(!pattern.valid());
        QCOMPARE(QString::fromStdString(pattern.error()), error);
        QVERIFY(!pattern.find(text));
        QCOMPARE(pattern.count(text), std::size_t{0});
    }

    void emptyNeedleMatchesNothing()
    {
        for (bool regex : {false, true}) {
            const Pattern pattern("", {false, regex});
            QVERIFY(pattern.valid() && pattern.empty());
            QVERIFY(!pattern.find("anything"));
        }
    }

    void emptyMatchesCountOncePerCharacter()
    {
        // "x*" matches empty before a, é and the stray byte, then xx, and empty at the end.
        const Pattern pattern("x*", {true, true});
        QCOMPARE(pattern.count("axxé\xff"), std::size_t{5});
        QCOMPARE(pattern.count(""), std::size_t{1});
        // Counting up to a place: the empty match before "a" starts before 1, xx at 1 does not.
        QCOMPARE(pattern.count("axxé\xff", 1), std::size_t{1});
        QCOMPARE(pattern.count("axxé\xff", 2), std::size_t{2});
        QCOMPARE(pattern.count("axxé\xff", 0), std::size_t{0});
        QCOMPARE(pattern.count("", 0), std::size_t{0});
    }

    void findFrom()
    {
        const Pattern plain("ab", {false, false});
        QCOMPARE(plain.find("abAB", 1), std::optional(Match{2, 2}));
        QVERIFY(!plain.find("abAB", 3));
        QVERIFY(!plain.find("abAB", 9));
        const Pattern regex("\\bab", {true, true});
        // The expression sees the text before `from`: no word boundary inside "cab".
        QCOMPARE(regex.find("cab ab", 1), std::optional(Match{4, 2}));
    }

    void findLast_data()
    {
        QTest::addColumn<std::string>("needle");
        QTest::addColumn<bool>("matchCase");
        QTest::addColumn<bool>("regex");
        QTest::addColumn<int>("before");
        QTest::addColumn<std::optional<Match>>("expected");
        const std::optional<Match> none;
        QTest::newRow("case, whole line") << std::string("abc") << true << false << 99 << std::optional(Match{8, 3});
        QTest::newRow("case, overlapping the end") << std::string("abc") << true << false << 10 << std::optional(Match{0, 3});
        QTest::newRow("case, nothing before") << std::string("abc") << true << false << 2 << none;
        QTest::newRow("no case") << std::string("ABC") << false << false << 14 << std::optional(Match{8, 3});
        QTest::newRow("no case, after the stray byte") << std::string("\xff" "A") << false << false << 99 << std::optional(Match{11, 2});
        QTest::newRow("expression") << std::string("a[bB]c") << true << true << 12 << std::optional(Match{8, 3});
        QTest::newRow("expression, variable length") << std::string("c *a?") << true << true << 8 << std::optional(Match{2, 3});
    }

    void findLast()
    {
        QFETCH(std::string, needle);
        QFETCH(bool, matchCase);
        QFETCH(bool, regex);
        QFETCH(int, before);
        QFETCH(std::optional<Match>, expected);
        const std::string line = "abc aBc abc\xff" "Abc";
        QCOMPARE(Pattern(needle, {matchCase, regex}).find_last(line, static_cast<std::size_t>(before)), expected);
    }
};

QTEST_APPLESS_MAIN(TestPattern)
#include "test_pattern.moc"
