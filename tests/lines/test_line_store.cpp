// The line store and the byte-to-character reading the view uses, tested without a display.

#include "lines/line_store.h"
#include "lines/text_codec.h"

#include <QTest>

#include <random>
#include <string>
#include <vector>

using lines::LineStore;
using lines::TextOffset;

Q_DECLARE_METATYPE(std::string)

namespace {

std::string bytes_of(const QByteArray& data) { return std::string(data.constData(), static_cast<std::size_t>(data.size())); }

// The store must agree with a plain vector of lines on every query.
void compare_with_model(const LineStore& store, const std::vector<std::string>& model)
{
    QCOMPARE(store.line_count(), static_cast<int>(model.size()));
    TextOffset offset = 0;
    for (std::size_t i = 0; i < model.size(); ++i) {
        const int line = static_cast<int>(i);
        QCOMPARE(store.line_text(line), model[i]);
        QCOMPARE(store.line_start(line), offset);
        QCOMPARE(store.line_of_offset(offset), line);
        // The two bytes of a line break belong to the line before them.
        const TextOffset end = offset + static_cast<TextOffset>(model[i].size());
        QCOMPARE(store.line_of_offset(end + 1), line);
        offset = end + 2;
    }
    QCOMPARE(store.text_length(), model.empty() ? 0 : offset - 2);
    // Consecutive lines read in batches that straddle index pages.
    std::vector<std::string_view> batch(97);
    for (std::size_t i = 0; i < model.size();) {
        const std::size_t count = store.line_views(static_cast<int>(i), batch);
        QCOMPARE(count, std::min(batch.size(), model.size() - i));
        for (std::size_t k = 0; k < count; ++k)
            QCOMPARE(std::string(batch[k]), model[i + k]);
        i += count;
    }
    QCOMPARE(store.line_views(store.line_count(), batch), std::size_t{0});
}

}  // namespace

