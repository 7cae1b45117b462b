// The find bar of a real log window: find as you type, next and previous with wrapping, the
// status, and the filter with lines arriving from a loopback sender.

#include "colormemo/tcolormemo.h"
#include "help/helpsys.h"
#include "logwin/find_bar.h"
#include "logwin/log_window.h"
#include "loopback.h"
#include "window_controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

#include <string>
#include <vector>

using logwin::LogWindow;

namespace {

std::string selected_text(const TColorMemo& memo)
{
    const lines::TextOffset start = memo.selection_start();
    const int line = memo.line_of_offset(start);
    return std::string(memo.source().line_view(line)).substr(static_cast<std::size_t>(start - memo.line_start(line)),
                                               static_cast<std::size_t>(memo.selection_length()));
}

// Where the selection starts: line and byte.
std::pair<int, int> selection_place(const TColorMemo& memo)
{
    const lines::TextOffset start = memo.selection_start();
    const int line = memo.line_of_offset(start);
    return {line, static_cast<int>(start - memo.line_start(line))};
}

std::vector<std::string> lines_of(const TColorMemo& memo)
{
    std::vector<std::string> lines;
    for (int i = 0; i < memo.line_count(); ++i)
        lines.push_back(std::string(memo.source().line_view(i)));
    return lines;
}

}  // namespace

class TestFindBar : public QObject {
    Q_OBJECT

private:
    QTemporaryDir folder;
    std::unique_ptr<LogWindow> window;
    logwin::FindBar* bar = nullptr;
    quint16 port = 0;

    void fill(const std::vector<std::string>& lines)
    {
        std::vector<std::string_view> views(lines.begin(), lines.end());
        window->log_view()->append_lines(views);
    }
    // Types into the find field as the user does, in any script.
    void type_more(const QString& text)
    {
        for (const QChar character : text)
            QTest::sendKeyEvent(QTest::Click, bar->find_edit, Qt::Key_unknown, QString(character), Qt::NoModifier);
    }
    void type_find(const QString& text)
    {
        bar->find_edit->selectAll();
        type_more(text);
    }
    void press_in_find(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(bar->find_edit, key, modifiers);
    }

private Q_SLOTS:
    void initTestCase() { help::initialize_help(folder.path()); }
    void init()
    {
        window = std::make_unique<LogWindow>(nullptr);
        window->show();
        bar = window->find_bar();
        port = loopback::free_port();
        window->log_channel->listen(port, false);
    }
    void cleanup() { window.reset(); }

    void typing_finds_from_the_caret_and_keys_walk_the_matches_with_wrapping()
    {
        fill({"boot ok", "disk error 17", "net fine", "error, then Error again", "tail"});
        window->log_view()->set_selection(window->log_view()->line_start(2), 0);  // the caret on line 2
        window->open_find_bar();
        QVERIFY(bar->isVisible());
        type_find(QStringLiteral("error"));
        // From the caret on: the first match after line 2, not the one above it.
        QTRY_COMPARE(selection_place(*window->log_view()), std::make_pair(3, 0));
        QCOMPARE(selected_text(*window->log_view()), std::string("error"));
        QTRY_COMPARE(bar->find_status->text(), QStringLiteral("2 of 3"));

        press_in_find(Qt::Key_Return);
        QCOMPARE(selection_place(*window->log_view()), std::make_pair(3, 12));
        QCOMPARE(bar->find_status->text(), QStringLiteral("3 of 3"));
        press_in_find(Qt::Key_Return);
        QCOMPARE(selection_place(*window->log_view()), std::make_pair(1, 5));
        QCOMPARE(bar->find_status->text(), QStringLiteral("1 of 3, wrapped to the top"));
        press_in_find(Qt::Key_Return, Qt::ShiftModifier);
        QCOMPARE(selection_place(*window->log_view()), std::make_pair(3, 12));
        QCOMPARE(bar->find_status->text(), QStringLiteral("3 of 3, wrapped to the bottom"));
        bar->previous_button->click();
        QCOMPARE(selection_place(*window->log_view()), std::make_pair(3, 0));
        window->find_next();
        QCOMPARE(selection_place(*window->log_view()), std::make_pair(3, 12));

        // Typing on keeps the match where it is when it still matches there.
        window->find_previous();
        bar->find_edit->end(false);
        type_more(QStringLiteral(", t"));
        QTRY_COMPARE(bar->find_status->text(), QStringLiteral("1 of 1"));
        QCOMPARE(selected_text(*window->log_view()), std::string("error, t"));

        QTest::keyClick(bar->find_edit, Qt::Key_Escape);
        QVERIFY(!bar->isVisible());
        QCOMPARE(window->focusWidget(), window->log_view());
        QCOMPARE(window->log_view()->find_marks(), nullptr);
    }

