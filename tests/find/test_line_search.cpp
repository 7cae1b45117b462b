// The sliced search over a real line store: while lines arrive and old ones are dropped
// between slices, it ends with what one search over the final store gives.

#include "find/line_search.h"

#include "colormemo/line_store.h"

#include <QTest>

#include <random>
#include <string>
#include <vector>

using find::LineSearch;
using find::Pattern;
using find::SearchMode;
using Store = colormemo::LineStore;

Q_DECLARE_METATYPE(SearchMode)

namespace {

std::string random_line(std::mt19937& random)
{
    static const char* const words[] = {"ok", "error", "ERROR", "Error 404", "warn", "\t", "\xff", "ошибка", "ОШИБКА"};
    std::uniform_int_distribution<std::size_t> pick(0, std::size(words) - 1);
    std::uniform_int_distribution<int> length(0, 12);
    std::string line;
    for (int n = length(random); n > 0; --n)
        line += std::string(words[pick(random)]) + ' ';
    return line;
}

// What one search over the store as it is gives each line: its matches when counting, one
// for a line that passes a filter.
std::vector<std::int64_t> weights_once(const Store& store, const Pattern& pattern, SearchMode mode)
{
    std::vector<std::int64_t> weights;
    for (int i = 0; i < store.line_count(); ++i) {
        const auto matches = static_cast<std::int64_t>(pattern.count(store.line_view(i)));
        if (mode == SearchMode::count)
            weights.push_back(matches);
        else
            weights.push_back((matches > 0) == (mode == SearchMode::show_matching) ? 1 : 0);
    }
    return weights;
}

// What one search over the store as it is gives: line numbers and the match total.
std::pair<std::deque<std::int64_t>, std::int64_t> search_once(const Store& store, const Pattern& pattern, SearchMode mode)
{
    std::deque<std::int64_t> numbers;
    std::int64_t total = 0;
    const auto weights = weights_once(store, pattern, mode);
    for (std::size_t i = 0; i < weights.size(); ++i) {
        if (weights[i] > 0)
            numbers.push_back(store.first_line_number() + static_cast<std::int64_t>(i));
        total += weights[i];
    }
    return {numbers, total};
}

// The totals below lines of the store, asked of the search, against one search of the store.
void check_totals_before(const LineSearch<Store>& search, const Store& store, SearchMode mode)
{
    const auto weights = weights_once(store, search.pattern(), mode);
    const auto first = store.first_line_number();
    QCOMPARE(search.matches_before(first - 1), 0);
    std::int64_t below = 0;
    for (std::size_t i = 0; i < weights.size(); ++i) {
        if (i % 97 == 0)
            QCOMPARE(search.matches_before(first + static_cast<std::int64_t>(i)), below);
        below += weights[i];
    }
    QCOMPARE(search.matches_before(first + std::ssize(weights)), below);
    QCOMPARE(search.match_count(), below);
}

}  // namespace

class TestLineSearch : public QObject {
    Q_OBJECT

private slots:
    void slicesMatchOneSearchWhileTheStoreChanges_data()
    {
        QTest::addColumn<SearchMode>("mode");
        QTest::addColumn<bool>("regex");
        QTest::newRow("count plain") << SearchMode::count << false;
        QTest::newRow("count expression") << SearchMode::count << true;
        QTest::newRow("show matching") << SearchMode::show_matching << false;
        QTest::newRow("hide matching") << SearchMode::hide_matching << true;
    }

    void slicesMatchOneSearchWhileTheStoreChanges()
    {
        QFETCH(SearchMode, mode);
        QFETCH(bool, regex);
        std::mt19937 random(7);
        Store store;
        auto append = [&](int count) {
            for (int i = 0; i < count; ++i)
                store.append_line(random_line(random));
        };
        append(20000);
        const char* needle = regex ? "(error|ошибка) ?\\d*" : "ошибка";
        LineSearch<Store> search(store, Pattern(needle, {false, regex}), mode);
        int slices = 0;
        // A deadline already past: each slice does the least work it does.
        while (!search.step(LineSearch<Store>::Clock::time_point::min())) {
            ++slices;
            QVERIFY(search.lines_done() < search.lines_total());
            append(50);
            store.drop_first_lines(slices % 3 == 0 ? 300 : 10);
            if (slices == 10) {
                store.clear();
                append(20000);
            }
        }
        QVERIFY(slices > 20);
        QVERIFY(search.done());
        QCOMPARE(search.lines_done(), search.lines_total());
        const auto [numbers, total] = search_once(store, search.pattern(), mode);
        QVERIFY(total > 0);
        QCOMPARE(search.lines(), numbers);
        QCOMPARE(search.match_count(), total);
        check_totals_before(search, store, mode);

        // Lines dropped without a step since are no longer in the totals.
        store.drop_first_lines(777);
        check_totals_before(search, store, mode);

        // Lines appended after the end are searched by the next step.
        store.append_line("ERROR ОШИБКА 500");
        QVERIFY(!search.done());
        QVERIFY(search.step(LineSearch<Store>::Clock::now() + std::chrono::seconds(1)));
        QCOMPARE(search.match_count(), search_once(store, search.pattern(), mode).second);
    }

    void stopAtBoundsTheSearch()
    {
        Store store;
        for (int i = 0; i < 100; ++i)
            store.append_line(i % 3 == 0 ? "error" : "ok");
        store.drop_first_lines(10);
        LineSearch<Store> search(store, Pattern("error", {}), SearchMode::show_matching);
        search.stop_at(70);
        QCOMPARE(search.lines_total(), 60);
        QVERIFY(search.step(LineSearch<Store>::Clock::now() + std::chrono::seconds(1)));
        QCOMPARE(search.lines_done(), 60);
        QCOMPARE(search.lines().front(), 12);
        QCOMPARE(search.lines().back(), 69);
        QCOMPARE(search.match_count(), 20);

        // Lines after the bound, present or appended, are never searched.
        store.append_line("error");
        QVERIFY(search.done());
        QVERIFY(search.step(LineSearch<Store>::Clock::now() + std::chrono::seconds(1)));
        QCOMPARE(search.lines().back(), 69);
        QCOMPARE(search.lines_total(), 60);

        // Once the store's front passes the bound nothing is left.
        store.drop_first_lines(65);
        QCOMPARE(search.lines_total(), 0);
        QCOMPARE(search.lines_done(), 0);
        QCOMPARE(search.match_count(), 0);
        QVERIFY(search.step(LineSearch<Store>::Clock::now() + std::chrono::seconds(1)));
        QVERIFY(search.lines().empty());
    }

    void stopAtBeyondTheEndWaitsForLines()
    {
        Store store;
        for (int i = 0; i < 5; ++i)
            store.append_line("error");
        LineSearch<Store> search(store, Pattern("e", {}), SearchMode::count);
        search.stop_at(8);
        QVERIFY(search.step(LineSearch<Store>::Clock::now() + std::chrono::seconds(1)));
        QCOMPARE(search.match_count(), 5);
        for (int i = 0; i < 5; ++i)
            store.append_line("eee");
        QVERIFY(!search.done());
        QCOMPARE(search.lines_total(), 8);
        QVERIFY(search.step(LineSearch<Store>::Clock::now() + std::chrono::seconds(1)));
        QCOMPARE(search.lines_done(), 8);
        QCOMPARE(search.match_count(), 5 + 3 * 3);
        QCOMPARE(search.matches_before(6), 5 + 3);
    }
};

QTEST_APPLESS_MAIN(TestLineSearch)
#include "test_line_search.moc"
