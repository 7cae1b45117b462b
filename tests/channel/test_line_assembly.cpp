// Line assembly on its own: chunks from one or many connections into lines, with a recording
// stand-in for the text view and the alert check.

#include "channel/line_assembly.h"

#include <QtTest>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

using channel::LineAssembly;

namespace {

class RecordingView final : public channel::LineTarget {
public:
    std::vector<std::string> lines;
    std::vector<std::string> checks;
    std::vector<std::string> completed;  // each line as shown when it was told complete
    int appends = 0;
    std::int64_t dropped = 0;  // lines dropped from the front so far
    std::string refused;       // the alert check throws for this line

    int line_count() const override { return static_cast<int>(lines.size()); }
    std::int64_t first_line_number() const override { return dropped; }
    std::string_view line_view(int index) const override { return lines.at(static_cast<std::size_t>(index)); }
    void append_lines(std::span<const std::string_view> added) override
    {
        ++appends;
        for (std::string_view line : added)
            lines.emplace_back(line);
    }
    void extend_line(int index, std::string_view bytes) override { lines.at(static_cast<std::size_t>(index)) += bytes; }
    void check_line(std::string_view line) override
    {
        if (!refused.empty() && line == refused)
            throw std::runtime_error("refused");
        checks.emplace_back(line);
    }
    void line_completed(std::int64_t number) override
    {
        completed.push_back(lines.at(static_cast<std::size_t>(number - dropped)));
    }
    void drop_first(int count)
    {
        lines.erase(lines.begin(), lines.begin() + count);
        dropped += count;
    }
};

QList<QByteArray> as_list(const std::vector<std::string>& items)
{
    QList<QByteArray> list;
    for (const std::string& item : items)
        list.append(QByteArray(item.data(), static_cast<qsizetype>(item.size())));
    return list;
}

// Steps: "A:bytes" connection A sends bytes; "A!" connection A closes.
void run_steps(LineAssembly& assembly, RecordingView& view, const QList<QByteArray>& steps)
{
    static const char keys[] = "ABCDEFGH";
    for (const QByteArray& step : steps) {
        const void* connection = keys + (step[0] - 'A');
        if (step[1] == '!')
            assembly.connection_closed(connection);
        else
            assembly.add_received_text(connection, std::string_view(step.constData() + 2, step.size() - 2), view);
    }
}

}  // namespace

