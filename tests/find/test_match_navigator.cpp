// Find next / previous over a real line store: stepping through matches across lines and
// round the ends, answers that wait for the count, lines edited or dropped meanwhile, and a
// walk through random stores against a plain scan of every line.

#include "find/match_navigator.h"

#include "lines/line_store.h"

#include <QTest>

#include <random>
#include <string>
#include <tuple>
#include <vector>

using find::Match;
using find::Pattern;
using Store = lines::LineStore;
using Navigator = find::MatchNavigator<Store>;
using Status = Navigator::Status;

namespace {

constexpr auto whole_line = std::string_view::npos;

void fill(Store& store, std::initializer_list<std::string_view> lines)
{
    for (const auto line : lines)
        store.append_line(line);
}

// Counts in the smallest slices there are, so that every test also crosses slice borders.
void count_all(Navigator& navigator)
{
    while (!navigator.step(Navigator::Clock::time_point::min())) {
    }
}

// Every match in store order, each line walked the way Pattern::count walks it.
std::vector<std::pair<int, Match>> scan(const Store& store, const Pattern& pattern)
{
    std::vector<std::pair<int, Match>> found;
    for (int i = 0; i < store.line_count(); ++i) {
        for (std::size_t pos = 0; auto match = pattern.find(store.line_view(i), pos);) {
            found.emplace_back(i, *match);
            pos = match->end();
        }
    }
    return found;
}

std::string random_line(std::mt19937& random)
{
    static const char* const words[] = {"ok", "error", "ERROR", "Error 404", "\t", "\xff", "ошибка", "ОШИБКА", ""};
    std::uniform_int_distribution<std::size_t> pick(0, std::size(words) - 1);
    std::string line;
    for (int n = std::uniform_int_distribution<int>(0, 5)(random); n > 0; --n)
        line += std::string(words[pick(random)]) + (random() % 2 ? " " : "");
    return line;
}

}  // namespace

class TestMatchNavigator : public QObject {
    Q_OBJECT

private slots:
    void stepsAcrossLinesAndRoundTheEnds()
    {
        Store store;
        fill(store, {"error at start", "", "ok \xff then error", "ERROR error", "a"});
        Navigator navigator(store, Pattern("error", {}));
        count_all(navigator);
        QCOMPARE(navigator.match_count(), std::int64_t{4});
        // Where a match was found, whether the search wrapped, and its place among the matches.
        auto at = [&](const Navigator::Result& result) {
            const auto& found = result.found;
            return std::tuple(result.status == Status::found, found.line, found.match.start, found.wrapped,
                              navigator.ordinal(found.line, found.match));
        };
        using Place = std::tuple<bool, int, std::size_t, bool, std::optional<std::int64_t>>;
        QCOMPARE(at(navigator.next(0, 0)), Place(true, 0, 0, false, 1));
        QCOMPARE(at(navigator.next(0, 1)), Place(true, 2, 10, false, 2));
        QCOMPARE(at(navigator.next(2, 11)), Place(true, 3, 0, false, 3));
        QCOMPARE(at(navigator.next(3, 7)), Place(true, 0, 0, true, 1));
        QCOMPARE(at(navigator.previous(3, 11)), Place(true, 3, 6, false, 4));
        QCOMPARE(at(navigator.previous(3, 10)), Place(true, 3, 0, false, 3));
        QCOMPARE(at(navigator.previous(3, 4)), Place(true, 2, 10, false, 2));
        QCOMPARE(at(navigator.previous(1, 0)), Place(true, 0, 0, false, 1));
        QCOMPARE(at(navigator.previous(0, 4)), Place(true, 3, 6, true, 4));
        QCOMPARE(at(navigator.previous(4, 99)), Place(true, 3, 6, false, 4));
    }

    void wrapsWithinOneLineOrFindsNone()
    {
        Store store;
        fill(store, {"a error b", "x", ""});
        Navigator navigator(store, Pattern("ERROR", {}));
        count_all(navigator);
        for (const auto& result : {navigator.next(0, 3), navigator.previous(0, 2), navigator.next(2, 0)}) {
            QCOMPARE(result.status, Status::found);
            QCOMPARE(result.found.match, (Match{2, 5}));
            QCOMPARE(result.found.wrapped, result.found.line == 0);
        }
        for (const auto* needle : {"absent", "(", ""}) {
            Navigator nothing(store, Pattern(needle, {false, true}));
            count_all(nothing);
            QCOMPARE(nothing.next(1, 0).status, Status::none);
            QCOMPARE(nothing.previous(1, 0).status, Status::none);
        }
        Store empty;
        QCOMPARE(Navigator(empty, Pattern("x", {})).next(0, 0).status, Status::none);
    }

