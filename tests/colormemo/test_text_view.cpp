// The colour memo's text view as the log window and the user drive it: the line list,
// following the end, editing keys, mouse selection, clipboard, painting and accessibility.

#include "memo_window.h"
#include "lines/text_codec.h"
#include "platform/message_box.h"

#include <QAccessible>
#include <QAccessibleTextInterface>
#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using memo_test::first_ink_column;

namespace {

std::string bytes_of(const QByteArray& data) { return std::string(data.constData(), static_cast<std::size_t>(data.size())); }

// A log window stand-in: the memo sits in a layout and is found by its object name.
struct Window {
    lines::LogLines lines;
    QWidget widget;
    TColorMemo* memo;

    explicit Window(QSize size = {500, 300})
    {
        auto* layout = new QVBoxLayout(&widget);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* created = new TColorMemo(&widget);
        created->setObjectName(QStringLiteral("memo1"));
        created->set_lines(lines);
        layout->addWidget(created);
        widget.resize(size);
        widget.show();
        memo = widget.findChild<TColorMemo*>(QStringLiteral("memo1"));
    }
};

std::vector<std::string> all_lines(const TColorMemo& memo)
{
    std::vector<std::string> lines;
    for (int i = 0; i < memo.line_count(); ++i)
        lines.push_back(memo.line_text(i));
    return lines;
}

void append(TColorMemo& memo, const std::vector<std::string>& lines)
{
    const std::vector<std::string_view> views(lines.begin(), lines.end());
    memo.append_lines(views);
}

bool last_line_fully_visible(const TColorMemo& memo)
{
    const QPoint at = memo.position_of_offset(memo.line_start(memo.line_count() - 1));
    return at.y() >= 0 && at.y() + memo.line_height() <= memo.client_rect().height();
}

// What a screen reader keeps of the view: the text as the view's events tell it. Qt passes
// accessibility events on only while its bridge to the desktop's accessibility bus is active;
// the handler takes them instead of the bridge.
struct Reader {
    static inline const QObject* watched = nullptr;
    static inline QString text;
    static inline int inserts = 0;
    static inline QAccessible::UpdateHandler previous = nullptr;

    static void receive(QAccessibleEvent* event)
    {
        if (event->object() != watched)
            return;
        switch (event->type()) {
        case QAccessible::TextInserted: {
            const auto* inserted = static_cast<QAccessibleTextInsertEvent*>(event);
            text.insert(inserted->changePosition(), inserted->textInserted());
            ++inserts;
            break;
        }
        case QAccessible::TextRemoved: {
            const auto* removed = static_cast<QAccessibleTextRemoveEvent*>(event);
            QCOMPARE(text.mid(removed->changePosition(), removed->textRemoved().size()), removed->textRemoved());
            text.remove(removed->changePosition(), removed->textRemoved().size());
            break;
        }
        case QAccessible::TextUpdated: {
            const auto* updated = static_cast<QAccessibleTextUpdateEvent*>(event);
            text.replace(updated->changePosition(), updated->textRemoved().size(), updated->textInserted());
            break;
        }
        default:
            break;
        }
    }
    explicit Reader(const QObject* view)
    {
        watched = view;
        text.clear();
        inserts = 0;
        previous = QAccessible::installUpdateHandler(receive);
    }
    ~Reader()
    {
        QAccessible::installUpdateHandler(previous);
        watched = nullptr;
    }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;
};

std::vector<std::string> numbered_lines(int first, int count, std::size_t size)
{
    std::vector<std::string> lines;
    for (int i = first; i < first + count; ++i) {
        std::string line = "line " + std::to_string(i) + " ";
        line.resize(size, 'x');
        lines.push_back(line);
    }
    return lines;
}

}  // namespace

Q_DECLARE_METATYPE(std::string)