class TestLineStore : public QObject {
    Q_OBJECT

private slots:
    void lines_come_back_byte_for_byte_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("plain") << QByteArray("hello world");
        QTest::newRow("latin-1 bytes") << QByteArray("Gr\xFC\xDF" "e \xE9t\xE9");
        QTest::newRow("broken utf-8") << QByteArray("a\xE2\x82 b\xF0\x9F\x98 c\x80\xBF");
        QTest::newRow("valid utf-8") << QByteArray("\xE2\x82\xAC \xF0\x9F\x98\x80 \xC3\xA4");
        QTest::newRow("carriage return") << QByteArray("line ends with CR\r");
        QTest::newRow("tabs and controls") << QByteArray("\tcol1\tcol2\x1B[0m\x7F");
        QTest::newRow("zero byte") << QByteArray("before\0after", 12);
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("10000 characters") << QByteArray(10000, 'x');
        QTest::newRow("longer than a block") << QByteArray(5 << 20, '\xFF');
    }

    void lines_come_back_byte_for_byte()
    {
        QFETCH(QByteArray, line);
        const std::string bytes = bytes_of(line);
        LineStore batch;
        LineStore single;
        const std::string_view lines[] = {"first", bytes, "last"};
        batch.append_lines(lines);
        for (const std::string_view one : lines)
            single.append_line(one);
        for (const LineStore* store : {&batch, &single}) {
            QCOMPARE(store->line_count(), 3);
            QCOMPARE(store->line_text(1), bytes);
            QCOMPARE(store->line_text(2), std::string("last"));
            QCOMPARE(store->line_start(2), static_cast<TextOffset>(5 + 2 + bytes.size() + 2));
        }
    }

    void every_edit_agrees_with_a_plain_line_list()
    {
        // Enough lines and edits to split, empty and drop index pages many times.
        std::mt19937 random(20240611);
        LineStore store;
        std::vector<std::string> model;
        const auto some_line = [&] {
            std::string line(random() % 40, 'a');
            for (char& c : line)
                c = static_cast<char>(random() % 256);
            return line;
        };
        for (int step = 0; step < 1500; ++step) {
            const int count = static_cast<int>(model.size());
            switch (random() % 8) {
            case 0:
            case 1: {
                std::vector<std::string> added(random() % 50);
                for (auto& line : added)
                    line = some_line();
                const std::vector<std::string_view> views(added.begin(), added.end());
                store.append_lines(views);
                model.insert(model.end(), added.begin(), added.end());
                break;
            }
            case 2: {
                const int at = count == 0 ? 0 : static_cast<int>(random() % static_cast<unsigned>(count + 1));
                std::vector<std::string> added(1 + random() % 3000);
                for (auto& line : added)
                    line = some_line();
                const std::vector<std::string_view> views(added.begin(), added.end());
                store.insert_lines(at, views);
                model.insert(model.begin() + at, added.begin(), added.end());
                break;
            }
            case 3:
                if (count > 0) {
                    const int at = static_cast<int>(random() % static_cast<unsigned>(count));
                    const int n = 1 + static_cast<int>(random() % static_cast<unsigned>(std::min(count - at, 4000)));
                    store.erase_lines(at, n);
                    model.erase(model.begin() + at, model.begin() + at + n);
                }
                break;
            case 4:
                if (count > 0) {
                    const int at = static_cast<int>(random() % static_cast<unsigned>(count));
                    // Growing, shrinking and self-referencing replacements.
                    std::string text = random() % 2 ? some_line() + some_line() : model[static_cast<std::size_t>(at)].substr(0, 3);
                    if (random() % 4 == 0) {
                        const std::string_view own = store.line_view(at);
                        store.replace_line(at, own.substr(own.size() / 2));
                        model[static_cast<std::size_t>(at)] = model[static_cast<std::size_t>(at)].substr(model[static_cast<std::size_t>(at)].size() / 2);
                    } else {
                        store.replace_line(at, text);
                        model[static_cast<std::size_t>(at)] = text;
                    }
                }
                break;
            case 5:
                if (count > 0) {
                    store.delete_last_line();
                    model.pop_back();
                }
                break;
            case 6:
                // A fragment growing anywhere, the way interleaved senders extend their lines.
                if (count > 0) {
                    const int at = count - 1 - static_cast<int>(random() % static_cast<unsigned>(std::min(count, 4)));
                    const std::string added = some_line();
                    store.extend_line(at, added);
                    model[static_cast<std::size_t>(at)] += added;
                }
                break;
            case 7:
                if (count > 0 && random() % 4 == 0) {
                    const int n = static_cast<int>(random() % static_cast<unsigned>(std::min(count, 3000) + 1));
                    store.drop_first_lines(n);
                    model.erase(model.begin(), model.begin() + n);
                }
                break;
            }
            if (step % 300 == 0)
                compare_with_model(store, model);
        }
        compare_with_model(store, model);
    }

    void a_fragment_completed_again_and_again_does_not_grow_the_store()
    {
        // Line assembly replaces or re-appends the open last line with each chunk.
        LineStore store;
        store.append_line(std::string(100, 'a'));
        std::string fragment = "start";
        store.append_line(fragment);
        const std::size_t before = store.memory_bytes();
        for (int i = 0; i < 20000; ++i) {
            fragment += 'x';
            if (i % 2 == 0) {
                store.replace_line(1, fragment);
            } else {
                store.delete_last_line();
                store.append_line(fragment);
            }
        }
        QCOMPARE(store.line_text(1), fragment);
        QVERIFY(store.memory_bytes() < before + (std::size_t{1} << 20));
    }

    void a_long_line_grows_in_place_and_costs_its_size()
    {
        // 16 MB sent in 1 KiB pieces while short lines keep arriving around it (a second
        // sender), so the line can't simply grow at the end of the store.
        LineStore store;
        store.append_line("before");
        store.append_line("");
        std::string expected;
        std::string piece(1024, 'x');
        for (int i = 0; i < 16 * 1024; ++i) {
            piece[0] = static_cast<char>('a' + i % 26);
            piece[1023] = i % 3 == 0 ? '\t' : '\xC3';  // tabs and characters cut between pieces
            piece[0] = i % 3 == 1 ? '\xA4' : piece[0];
            store.extend_line(1, piece);
            expected += piece;
            if (i % 64 == 0)
                store.append_line("other sender's line");
        }
        QCOMPARE(store.line_length(1), expected.size());
        QVERIFY(store.line_view(1) == expected);
        QVERIFY2(static_cast<double>(store.memory_bytes()) < 1.3 * static_cast<double>(store.byte_total()),
                 qPrintable(QStringLiteral("%1 bytes held for %2").arg(store.memory_bytes()).arg(store.byte_total())));

        // Its column marks agree with counting the line from its start.
        QCOMPARE(store.mark_before_byte(0, 3).byte, std::size_t{0});
        for (const std::size_t byte : {std::size_t{0}, std::size_t{70'000}, std::size_t{5'000'001}, expected.size()}) {
            const lines::ColumnMark mark = store.mark_before_byte(1, byte);
            QVERIFY(mark.byte <= byte && byte - mark.byte <= LineStore::long_line_bytes + 4);
            QCOMPARE(mark.column, static_cast<std::int64_t>(lines::display_columns(std::string_view(expected).substr(0, mark.byte))));
            const lines::ColumnMark by_column = store.mark_before_column(1, mark.column);
            QCOMPARE(by_column.byte, mark.byte);
        }
        QVERIFY(store.max_columns() >= static_cast<std::int64_t>(expected.size()) - 16 * 1024);
    }

    void dropped_and_cleared_lines_give_their_memory_back()
    {
        LineStore store;
        const std::string line(100, 'y');
        std::vector<std::string_view> batch(10'000, line);
        for (int i = 0; i < 10; ++i)
            store.append_lines(batch);  // about 10 MB
        store.append_line(std::string(1 << 20, 'z'));  // a line with a block of its own
        const std::size_t full = store.memory_bytes();
        QVERIFY(full > 10'000'000);

        store.drop_first_lines(90'000);
        QCOMPARE(store.line_count(), 10'001);
        QCOMPARE(store.first_line_number(), std::int64_t{90'000});
        QCOMPARE(store.line_start(0), TextOffset{0});
        QCOMPARE(store.line_text(0), line);
        // Of the two blocks that held only dropped lines one is gone and one is kept for the
        // lines to come, which fill it without taking more memory; the block still holding kept
        // lines stays.
        const std::size_t dropped = store.memory_bytes();
        QVERIFY2(dropped + (std::size_t{4} << 20) <= full, qPrintable(QString::number(dropped)));
        for (int i = 0; i < 3; ++i)
            store.append_lines(batch);
        QVERIFY2(store.memory_bytes() < dropped + (std::size_t{1} << 20), qPrintable(QString::number(store.memory_bytes())));
        QCOMPARE(store.line_text(store.line_count() - 1), line);

        store.clear();
        QCOMPARE(store.first_line_number(), std::int64_t{130'001});
        QVERIFY(store.memory_bytes() < 4096);
        store.append_line("again");
        QCOMPARE(store.line_text(0), std::string("again"));
    }

    void offsets_outside_the_text_are_clamped()
    {
        LineStore store;
        QCOMPARE(store.line_of_offset(5), 0);
        QCOMPARE(store.text_length(), TextOffset{0});
        const std::string_view lines[] = {"ab", "cd"};
        store.append_lines(lines);
        QCOMPARE(store.line_of_offset(-3), 0);
        QCOMPARE(store.line_of_offset(1000), 1);
        QCOMPARE(store.line_start(2), TextOffset{8});
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, store.line_text(2));
        store.clear();
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, store.delete_last_line());
    }

    void characters_of_a_line_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QList<int>>("starts");
        QTest::addColumn<QString>("text");
        QTest::newRow("ascii") << QByteArray("ab") << QList<int>{0, 1} << QStringLiteral("ab");
        QTest::newRow("two-byte") << QByteArray("\xC3\xA4x") << QList<int>{0, 2} << QStringLiteral("\u00E4x");
        QTest::newRow("three-byte") << QByteArray("\xE2\x82\xAC") << QList<int>{0} << QStringLiteral("\u20AC");
        QTest::newRow("four-byte") << QByteArray("\xF0\x9F\x98\x80!") << QList<int>{0, 4}
                                   << QString::fromUtf8("\xF0\x9F\x98\x80!");
        QTest::newRow("latin-1 umlaut") << QByteArray("\xFC") << QList<int>{0} << QStringLiteral("\u00FC");
        QTest::newRow("cp1252 euro") << QByteArray("\x80") << QList<int>{0} << QStringLiteral("\u20AC");
        QTest::newRow("overlong") << QByteArray("\xC0\x80") << QList<int>{0, 1} << QStringLiteral("\u00C0\u20AC");
        QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << QList<int>{0, 1, 2}
                                   << QStringLiteral("\u00ED\u00A0\u20AC");
        QTest::newRow("past U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << QList<int>{0, 1, 2, 3}
                                       << QStringLiteral("\u00F4\u0090\u20AC\u20AC");
        QTest::newRow("truncated") << QByteArray("\xE2\x82 ") << QList<int>{0, 1, 2}
                                   << QStringLiteral("\u00E2\u201A ");
        QTest::newRow("stray continuation after sequence") << QByteArray("\xC3\xA4\xA4") << QList<int>{0, 2}
                                                           << QStringLiteral("\u00E4\u00A4");
        // Long ASCII runs are decoded many bytes at a time, up to the character that ends them.
        const QByteArray runs = QByteArray("0123456789abcdefghij\xC3\xA4klmnopqrs\xF0\x9F\x98\x80tuvwxyz01234567");
        QList<int> run_starts;
        for (int pos = 0; pos < runs.size(); pos += static_cast<unsigned char>(runs[pos]) >= 0xF0 ? 4 : static_cast<unsigned char>(runs[pos]) >= 0xC0 ? 2 : 1)
            run_starts.append(pos);
        QTest::newRow("ascii runs") << runs << run_starts << QString::fromUtf8(runs);
    }

    void characters_of_a_line()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QList<int>, starts);
        QFETCH(QString, text);
        const std::string line = bytes_of(bytes);
        QList<int> found;
        for (std::size_t pos = 0; pos < line.size(); pos = lines::next_char(line, pos))
            found.append(static_cast<int>(pos));
        QCOMPARE(found, starts);
        // Every byte maps back to the start of the character holding it.
        for (std::size_t pos = 0; pos < line.size(); ++pos) {
            const std::size_t start = lines::char_start(line, pos);
            QVERIFY(starts.contains(static_cast<int>(start)));
            QVERIFY(start <= pos && pos < lines::next_char(line, start));
        }
        QCOMPARE(lines::decode_text(line), text);
        QCOMPARE(lines::utf16_length(line), text.size());
    }

    void display_shows_controls_and_expands_tabs()
    {
        QCOMPARE(lines::decode_display("a\rb\x1B"), QStringLiteral("a b\u241B"));
        QCOMPARE(lines::decode_text("a\rb\x1B"), QStringLiteral("a\rb\x1B"));
        QCOMPARE(lines::display_columns("ab\tc"), 9);
        QCOMPARE(lines::display_columns("12345678\tx"), 17);
        QCOMPARE(lines::display_columns("\xC3\xA4\xC3\xB6"), 2);
        QVERIFY(lines::is_plain_ascii("a\tb ~"));
        QVERIFY(!lines::is_plain_ascii("a\rb"));
        QVERIFY(!lines::is_plain_ascii("\xC3\xA4"));
    }
};

QTEST_APPLESS_MAIN(TestLineStore)
#include "test_line_store.moc"
