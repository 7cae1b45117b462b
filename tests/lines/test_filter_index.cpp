// A filter's index against a plain list of the passing lines, while lines arrive, complete out
// of order, are dropped from the log's front and the log is emptied.

#include "lines/filter_index.h"

#include <QTest>

#include <string>
#include <vector>

namespace {

// Every line of the index read, and every offset looked up, against the lines it should hold.
void check_index(const lines::FilterIndex& index, const std::vector<std::string>& expected)
{
    QCOMPARE(index.line_count(), static_cast<int>(expected.size()));
    lines::TextOffset start = 0;
    for (std::size_t line = 0; line < expected.size(); ++line) {
        const int at = static_cast<int>(line);
        QCOMPARE(std::string(index.line_view(at)), expected[line]);
        QCOMPARE(index.line_start(at), start);
        const auto length = static_cast<lines::TextOffset>(expected[line].size());
        // Every offset of the line and of its break belongs to it.
        for (const lines::TextOffset offset : {start, start + length, start + length + 1})
            if (line + 1 < expected.size() || offset <= start + length)
                QCOMPARE(index.line_of_offset(offset), at);
        start += length + 2;
    }
    QCOMPARE(index.text_length(), expected.empty() ? 0 : start - 2);
    QVERIFY(index.memory_bytes() <= expected.size() * 9 + 64);
}

}  // namespace

class TestFilterIndex : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void follows_the_log()
    {
        lines::LogLines log;
        lines::FilterIndex index(log);
        // Lines of different lengths; every third passes.
        std::vector<std::string> all;
        for (int line = 0; line < 600; ++line)
            all.push_back("line " + std::to_string(line) + std::string(static_cast<std::size_t>(line % 7), 'x'));
        std::vector<std::string_view> views(all.begin(), all.end());
        log.append(views, 1000);
        std::vector<std::int64_t> passing;
        std::vector<std::string> expected;
        for (std::int64_t line = 0; line < 600; line += 3) {
            passing.push_back(line);
            expected.push_back(all[static_cast<std::size_t>(line)]);
        }
        index.add(passing);
        check_index(index, expected);
        QCOMPARE(index.time(5), 1000);
        QCOMPARE(index.log_number(5), 15);

        // A line completed late goes in at its place; one held already is not taken twice.
        const std::int64_t late[] = {10, 12};
        index.add(late);
        expected.insert(expected.begin() + 4, all[10]);
        check_index(index, expected);

        // The log's oldest lines go: the index's lines among them go too, in whole and part marks.
        log.set_text_limit(log.byte_total() - 1000);
        const std::int64_t first_kept = log.first_line_number();
        QVERIFY(first_kept > 64);
        std::erase_if(expected, [&](const std::string& line) { return std::stoll(line.substr(5)) < first_kept; });
        check_index(index, expected);
        QCOMPARE(index.first_line_number(), static_cast<std::int64_t>(201 - expected.size()));

        // New lines keep arriving after the drop.
        const std::string_view more[] = {"fresh one", "fresh two"};
        log.append(more);
        const std::int64_t fresh[] = {log.first_line_number() + log.line_count() - 1};
        index.add(fresh);
        expected.emplace_back("fresh two");
        check_index(index, expected);

        // A line edited away from the log leaves the index, whose offsets are counted anew.
        log.delete_last_line();
        expected.pop_back();
        check_index(index, expected);

        log.clear();
        check_index(index, {});
    }
};

QTEST_GUILESS_MAIN(TestFilterIndex)
#include "test_filter_index.moc"