class TestTextView : public QObject {
    Q_OBJECT

private slots:
    void new_memo_is_an_empty_editable_courier_memo()
    {
        Window window;
        TColorMemo& memo = *window.memo;
        QCOMPARE(memo.line_count(), 0);
        QCOMPARE(memo.text_length(), lines::TextOffset{0});
        QCOMPARE(memo.font().family(), QStringLiteral("Courier"));
        QCOMPARE(memo.font().pixelSize(), 15);
        QCOMPARE(memo.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(memo.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QVERIFY(!memo.ReadOnly());
        QVERIFY(memo.line_height() >= 15);
    }

    void received_lines_come_back_byte_for_byte_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("plain") << QByteArray("2024-06-11 12:00:01 service started");
        QTest::newRow("not utf-8") << QByteArray("Gr\xFC\xDF" "e \x80\x81\xFE\xFF \xE2\x82");
        QTest::newRow("utf-8") << QByteArray("\xE2\x82\xAC \xF0\x9F\x98\x80 \xC3\xA4");
        QTest::newRow("carriage return") << QByteArray("ends with CR\r");
        QTest::newRow("tab") << QByteArray("a\tb\t\tc");
        QTest::newRow("10000 characters") << QByteArray(10000, 'y');
    }

    void received_lines_come_back_byte_for_byte()
    {
        QFETCH(QByteArray, line);
        const std::string bytes = bytes_of(line);
        Window batch_window;
        Window single_window;
        TColorMemo& batch = *batch_window.memo;
        TColorMemo& single = *single_window.memo;
        int changes = 0;
        batch.OnChange = [&] { ++changes; };

        const std::vector<std::string> chunk = {"first", bytes, bytes + "\t" + bytes, "last"};
        append(batch, chunk);
        for (const std::string& one : chunk)
            single.append_line(one);

        QCOMPARE(changes, 1);
        QCOMPARE(all_lines(batch), chunk);
        QCOMPARE(all_lines(single), chunk);
        QCOMPARE(batch.plain_text(), single.plain_text());
        QCOMPARE(batch.text_length(), single.text_length());
        // The view paints these lines without harm, long ones included.
        QVERIFY(!batch.viewport()->grab().isNull());
    }

    void fragment_lines_are_completed_and_removed()
    {
        Window window;
        TColorMemo& memo = *window.memo;
        append(memo, {"one", "tw"});
        memo.replace_line(1, "two\r");
        QCOMPARE(memo.line_text(1), std::string("two\r"));
        memo.append_line("frag");
        // The caret sits in the fragment line when it is taken away again.
        memo.set_selection(memo.text_length(), 0);
        memo.delete_last_line();
        QCOMPARE(memo.line_count(), 2);
        QCOMPARE(memo.caret_offset(), memo.text_length());
        memo.append_line("fragment joined");
        // A caret on a later line keeps its place when an earlier line changes length.
        memo.set_selection(memo.line_start(2) + 3, 0);
        memo.replace_line(0, "one, now longer");
        QCOMPARE(memo.caret_offset(), memo.line_start(2) + 3);
        memo.replace_line(0, "one");
        QCOMPARE(all_lines(memo), (std::vector<std::string>{"one", "two\r", "fragment joined"}));
        memo.delete_last_line();
        memo.delete_last_line();
        memo.delete_last_line();
        QCOMPARE(memo.line_count(), 0);
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, memo.delete_last_line());
    }

    void view_follows_the_end_until_the_user_scrolls_up()
    {
        Window window;
        TColorMemo& memo = *window.memo;
        QVERIFY(QTest::qWaitForWindowExposed(&window.widget));
        for (int chunk = 0; chunk < 10; ++chunk) {
            std::vector<std::string> lines;
            for (int i = 0; i < 17; ++i)
                lines.push_back("line " + std::to_string(chunk * 17 + i));
            append(memo, lines);
            QVERIFY(last_line_fully_visible(memo));
        }
        // The user scrolls up a page: new lines leave the view where it is.
        QScrollBar* bar = memo.verticalScrollBar();
        bar->triggerAction(QAbstractSlider::SliderPageStepSub);
        const int kept = memo.first_visible_line();
        QVERIFY(kept < bar->maximum());
        append(memo, {"more", "and more"});
        QCOMPARE(memo.first_visible_line(), kept);
        QVERIFY(!last_line_fully_visible(memo));
        // Back at the end, it follows again.
        QTest::keyClick(&memo, Qt::Key_End, Qt::ControlModifier);
        QVERIFY(last_line_fully_visible(memo));
        append(memo, {"latest"});
        QVERIFY(last_line_fully_visible(memo));
        QCOMPARE(memo.line_text(memo.line_count() - 1), std::string("latest"));
    }

