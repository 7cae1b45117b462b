// The sliced search over a real line store: while lines arrive and old ones are dropped
// between slices, it ends with what one search over the final store gives.

#include "find/line_search.h"

#include "lines/line_store.h"

#include <QTest>

#include <random>
#include <string>

using find::LineSearch;
using find::Pattern;
using find::SearchMode;
using Store = lines::LineStore;

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

// What one search over the store as it is gives: line numbers and the match total.
std::pair<std::deque<std::int64_t>, std::int64_t> search_once(const Store& store, const Pattern& pattern, SearchMode mode)
{
    std::deque<std::int64_t> numbers;
    std::int64_t total = 0;
    for (int i = 0; i < store.line_count(); ++i) {
        const std::size_t matches = pattern.count(store.line_view(i));
        const bool recorded = mode == SearchMode::count ? matches > 0 : (matches > 0) == (mode == SearchMode::show_matching);
        if (recorded)
            numbers.push_back(store.first_line_number() + i);
        total += mode == SearchMode::count ? static_cast<std::int64_t>(matches) : recorded;
    }
    return {numbers, total};
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
        // Lines dropped since the last step no longer count, nor do any below them.
        store.drop_first_lines(777);
        QCOMPARE(search.match_count(), search_once(store, search.pattern(), mode).second);
        QCOMPARE(search.matches_before(0), 0);

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
        LineSearch<Store> search(store, Pattern("e", {}), SearchMode::count);
        search.stop_at(110);
        QVERIFY(search.step(LineSearch<Store>::Clock::now() + std::chrono::seconds(1)));
        QCOMPARE(search.lines().back(), 99);
        // Lines appended up to the bound are searched, those after it never.
        for (int i = 0; i < 20; ++i)
            store.append_line("eee");
        QCOMPARE(search.lines_total(), 100);
        QVERIFY(search.step(LineSearch<Store>::Clock::now() + std::chrono::seconds(1)));
        QCOMPARE(search.lines_done(), 100);
        QCOMPARE(search.lines().back(), 109);
        QCOMPARE(search.match_count(), 30 + 10 * 3);
        QCOMPARE(search.matches_before(100), 30);
        // Once the front of the store passes the bound nothing is left.
        store.drop_first_lines(105);
        QCOMPARE(search.lines_total(), 0);
        QCOMPARE(search.match_count(), 0);
        QVERIFY(search.step(LineSearch<Store>::Clock::now() + std::chrono::seconds(1)));
        QVERIFY(search.lines().empty());
    }
};

QTEST_APPLESS_MAIN(TestLineSearch)
#include "test_line_search.moc"