    void case_regular_expressions_and_their_errors_show_in_the_status_data()
    {
        QTest::addColumn<QString>("needle");
        QTest::addColumn<bool>("match_case");
        QTest::addColumn<bool>("regex");
        QTest::addColumn<QString>("status");
        QTest::addColumn<std::string>("selected");
        QTest::newRow("without case") << "error" << false << false << "1 of 2" << std::string("ERROR");
        QTest::newRow("with case") << "error" << true << false << "1 of 1" << std::string("error");
        QTest::newRow("Cyrillic without case") << "ошибка" << false << false << "1 of 2" << std::string("ОШИБКА");
        QTest::newRow("regex") << "ERR(OR)?\\s+\\d{3}" << true << true << "1 of 2" << std::string("ERROR 500");
        QTest::newRow("nothing") << "panic" << false << false << "No match" << std::string();
        // The match of what was typed before the mistake stays selected.
        QTest::newRow("bad regex") << "ERR(" << false << true << "missing closing parenthesis at 4" << std::string("ERR");
    }
    void case_regular_expressions_and_their_errors_show_in_the_status()
    {
        QFETCH(QString, needle);
        QFETCH(bool, match_case);
        QFETCH(bool, regex);
        QFETCH(QString, status);
        QFETCH(std::string, selected);
        fill({"ERROR 500 on /", "ОШИБКА диска", "ERR  404", "a small error", "и ошибка"});
        window->open_find_bar();
        bar->match_case->setChecked(match_case);
        bar->regular_expression->setChecked(regex);
        type_find(needle);
        QTRY_COMPARE(bar->find_status->text(), status);
        QCOMPARE(selected_text(*window->log_view()), selected);
    }

    void matches_after_tabs_and_invalid_bytes_are_selected_at_their_bytes()
    {
        fill({std::string("\xff\xfe\tkey=1"), "plain", std::string("\tx\xc3(key")});
        window->open_find_bar();
        type_find(QStringLiteral("key"));
        QTRY_COMPARE(selection_place(*window->log_view()), std::make_pair(0, 3));
        window->find_next();
        QTRY_COMPARE(selection_place(*window->log_view()), std::make_pair(2, 4));
        QCOMPARE(selected_text(*window->log_view()), std::string("key"));
        QTRY_COMPARE(bar->find_status->text(), QStringLiteral("2 of 2"));
    }

    void a_new_search_replaces_one_still_counting_while_lines_arrive()
    {
        // Enough lines that counting takes many slices.
        std::vector<std::string> lines;
        for (int i = 0; i < 300000; ++i)
            lines.push_back("line " + std::to_string(i) + (i % 1000 == 0 ? " alpha" : " beta"));
        fill(lines);
        window->open_find_bar();
        type_find(QStringLiteral("beta"));
        QVERIFY(!bar->search_settled());
        type_find(QStringLiteral("alpha"));
        loopback::Sender sender(port);
        QVERIFY(sender.send("late alpha\nlate beta\nlate alpha\n"));
        QTRY_COMPARE(window->log_view()->line_count(), 300003);
        QTRY_VERIFY(bar->search_settled());
        // 300 stored plus two arrived; the first from the caret at the top is number 1.
        QTRY_COMPARE(bar->find_status->text(), QStringLiteral("1 of 302"));
        window->find_previous();
        QCOMPARE(window->log_view()->line_count() - 1, selection_place(*window->log_view()).first);
        QCOMPARE(bar->find_status->text(), QStringLiteral("302 of 302, wrapped to the bottom"));
    }