    void typing_enter_backspace_and_delete_edit_lines()
    {
        Window window;
        TColorMemo& memo = *window.memo;
        memo.setFocus();
        QTest::keyClicks(&memo, "hello world");
        QCOMPARE(all_lines(memo), std::vector<std::string>{"hello world"});

        // Enter splits the line at the caret.
        for (int i = 0; i < 6; ++i)
            QTest::keyClick(&memo, Qt::Key_Left);
        QTest::keyClick(&memo, Qt::Key_Return);
        QCOMPARE(all_lines(memo), (std::vector<std::string>{"hello", " world"}));
        QCOMPARE(memo.caret_offset(), memo.line_start(1));

        // Backspace at a line start joins it to the line above.
        QTest::keyClick(&memo, Qt::Key_Backspace);
        QCOMPARE(all_lines(memo), std::vector<std::string>{"hello world"});
        QCOMPARE(memo.caret_offset(), lines::TextOffset{5});

        // Delete at a line end joins the next line; typed non-ASCII text is stored as UTF-8.
        QTest::keyClick(&memo, Qt::Key_Return);
        QTest::keyClick(&memo, Qt::Key_Up);
        QTest::keyClick(&memo, Qt::Key_End);
        QTest::keyClick(&memo, Qt::Key_Delete);
        QKeyEvent umlaut(QEvent::KeyPress, Qt::Key_Adiaeresis, Qt::NoModifier, QString::fromUtf8("\xC3\xA4"));
        QApplication::sendEvent(&memo, &umlaut);
        QCOMPARE(all_lines(memo), std::vector<std::string>{"hello\xC3\xA4 world"});

        // Backspace removes a whole character, not one of its bytes.
        QTest::keyClick(&memo, Qt::Key_Backspace);
        QCOMPARE(all_lines(memo), std::vector<std::string>{"hello world"});

        // Read-only refuses every edit.
        memo.SetReadOnly(true);
        QTest::keyClicks(&memo, "x");
        QTest::keyClick(&memo, Qt::Key_Return);
        QTest::keyClick(&memo, Qt::Key_Backspace);
        QCOMPARE(all_lines(memo), std::vector<std::string>{"hello world"});
    }

    void an_error_during_an_edit_is_reported_not_thrown()
    {
        struct Shown {
            QString text;
            QString caption;
        };
        std::vector<Shown> shown;
        platform::set_message_box_handler([&](const QString& text, const QString& caption, platform::MessageIcon) {
            shown.push_back({text, caption});
            return platform::MessageAnswer::Ok;
        });
        Window window;
        TColorMemo& memo = *window.memo;
        memo.OnChange = [] { throw std::runtime_error("change handler failed"); };
        QTest::keyClicks(&memo, "a");
        platform::set_message_box_handler({});
        QCOMPARE(shown.size(), std::size_t{1});
        QCOMPARE(shown[0].text, QStringLiteral("change handler failed."));
        QCOMPARE(shown[0].caption, QStringLiteral("Vesmira"));
        QCOMPARE(memo.line_text(0), std::string("a"));
    }

