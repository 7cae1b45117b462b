// "Save log as" in a real log window: the file holds the lines on screen or the selected text
// byte for byte; a failed or cancelled save leaves an old file alone, and a failed one says why.

#include "colormemo/tcolormemo.h"
#include "help/helpsys.h"
#include "logwin/find_bar.h"
#include "logwin/log_window.h"
#include "platform/message_box.h"
#include "window_controls.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <ctime>
#include <span>
#include <string>
#include <vector>

using logwin::LogWindow;

namespace {

QByteArray file_bytes(const QString& name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class TestSaveLog : public QObject {
    Q_OBJECT

private:
    QTemporaryDir folder;
    // Where a test saves; made anew for each, so that it holds only what that test left.
    std::unique_ptr<QTemporaryDir> saves;
    std::unique_ptr<LogWindow> window;
    QStringList messages;
    int asked = 0;

    QString path(const char* name) const { return saves->filePath(QString::fromLatin1(name)); }
    QStringList files_saved() const { return QDir(saves->path()).entryList(QDir::Files | QDir::Hidden); }
    void fill(const std::vector<std::string>& lines)
    {
        std::vector<std::string_view> views(lines.begin(), lines.end());
        window->log_view()->append_lines(views);
    }
    // Saves to `name` as the user does through the file dialog, and waits for the end.
    void save(const QString& name, bool selection_only)
    {
        window->ask_save_file_name = [this, name] {
            ++asked;
            return name;
        };
        window->save_log_as(selection_only);
        QTRY_VERIFY_WITH_TIMEOUT(!window->saving(), 20000);
    }
    void write_old_file(const QString& name)
    {
        QFile old(name);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old contents\n");
    }

private Q_SLOTS:
    void initTestCase() { help::initialize_help(folder.path()); }
    void init()
    {
        saves = std::make_unique<QTemporaryDir>();
        window = std::make_unique<LogWindow>(nullptr);
        window->show();
        messages.clear();
        asked = 0;
        platform::set_message_box_handler([this](const QString& text, const QString& caption, platform::MessageIcon) {
            messages << caption + QStringLiteral(": ") + text;
            return platform::MessageAnswer::Ok;
        });
    }
    void cleanup()
    {
        window.reset();
        platform::set_message_box_handler({});
    }

    void saves_the_lines_and_the_selection_as_stored()
    {
        fill({"crlf\r", "tab\there", std::string("bad \xff\xfe utf-8"), "\xc3\xbc last"});
        const QString name = path("all.log");
        save(name, false);
        QCOMPARE(file_bytes(name), QByteArray("crlf\r\ntab\there\nbad \xff\xfe utf-8\n\xc3\xbc last\n"));

        // Across lines: offsets count CR LF between lines; the file has line feeds.
        TColorMemo& memo = *window->log_view();
        memo.set_selection(memo.line_start(0) + 2, memo.line_start(2) + 5 - (memo.line_start(0) + 2));
        save(path("across.log"), true);
        QCOMPARE(file_bytes(path("across.log")), QByteArray("lf\r\ntab\there\nbad \xff"));
        memo.set_selection(memo.line_start(1) + 1, 5);
        save(path("within.log"), true);
        QCOMPARE(file_bytes(path("within.log")), QByteArray("ab\the"));

        // Without a selection there is nothing to ask for.
        memo.set_selection(memo.line_start(1), 0);
        save(path("nothing.log"), true);
        QVERIFY(!QFile::exists(path("nothing.log")));
        QCOMPARE(asked, 3);
        QCOMPARE(messages, QStringList());
    }

    void arrival_times_go_before_the_lines_when_asked()
    {
        qputenv("TZ", "UTC");
        tzset();
        // 2026-12-08 07:05:09.042 and .999 UTC, then a line the user typed, without a time.
        const lines::ArrivalTime first = 1796713509042;
        const std::string_view received[] = {"alpha", "beta"};
        window->log_view()->append_lines(std::span(received, 1), first);
        window->log_view()->append_lines(std::span(received + 1, 1), first + 957);
        window->log_view()->set_selection(window->log_view()->text_length(), 0);
        QTest::keyClick(window->log_view(), Qt::Key_Return);
        QTest::keyClicks(window->log_view(), QStringLiteral("typed"));
        window->save_arrival_times = true;
        save(path("timed.log"), false);
        QCOMPARE(file_bytes(path("timed.log")),
                 QByteArray("07:05:09.042 alpha\n07:05:09.999 beta\n             typed\n"));
        // A selection from the middle of a line: only whole lines get their time.
        window->log_view()->set_selection(2, window->log_view()->text_length() - 2);
        save(path("timed-selection.log"), true);
        QCOMPARE(file_bytes(path("timed-selection.log")), QByteArray("pha\n07:05:09.999 beta\n             typed"));
    }

    void the_filtered_view_saves_only_the_lines_shown()
    {
        std::vector<std::string> lines;
        QByteArray passing;
        for (int i = 0; i < 5000; ++i) {
            lines.push_back("row " + std::to_string(i) + (i % 3 == 0 ? " keep" : " drop"));
            if (i % 3 == 0)
                passing += QByteArray::fromStdString(lines.back() + '\n');
        }
        fill(lines);
        window->open_find_bar();
        window->find_bar()->filter_edit->setText(QStringLiteral("keep"));
        QTRY_COMPARE(control<TColorMemo>(*window, "filter_memo")->line_count(), 1667);
        save(path("filtered.log"), false);
        QCOMPARE(file_bytes(path("filtered.log")), passing);
    }

    void a_failed_save_says_why_and_leaves_the_old_file()
    {
        fill({"one", "two"});
        const QString missing = path("no such folder/saved.log");
        save(missing, false);
        QCOMPARE(messages, QStringList(QStringLiteral("Error: Couldn't save the log to %1: No such file or directory.").arg(missing)));
        QVERIFY(!QFileInfo::exists(path("no such folder")));

        // The scrollback limit drops lines the save hasn't reached yet.
        messages.clear();
        std::vector<std::string> lines;
        for (int i = 0; i < 300000; ++i)
            lines.push_back("line " + std::to_string(i) + " of a long log that the save goes through slowly");
        fill(lines);
        const QString name = path("dropped.log");
        write_old_file(name);
        window->ask_save_file_name = [name] { return name; };
        window->save_log_as(false);
        window->set_text_limit(1 << 20);
        fill({"a line that makes the window drop its oldest lines"});
        QTRY_VERIFY_WITH_TIMEOUT(!window->saving(), 20000);
        QCOMPARE(messages, QStringList(QStringLiteral("Error: Couldn't save the log to %1: The window dropped its "
                                                      "oldest lines before they were saved.")
                                           .arg(name)));
        QCOMPARE(file_bytes(name), QByteArray("old contents\n"));
        QCOMPARE(files_saved(), QStringList(QStringLiteral("dropped.log")));
    }

    void cancel_leaves_the_old_file_and_one_save_runs_at_a_time()
    {
        std::vector<std::string> lines(500000, std::string(100, 'x'));
        fill(lines);
        const QString name = path("cancelled.log");
        write_old_file(name);
        window->ask_save_file_name = [this, name] {
            ++asked;
            return name;
        };
        window->save_log_as(false);
        QVERIFY(window->saving());
        window->save_log_as(false);
        QCOMPARE(asked, 1);
        auto* progress = window->findChild<QProgressDialog*>();
        QVERIFY(progress != nullptr);
        QCOMPARE(progress->windowTitle(), QStringLiteral("Saving log"));
        auto* cancel = progress->findChild<QPushButton*>();
        QVERIFY(cancel != nullptr);
        cancel->click();
        QVERIFY(!window->saving());
        QTRY_VERIFY(window->findChild<QProgressDialog*>() == nullptr);
        QCOMPARE(files_saved(), QStringList(QStringLiteral("cancelled.log")));
        QCOMPARE(file_bytes(name), QByteArray("old contents\n"));
        QCOMPARE(messages, QStringList());
    }
};

QTEST_MAIN(TestSaveLog)
#include "test_save_log.moc"