    void waitsForTheCount()
    {
        Store store;
        for (int i = 0; i < 5000; ++i)
            store.append_line(i == 10 || i == 4500 ? "an error" : "ok");
        Navigator navigator(store, Pattern("error", {}));
        navigator.step(Navigator::Clock::time_point::min());
        QVERIFY(navigator.lines_done() > 10 && navigator.lines_done() < 4500);
        QCOMPARE(navigator.next(20, 0).status, Status::pending);
        QCOMPARE(navigator.previous(5, 0).status, Status::pending);
        QCOMPARE(navigator.previous(20, 0).found.line, 10);
        QCOMPARE(navigator.ordinal(4500, {3, 5}), std::nullopt);
        count_all(navigator);
        QCOMPARE(navigator.next(20, 0).found.line, 4500);
        QCOMPARE(navigator.ordinal(4500, {3, 5}), 2);
        QVERIFY(navigator.previous(5, 0).found.wrapped);

        // The last line is searched as it is; other lines appended wait for the count.
        store.append_line("error late");
        QCOMPARE(navigator.next(4500, 4).found.line, 5000);
        store.append_line("tail");
        QCOMPARE(navigator.next(4500, 4).status, Status::pending);
        QCOMPARE(navigator.ordinal(5000, {0, 5}), std::nullopt);
        count_all(navigator);
        QCOMPARE(navigator.next(4500, 4).found.line, 5000);
        QCOMPARE(navigator.ordinal(5000, {0, 5}), 3);
    }

    void linesChangedAfterTheCount()
    {
        Store store;
        fill(store, {"error", "ok", "error", "ok", "error", "ok"});
        Navigator navigator(store, Pattern("error", {}));
        count_all(navigator);
        // A last line that grows is searched as it is now.
        store.extend_line(5, " error");
        QCOMPARE(navigator.next(4, 1).found.match, (Match{3, 5}));
        QCOMPARE(navigator.ordinal(5, {3, 5}), 4);
        QCOMPARE(navigator.previous(0, 0).found.line, 5);
        // A counted line that no longer matches is passed over.
        store.replace_line(2, "fixed");
        QCOMPARE(navigator.next(0, 1).found.line, 4);
        QCOMPARE(navigator.previous(4, 0).found.line, 0);
        for (const int line : {0, 4, 5})
            store.replace_line(line, "fine");
        QCOMPARE(navigator.next(0, 0).status, Status::none);
        QCOMPARE(navigator.previous(3, 0).status, Status::none);
    }

    void walksEveryMatchInOrder_data()
    {
        QTest::addColumn<std::string>("needle");
        QTest::addColumn<bool>("matchCase");
        QTest::addColumn<bool>("regex");
        QTest::newRow("plain") << std::string("error") << false << false;
        QTest::newRow("plain with case") << std::string("ОШИБКА") << true << false;
        QTest::newRow("plain, folded") << std::string("ошибка") << false << false;
        QTest::newRow("stray byte") << std::string("\xff") << true << false;
        QTest::newRow("expression") << std::string("err(or)?") << false << true;
        QTest::newRow("expression with case") << std::string("Error \\d+") << true << true;
    }

    void walksEveryMatchInOrder()
    {
        QFETCH(std::string, needle);
        QFETCH(bool, matchCase);
        QFETCH(bool, regex);
        std::mt19937 random(3);
        Store store;
        for (int i = 0; i < 3000; ++i)
            store.append_line(random_line(random));
        Navigator navigator(store, Pattern(needle, {matchCase, regex}));
        // Lines come and go while counting, and whatever is found meanwhile is there.
        for (int slice = 0; !navigator.step(Navigator::Clock::time_point::min()); ++slice) {
            store.drop_first_lines(slice % 2 ? 7 : 150);
            store.append_line(random_line(random));
            const auto result = navigator.next(slice, 0);
            QVERIFY(result.status != Status::none);
            if (result.status == Status::found)
                QCOMPARE(navigator.pattern().find(store.line_view(result.found.line), result.found.match.start),
                         result.found.match);
        }
        for (const int dropped : {0, 333}) {
            store.drop_first_lines(dropped);
            const auto expected = scan(store, navigator.pattern());
            QVERIFY(expected.size() > 20);
            QCOMPARE(navigator.match_count(), std::ssize(expected));
            auto result = navigator.next(0, 0);
            for (std::size_t i = 0; i < expected.size(); ++i) {
                QCOMPARE(result.status, Status::found);
                QCOMPARE(std::pair(result.found.line, result.found.match), expected[i]);
                QVERIFY(!result.found.wrapped);
                QCOMPARE(navigator.ordinal(result.found.line, result.found.match), static_cast<std::int64_t>(i + 1));
                result = navigator.next(result.found.line, result.found.match.end());
            }
            QVERIFY(result.found.wrapped);
            result = navigator.previous(store.line_count() - 1, whole_line);
            for (auto at = expected.rbegin(); at != expected.rend(); ++at) {
                QCOMPARE(std::pair(result.found.line, result.found.match), *at);
                QVERIFY(!result.found.wrapped);
                result = navigator.previous(result.found.line, result.found.match.start);
            }
            QCOMPARE(std::pair(result.found.line, result.found.match), expected.back());
            QVERIFY(result.found.wrapped);
        }
    }
};

QTEST_APPLESS_MAIN(TestMatchNavigator)
#include "test_match_navigator.moc"