    void paste_copy_and_cut_keep_lines_exact()
    {
        Window window;
        TColorMemo& memo = *window.memo;
        append(memo, {"start|end", "bytes \xFF\xFE here\r"});

        // Text from elsewhere: three lines pasted in the middle of a line.
        QApplication::clipboard()->setText(QStringLiteral("one\ntwo\nthree"));
        memo.set_selection(5, 1);  // the '|'
        QTest::keyClick(&memo, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(all_lines(memo), (std::vector<std::string>{"startone", "two", "threeend", "bytes \xFF\xFE here\r"}));
        QCOMPARE(memo.caret_offset(), memo.line_start(2) + 5);

        // Shift+arrows select; copy hands out the text; bytes that are not UTF-8 survive a
        // copy and paste within the memo.
        QTest::keyClick(&memo, Qt::Key_Down);
        QTest::keyClick(&memo, Qt::Key_Home);
        QTest::keyClick(&memo, Qt::Key_End, Qt::ShiftModifier);
        QCOMPARE(memo.selection_length(), lines::TextOffset{14});
        QTest::keyClick(&memo, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("bytes \u00FF\u00FE here\r"));
        QTest::keyClick(&memo, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(&memo, Qt::Key_Return);
        QTest::keyClick(&memo, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(memo.line_text(4), std::string("bytes \xFF\xFE here\r"));

        // A selection across a line break copies with "\n" and cuts both parts.
        memo.set_selection(memo.line_start(1) + 1, 6);  // "wo", CR LF, "th"
        QTest::keyClick(&memo, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("wo\nth"));
        QCOMPARE(memo.line_text(1), std::string("treeend"));
        QCOMPARE(memo.line_count(), 4);

        // Shift+Left extends from the caret; typing replaces the selection.
        memo.set_selection(3, 0);
        QTest::keyClick(&memo, Qt::Key_Left, Qt::ShiftModifier);
        QTest::keyClick(&memo, Qt::Key_Left, Qt::ShiftModifier);
        QCOMPARE(memo.selection_start(), lines::TextOffset{1});
        QCOMPARE(memo.selection_length(), lines::TextOffset{2});
        QTest::keyClicks(&memo, "T");
        QCOMPARE(memo.line_text(0), std::string("sTrtone"));
    }

    void mouse_drag_selects_and_context_menu_offers_the_usual_entries()
    {
        Window window;
        TColorMemo& memo = *window.memo;
        QVERIFY(QTest::qWaitForWindowExposed(&window.widget));
        append(memo, {"alpha beta gamma", "delta epsilon"});
        const lines::TextOffset from = 6;                    // 'b' of beta
        const lines::TextOffset to = memo.line_start(1) + 5;  // after "delta"
        const QPoint half_down(1, memo.line_height() / 2);
        QTest::mousePress(memo.viewport(), Qt::LeftButton, {}, memo.position_of_offset(from) + half_down);
        QTest::mouseMove(memo.viewport(), memo.position_of_offset(to) + half_down);
        QTest::mouseRelease(memo.viewport(), Qt::LeftButton, {}, memo.position_of_offset(to) + half_down);
        QCOMPARE(memo.selection_start(), from);
        QCOMPARE(memo.selection_length(), to - from);

        std::unique_ptr<QMenu> menu(memo.create_context_menu());
        QStringList names;
        for (QAction* action : menu->actions())
            if (!action->isSeparator())
                names << action->objectName();
        QCOMPARE(names, (QStringList{"cut", "copy", "paste", "delete", "selectAll"}));
        menu->findChild<QAction*>(QStringLiteral("copy"))->trigger();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("beta gamma\ndelta"));
        menu->findChild<QAction*>(QStringLiteral("selectAll"))->trigger();
        QCOMPARE(memo.selection_length(), memo.text_length());
        menu->findChild<QAction*>(QStringLiteral("delete"))->trigger();
        QCOMPARE(memo.line_count(), 1);
        QCOMPARE(memo.line_text(0), std::string());
    }

    void positions_agree_with_what_is_painted_data()
    {
        QTest::addColumn<QByteArray>("prefix");
        QTest::newRow("ascii") << QByteArray("abc def ");
        QTest::newRow("tab") << QByteArray("ab\t");
        QTest::newRow("two tabs") << QByteArray("\t1234567\t");
        QTest::newRow("non-ascii") << QByteArray("\xC3\xA4\xC3\xB6\xE2\x82\xAC ");
        QTest::newRow("bytes not utf-8") << QByteArray("\xFF\xFE\x80 ");
        QTest::newRow("controls and tab") << QByteArray("\x1B\r\t");
        QTest::newRow("wide") << QByteArray("\xE6\x97\xA5\xE6\x9C\xAC\t");
    }

    void positions_agree_with_what_is_painted()
    {
        QFETCH(QByteArray, prefix);
        Window window;
        TColorMemo& memo = *window.memo;
        QVERIFY(QTest::qWaitForWindowExposed(&window.widget));
        // The marker sits on the second line, behind the prefix, on a blank background.
        const std::string line = bytes_of(prefix) + "X";
        append(memo, {"", line});
        const lines::TextOffset marker = memo.line_start(1) + static_cast<lines::TextOffset>(prefix.size());
        const QPoint at = memo.position_of_offset(marker);
        QCOMPARE(at.y(), memo.line_height());

        // Where 'X' puts its ink relative to its drawing position, in the memo's font.
        QImage reference(60, 40, QImage::Format_RGB32);
        reference.fill(Qt::white);
        {
            QPainter painter(&reference);
            painter.setFont(memo.font());
            painter.setPen(Qt::black);
            painter.drawText(QPointF(20, 30), QStringLiteral("X"));
        }
        const int bearing = first_ink_column(reference, reference.rect()) - 20;

        const QImage painted = memo.viewport()->grab().toImage();
        const QRect row(0, at.y(), painted.width(), memo.line_height());
        // The prefix ends in a blank or a tab, so the first ink from the marker's cell on is its own.
        const int ink = first_ink_column(painted, QRect(at.x(), row.y(), 40, row.height()));
        QVERIFY2(std::abs(ink - (at.x() + bearing)) <= 1,
                 qPrintable(QStringLiteral("ink at %1, position %2 + bearing %3").arg(ink).arg(at.x()).arg(bearing)));

        // The point back to the offset: the left half of a cell is the boundary before it.
        QCOMPARE(memo.offset_at_point(at + QPoint(1, 2)), marker);
        QCOMPARE(memo.offset_at_point(at + QPoint(memo.string_width("X") - 1, 2)), marker + 1);
        int line_under_point = -1;
        memo.offset_at_point(at + QPoint(0, memo.line_height() - 1), &line_under_point);
        QCOMPARE(line_under_point, 1);
    }

    void screen_reader_reads_the_stored_text()
    {
        Window window;
        TColorMemo& memo = *window.memo;
        std::vector<std::string> lines;
        QStringList expected;
        for (int i = 0; i < 100000; ++i) {
            if (i % 3 == 0) {
                lines.push_back("line " + std::to_string(i) + " \xC3\xA4\xF0\x9F\x98\x80");
                expected << QString::fromUtf8(lines.back());
            } else if (i % 3 == 1) {
                lines.push_back("latin " + std::to_string(i) + " \xE9\r");
                expected << QString::fromLatin1(lines.back());
            } else {
                lines.push_back(std::string());
                expected << QString();
            }
        }
        append(memo, lines);
        const QString text = expected.join(QLatin1Char('\n'));

        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&memo);
        QVERIFY(accessible != nullptr);
        QAccessibleTextInterface* text_interface = accessible->textInterface();
        QVERIFY(text_interface != nullptr);
        QCOMPARE(text_interface->characterCount(), text.size());
        QVERIFY(text_interface->text(0, text_interface->characterCount()) == text);
        QVERIFY(accessible->text(QAccessible::Value) == text);

        // Caret and selection, in the reader's positions.
        const lines::TextOffset start = memo.line_start(99999);
        memo.set_selection(start + 5, 3);
        const int reader_start = static_cast<int>(text.lastIndexOf(QLatin1Char('\n'))) + 1 + 5;
        int from = -1;
        int to = -1;
        text_interface->selection(0, &from, &to);
        QCOMPARE(from, reader_start);
        QCOMPARE(to, reader_start + 3);
        QCOMPARE(text_interface->cursorPosition(), reader_start + 3);
        text_interface->setCursorPosition(reader_start + 1);
        QCOMPARE(memo.caret_offset(), start + 6);
        QCOMPARE(memo.selection_length(), lines::TextOffset{0});
        // A position inside a line with a four-byte character maps onto its bytes.
        const int emoji_line = 99999 - 99999 % 3;
        const QString emoji_text = expected[emoji_line];
        const int line_at = static_cast<int>(text.size()) - static_cast<int>(expected.mid(emoji_line).join(QLatin1Char('\n')).size());
        text_interface->setCursorPosition(line_at + static_cast<int>(emoji_text.size()));
        QCOMPARE(memo.caret_offset(), memo.line_start(emoji_line) + memo.line_length(emoji_line));

        // The reader's view stays exact through the edits line assembly makes.
        std::vector<std::string> more;
        for (int i = 0; i < 2000; ++i) {
            more.push_back("more " + std::to_string(i) + (i % 2 ? "\xFF" : "\xC3\xB6"));
            expected << QString::fromLatin1(more.back()).replace(QStringLiteral("\u00C3\u00B6"), QStringLiteral("\u00F6"));
        }
        append(memo, more);
        memo.delete_last_line();
        expected.removeLast();
        memo.replace_line(50000, "changed \xE2\x82\xAC");
        expected[50000] = QStringLiteral("changed \u20AC");
        memo.delete_last_line();
        memo.append_line("fragment completed");
        expected.last() = QStringLiteral("fragment completed");
        const QString edited = expected.join(QLatin1Char('\n'));
        QCOMPARE(text_interface->characterCount(), edited.size());
        QVERIFY(text_interface->text(0, text_interface->characterCount()) == edited);
        QCOMPARE(text_interface->text(static_cast<int>(edited.size()) - 9, static_cast<int>(edited.size())),
                 QStringLiteral("completed"));
    }

    void the_text_limit_drops_the_oldest_lines_and_keeps_the_users_place()
    {
        Window window;
        TColorMemo& memo = *window.memo;
        QVERIFY(QTest::qWaitForWindowExposed(&window.widget));
        append(memo, numbered_lines(0, 2000, 1000));  // 2 MB
        // The user looks at line 1500 and has selected text in line 1600.
        memo.verticalScrollBar()->setValue(1500);
        memo.set_selection(memo.line_start(1600) + 5, 10);

        memo.lines()->set_text_limit(std::int64_t{1} << 20);
        QVERIFY(memo.source().byte_total() <= std::int64_t{1} << 20);
        const auto dropped = static_cast<int>(memo.source().first_line_number());
        QVERIFY(dropped >= 1000 && dropped < 1500);
        QCOMPARE(memo.line_text(0), numbered_lines(dropped, 1, 1000)[0]);
        QCOMPARE(memo.first_visible_line(), 1500 - dropped);
        QCOMPARE(memo.selection_start(), memo.line_start(1600 - dropped) + 5);
        QCOMPARE(memo.selection_length(), lines::TextOffset{10});

        // Lines keep arriving: the oldest go a block at a time, the view stays where the user
        // left it, and a selection reaching into dropped text keeps its other end.
        memo.verticalScrollBar()->setValue(memo.line_count() - 100);
        const std::string top_line = memo.line_text(memo.first_visible_line());
        memo.set_selection(0, memo.line_start(memo.line_count() - 1) + 3);
        for (int round = 0; round < 5; ++round)
            append(memo, numbered_lines(2000 + round * 100, 100, 1000));
        QVERIFY(memo.source().byte_total() <= std::int64_t{1} << 20);
        QVERIFY(memo.source().first_line_number() > dropped);
        QCOMPARE(memo.line_text(memo.first_visible_line()), top_line);
        QCOMPARE(memo.selection_start(), lines::TextOffset{0});
        QCOMPARE(memo.caret_offset(), memo.line_start(memo.line_count() - 501) + 3);

        // A view at the end follows the end through the drops.
        memo.verticalScrollBar()->setValue(memo.verticalScrollBar()->maximum());
        append(memo, numbered_lines(3000, 500, 1000));
        QVERIFY(last_line_fully_visible(memo));

        // The newest line stays whole even when it alone is over the limit; without a limit
        // nothing more goes.
        const std::string huge(3 << 20, 'h');
        memo.append_line(huge);
        QCOMPARE(memo.line_count(), 1);
        QVERIFY(memo.source().line_view(0) == huge);
        memo.lines()->set_text_limit(0);
        append(memo, numbered_lines(0, 3000, 1000));
        QCOMPARE(memo.line_count(), 3001);
    }

    // Received lines keep their times through the user's edits, the text limit and clearing;
    // what the user types or splits off has none.
    void arrival_times_stay_with_their_lines()
    {
        Window window;
        TColorMemo& memo = *window.memo;
        using Times = std::vector<lines::ArrivalTime>;
        const auto times = [&memo] {
            Times result;
            for (int index = 0; index < memo.line_count(); ++index)
                result.push_back(memo.source().time(index));
            return result;
        };
        constexpr lines::ArrivalTime none = lines::no_arrival_time;
        const std::vector<std::string_view> read = {"one", "two", "three"};
        memo.append_lines(read, 1000);
        memo.extend_line(2, " more", 3000);
        memo.extend_line(0, "", 2000);  // the line feed completing the line
        // Enter in the middle of "two" and at the start of "three more".
        memo.setFocus();
        memo.set_selection(memo.line_start(1) + 1, 0);
        QTest::keyClick(&memo, Qt::Key_Return);
        memo.set_selection(memo.line_start(3), 0);
        QTest::keyClick(&memo, Qt::Key_Return);
        QCOMPARE(all_lines(memo), (std::vector<std::string>{"one", "t", "wo", "", "three more"}));
        QCOMPARE(times(), (Times{2000, 1000, none, none, 3000}));

        // The oldest lines go with their times.
        memo.lines()->set_text_limit(1 << 20);
        const std::vector<std::string> big = numbered_lines(0, 2000, 1000);
        memo.append_lines(std::vector<std::string_view>(big.begin(), big.end()), 5000);
        QVERIFY(memo.source().first_line_number() > 5);
        QCOMPARE(times(), Times(static_cast<std::size_t>(memo.line_count()), 5000));
        memo.clear();
        memo.append_lines(read, 7000);
        QCOMPARE(times(), (Times{7000, 7000, 7000}));
    }

    // The time strip: times left of the text that hold still when the text scrolls sideways,
    // and clicks that find the character painted under them.
    void the_time_strip_shows_times_left_of_the_text()
    {
        Window window;
        TColorMemo& memo = *window.memo;
        QVERIFY(QTest::qWaitForWindowExposed(&window.widget));
        const std::string wide = "Wide line " + std::string(200, 'w');
        memo.append_lines(std::vector<std::string_view>{wide, "abc"}, QDateTime::currentMSecsSinceEpoch());
        memo.append_line("typed");
        const int height = memo.line_height();
        // The byte of `line` a click at its first ink right of `from` puts the caret before.
        const auto click_first_ink = [&](int line, int from) {
            const int ink = first_ink_column(memo.viewport()->grab().toImage(), QRect(from, line * height, 500, height));
            QTest::mouseClick(memo.viewport(), Qt::LeftButton, {}, QPoint(ink + 1, line * height + 2));
            return memo.caret_offset() - memo.line_start(line);
        };
        QCOMPARE(click_first_ink(1, 0), lines::TextOffset{0});
        memo.set_shows_arrival_times(true);
        const int left = memo.position_of_offset(memo.line_start(1)).x();
        QVERIFY(left > memo.string_width("00:00:00.000"));
        QCOMPARE(click_first_ink(1, left), lines::TextOffset{0});

        // Digits beside received lines (in a muted colour: anything but the background).
        const QImage shown = memo.viewport()->grab().toImage();
        const auto strip_marked = [&](int line) {
            for (int y = line * height; y < (line + 1) * height; ++y)
                for (int x = 0; x < left - 2; ++x)
                    if (shown.pixel(x, y) != shown.pixel(0, 0))
                        return true;
            return false;
        };
        QVERIFY(strip_marked(0) && strip_marked(1) && !strip_marked(2));
        // Scrolled sideways, the strip stays and covers the text under it; a click finds the
        // first character right of it.
        memo.horizontalScrollBar()->setValue(memo.string_width("Wide line "));
        QCOMPARE(memo.viewport()->grab().toImage().copy(0, 0, left - 2, 3 * height), shown.copy(0, 0, left - 2, 3 * height));
        QCOMPARE(click_first_ink(0, left), lines::TextOffset{10});
    }

    void a_long_line_is_laid_out_and_painted_where_it_is_shown()
    {
        Window window;
        TColorMemo& memo = *window.memo;
        QVERIFY(QTest::qWaitForWindowExposed(&window.widget));
        // 4 MB of ASCII with tabs and two-byte characters, grown in pieces as a fragment is.
        std::string line;
        memo.append_line("short");
        memo.append_line("");
        for (int i = 0; i < 4096; ++i) {
            std::string piece = "word " + std::to_string(i) + (i % 5 == 0 ? "\t" : " ") + "\xC3\xA4 ";
            piece.resize(1024, '.');
            memo.extend_line(1, piece);
            line += piece;
        }
        line += "   X";
        memo.extend_line(1, "   X");
        QVERIFY(memo.source().line_view(1) == line);

        // End goes to the end of the line and scrolls it into view (once the window's layout
        // has settled with a first paint).
        memo.viewport()->grab();
        memo.setFocus();
        memo.set_selection(memo.line_start(1), 0);
        QTest::keyClick(&memo, Qt::Key_End);
        const lines::TextOffset end = memo.line_start(1) + static_cast<lines::TextOffset>(line.size());
        QCOMPARE(memo.caret_offset(), end);
        const QPoint marker = memo.position_of_offset(end - 1);
        QVERIFY(marker.x() > 0 && marker.x() < memo.client_rect().width());

        // The marker's ink is where the view says it is, and a click there finds it.
        const QImage painted = memo.viewport()->grab().toImage();
        const int ink = first_ink_column(painted, QRect(marker.x() - 8, marker.y(), 30, memo.line_height()));
        QVERIFY2(ink >= marker.x() && ink <= marker.x() + memo.string_width("X"),
                 qPrintable(QStringLiteral("ink at %1, marker at %2").arg(ink).arg(marker.x())));
        QCOMPARE(memo.offset_at_point(marker + QPoint(1, 2)), end - 1);

        // Far from the start, x still follows the columns, tabs included.
        const auto x_at = [&](std::size_t byte) {
            return memo.exact_position_of_offset(memo.line_start(1) + static_cast<lines::TextOffset>(byte)).x();
        };
        const auto columns_to = [&](std::size_t byte) { return lines::display_columns(std::string_view(line).substr(0, byte)); };
        // One cell, from the five plain characters of line 0.
        const qreal cell = (memo.exact_position_of_offset(5).x() - memo.exact_position_of_offset(0).x()) / 5;
        for (const std::size_t from : {std::size_t{3000 * 1024}, std::size_t{3001 * 1024 + 7}, std::size_t{70'000}}) {
            const std::size_t to = from + 1500;
            QCOMPARE(qRound((x_at(to) - x_at(from)) / cell), columns_to(to) - columns_to(from));
        }

        // Copy takes exactly the selected bytes from deep inside the line.
        memo.set_selection(memo.line_start(1) + 2'000'000, 5000);
        memo.copy();
        const std::string copied = line.substr(2'000'000, 5000);
        QCOMPARE(QApplication::clipboard()->text(), QString::fromUtf8(copied.data(), static_cast<qsizetype>(copied.size())));
    }

    void a_screen_reader_hears_received_text_once_per_frame()
    {
        // Run by tests/with-screen-reader, which starts the accessibility bus on a virtual display.
        if (qEnvironmentVariableIsEmpty("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"))
            QSKIP("needs the accessibility bus: run through tests/with-screen-reader");
        QTRY_VERIFY(QAccessible::isActive());
        Window window;
        TColorMemo& memo = *window.memo;
        Reader reader(&memo);
        append(memo, {"first"});

        // Many chunks in one frame, completing and growing lines as line assembly does.
        for (int chunk = 0; chunk < 200; ++chunk) {
            append(memo, numbered_lines(chunk * 10, 10, 40));
            memo.extend_line(memo.line_count() - 1, " \xC3");
            memo.extend_line(memo.line_count() - 1, "\xA4 grown");
        }
        QCOMPARE(Reader::inserts, 0);
        QTRY_COMPARE(Reader::inserts, 1);
        QCOMPARE(Reader::text, memo.plain_text());

        // A line grown above the last one is told at once, and so is what was pending.
        append(memo, {"pending"});
        memo.extend_line(memo.line_count() - 2, " + more");
        QCOMPARE(Reader::inserts, 3);
        QCOMPARE(Reader::text, memo.plain_text());

        // Dropped lines are told as removed, after what arrived before them.
        append(memo, numbered_lines(0, 100, 40));
        memo.lines()->set_text_limit(40'000);
        QCOMPARE(Reader::text, memo.plain_text());
        QCOMPARE(QAccessible::queryAccessibleInterface(&memo)->textInterface()->characterCount(),
                 memo.plain_text().size());
    }
};

QTEST_MAIN(TestTextView)
#include "test_text_view.moc"