class TestLineAssembly : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void assembles_lines_data()
    {
        QTest::addColumn<QList<QByteArray>>("steps");
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::addColumn<QList<QByteArray>>("checks");
        QTest::addColumn<bool>("open");
        using L = QList<QByteArray>;
        QTest::newRow("three pieces, one line") << L{"A:ab", "A:cd", "A:ef\n"} << L{"abcdef"} << L{"abcdef"} << false;
        QTest::newRow("empty lines dropped") << L{"A:\n", "A:a\n\n\nb\n"} << L{"a", "b"} << L{"a", "b"} << false;
        QTest::newRow("zero byte ends the chunk")
            << L{QByteArray("A:x\ny\0z\n", 8)} << L{"x", "y"} << L{"x"} << true;
        QTest::newRow("three lines, one chunk")
            << L{"A:1\n2\n3\n"} << L{"1", "2", "3"} << L{"1", "2", "3"} << false;
        QTest::newRow("line feed completes a fragment")
            << L{"A:abc", "A:\n", "A:x\n"} << L{"abc", "x"} << L{"abc", "x"} << false;
        QTest::newRow("fragment after lines") << L{"A:a\nb", "A:c\nd"} << L{"a", "bc", "d"} << L{"a", "bc"} << true;
        QTest::newRow("bytes that aren't UTF-8")
            << L{"A:\xff\xc3", "A:\xa9\xfe\n"} << L{"\xff\xc3\xa9\xfe"} << L{"\xff\xc3\xa9\xfe"} << false;
        QTest::newRow("two senders interleaved")
            << L{"A:hel", "B:wor", "A:lo\n", "B:ld\n"} << L{"hello", "world"} << L{"hello", "world"} << false;
        QTest::newRow("live sender's fragment is its own")
            << L{"A:ab", "B:cd\n", "A:\n"} << L{"ab", "cd"} << L{"cd", "ab"} << false;
        QTest::newRow("one line over short connections")
            << L{"A:ab", "A!", "B:cd", "B!", "C:ef\n"} << L{"abcdef"} << L{"abcdef"} << false;
        QTest::newRow("closed fragment joins the next line")
            << L{"A:ab", "A!", "B:cd\nx\n"} << L{"abcd", "x"} << L{"abcd", "x"} << false;
        QTest::newRow("only the newest closed fragment continues")
            << L{"A:ab", "B:cd", "A!", "B!", "C:ef\n"} << L{"ab", "cdef"} << L{"cdef"} << false;
    }
    void assembles_lines()
    {
        QFETCH(QList<QByteArray>, steps);
        QFETCH(QList<QByteArray>, lines);
        QFETCH(QList<QByteArray>, checks);
        QFETCH(bool, open);
        LineAssembly assembly;
        RecordingView view;
        run_steps(assembly, view, steps);
        QCOMPARE(as_list(view.lines), lines);
        QCOMPARE(as_list(view.checks), checks);
        // Told complete once each, by the number it is shown at, after it is shown whole.
        QCOMPARE(as_list(view.completed), checks);
        QCOMPARE(assembly.last_line_open(), open);
    }

    void chunk_is_one_append()
    {
        LineAssembly assembly;
        RecordingView view;
        assembly.add_received_text(nullptr, "1\n2\n3\nfrag", view);
        QCOMPARE(view.appends, 1);
        QCOMPARE(view.lines.size(), std::size_t(4));
    }

    void edited_view_is_never_corrupted()
    {
        LineAssembly assembly;
        RecordingView view;
        // The user changed the fragment's line: the completed line is appended instead.
        assembly.add_received_text(nullptr, "abc", view);
        view.lines[0] = "abX";
        assembly.add_received_text(nullptr, "def\n", view);
        QCOMPARE(as_list(view.lines), (QList<QByteArray>{"abX", "abcdef"}));
        QCOMPARE(as_list(view.checks), QList<QByteArray>{"abcdef"});

        // A line inserted above the fragment, with the fragment's own text: positions are no
        // longer trusted, so nothing is written into the inserted line.
        assembly.add_received_text(nullptr, "dup", view);
        view.lines.insert(view.lines.begin() + 2, "dup");
        assembly.add_received_text(nullptr, "e", view);
        assembly.add_received_text(nullptr, "!\n", view);
        QCOMPARE(as_list(view.lines), (QList<QByteArray>{"abX", "abcdef", "dup", "dup", "dupe!"}));
        QCOMPARE(as_list(view.checks), (QList<QByteArray>{"abcdef", "dupe!"}));
    }

    void failed_check_drops_the_rest_of_the_chunk()
    {
        LineAssembly assembly;
        RecordingView view;
        view.refused = "bad";
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, assembly.add_received_text(nullptr, "a\nbad\nc\nfrag", view));
        QCOMPARE(as_list(view.lines), QList<QByteArray>{"a"});
        QVERIFY(!assembly.last_line_open());
        assembly.add_received_text(nullptr, "z\n", view);
        QCOMPARE(as_list(view.lines), (QList<QByteArray>{"a", "z"}));

        // A joined line that fails leaves its shown fragment as it was, no longer open.
        view.refused = "xybad";
        assembly.add_received_text(nullptr, "xy", view);
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, assembly.add_received_text(nullptr, "bad\nq\n", view));
        QCOMPARE(as_list(view.lines), (QList<QByteArray>{"a", "z", "xy"}));
        QVERIFY(!assembly.last_line_open());
    }

    void long_lines_arrive_whole_and_are_extended_in_place()
    {
        // Two senders interleave long partial lines; each line is built up in its own shown
        // line and reaches the alert check once, byte for byte.
        LineAssembly assembly;
        RecordingView view;
        std::string expected_a;
        std::string expected_b;
        for (int i = 0; i < 300; ++i) {
            const std::string piece_a(1000, static_cast<char>('a' + i % 26));
            const std::string piece_b(700, static_cast<char>('A' + i % 26));
            assembly.add_received_text("A", piece_a, view);
            assembly.add_received_text("B", piece_b, view);
            expected_a += piece_a;
            expected_b += piece_b;
        }
        QCOMPARE(view.appends, 2);  // each fragment was shown once, then only extended
        assembly.add_received_text("B", "\n", view);
        assembly.add_received_text("A", "!\n", view);
        expected_a += '!';
        QCOMPARE(view.lines, (std::vector<std::string>{expected_a, expected_b}));
        QCOMPARE(view.checks, (std::vector<std::string>{expected_b, expected_a}));
        QVERIFY(!assembly.last_line_open());
    }

    void fragments_follow_lines_dropped_from_the_front()
    {
        LineAssembly assembly;
        RecordingView view;
        assembly.add_received_text("A", "1\n2\n3\nfrag", view);
        assembly.add_received_text("B", "b-part", view);
        view.drop_first(2);  // a scrollback limit dropped lines 1 and 2
        assembly.add_received_text("A", "ment\n", view);
        assembly.add_received_text("B", "-end\n", view);
        QCOMPARE(view.lines, (std::vector<std::string>{"3", "fragment", "b-part-end"}));

        // A fragment whose own line was dropped: the rest arrives as a line of its own, and the
        // alert check still sees the whole line while a copy of a short fragment is kept.
        assembly.add_received_text("A", "lost", view);
        view.drop_first(view.line_count());
        assembly.add_received_text("A", "-found\n", view);
        QCOMPARE(view.lines, (std::vector<std::string>{"lost-found"}));
        QCOMPARE(view.checks.back(), std::string("lost-found"));

        // A long fragment keeps no copy: only what is still to come can be shown.
        const std::string long_piece(100'000, 'x');
        assembly.add_received_text("A", long_piece, view);
        view.drop_first(view.line_count());
        assembly.add_received_text("A", "tail\n", view);
        QCOMPARE(view.lines, (std::vector<std::string>{"tail"}));
        QCOMPARE(view.checks.back(), std::string("tail"));
    }

    void a_cleared_view_shows_only_what_follows_while_alerts_see_whole_lines()
    {
        LineAssembly assembly;
        RecordingView view;
        assembly.add_received_text("A", "old\nstart-", view);
        assembly.add_received_text("B", "b1", view);
        const auto clear_view = [&] {
            view.drop_first(view.line_count());
            assembly.view_cleared();
        };
        clear_view();
        assembly.add_received_text("A", "mid-", view);  // a new line, shown and then grown
        assembly.add_received_text("A", "end\n", view);
        assembly.add_received_text("B", "b2\nnext\n", view);
        QCOMPARE(view.lines, (std::vector<std::string>{"mid-end", "b2", "next"}));
        QCOMPARE(view.checks, (std::vector<std::string>{"old", "start-mid-end", "b1b2", "next"}));

        // Cleared twice before the line ends, and cleared while nothing is open.
        assembly.add_received_text("A", "x", view);
        clear_view();
        assembly.add_received_text("A", "y", view);
        clear_view();
        clear_view();
        assembly.add_received_text("A", "z\n", view);
        QCOMPARE(view.lines, (std::vector<std::string>{"z"}));
        QCOMPARE(view.checks.back(), std::string("xyz"));
    }
};

QTEST_APPLESS_MAIN(TestLineAssembly)
#include "test_line_assembly.moc"