    void filter_shows_passing_lines_live_and_clearing_keeps_the_top_line()
    {
        std::vector<std::string> lines;
        std::vector<std::string> passing;
        for (int i = 0; i < 200000; ++i) {
            lines.push_back("row " + std::to_string(i) + (i % 7 == 0 ? " keep" : " drop"));
            if (i % 7 == 0)
                passing.push_back(lines.back());
        }
        fill(lines);
        window->open_find_bar();
        type_find(QStringLiteral("keep"));
        loopback::Sender sender(port);
        bar->filter_edit->setText(QStringLiteral("drop"));  // replaced before it is built
        bar->filter_edit->setText(QStringLiteral("keep"));
        TColorMemo* filtered = control<TColorMemo>(*window, "filter_memo");
        QVERIFY(window->shown_memo() == filtered);
        // Lines arriving while the filter is built come after the lines it found.
        QVERIFY(sender.send("new keep 1\nnew drop\nnew keep 2\n"));
        passing.push_back("new keep 1");
        passing.push_back("new keep 2");
        QTRY_COMPARE(lines_of(*filtered), passing);
        QTRY_COMPARE(bar->filter_status->text(), QStringLiteral("28,574 of 200,003 lines shown, read-only"));
        QVERIFY(!window->log_view()->isVisible());
        QVERIFY(filtered->isVisible());

        // The search of the find field moved to the filtered view, empty when it started, and
        // counts what it was filled with.
        QTRY_COMPARE(bar->find_status->text(), QStringLiteral("28,574 matches"));
        // Find works on the lines shown.
        bar->find_edit->setText(QString());
        type_find(QStringLiteral("new keep"));
        QTRY_COMPARE(bar->find_status->text(), QStringLiteral("1 of 2"));
        QCOMPARE(selection_place(*filtered).first, 28572);
        // The filtered view only shows: what is typed there changes no line.
        QTest::keyClicks(filtered, QStringLiteral("typed"));
        QTest::keyClick(filtered, Qt::Key_Delete);
        QCOMPARE(lines_of(*filtered), passing);

        // hide matching: the other lines.
        bar->filter_mode->setCurrentIndex(1);
        QTRY_COMPARE(filtered->line_count(), 200003 - 28574);
        QCOMPARE(std::string(filtered->source().line_view(0)), std::string("row 1 drop"));

        bar->filter_mode->setCurrentIndex(0);
        QTRY_COMPARE(filtered->line_count(), 28574);
        filtered->verticalScrollBar()->setValue(100);  // "row 700 keep"
        bar->filter_edit->clear();
        QVERIFY(window->shown_memo() == window->log_view());
        QVERIFY(window->log_view()->isVisible());
        QCOMPARE(window->log_view()->first_visible_line(), 700);
        QCOMPARE(filtered->line_count(), 0);
        QCOMPARE(bar->filter_status->text(), QString());
    }

    void a_bad_filter_says_why_and_shows_every_line()
    {
        fill({"one", "two"});
        window->open_find_bar();
        bar->regular_expression->setChecked(true);
        bar->filter_edit->setText(QStringLiteral("[a-"));
        QVERIFY(window->shown_memo() == window->log_view());
        QVERIFY(bar->filter_status->text().contains(QStringLiteral("at 3")));
        bar->regular_expression->setChecked(false);
        QVERIFY(window->shown_memo() == control<TColorMemo>(*window, "filter_memo"));  // "[a-" as plain text
        bar->close_button->click();
        // Closing the bar ends the filter, and the field no longer shows one.
        QVERIFY(window->shown_memo() == window->log_view());
        QCOMPARE(bar->filter_edit->text(), QString());
    }
};

QTEST_MAIN(TestFindBar)
#include "test_find_bar.moc"
