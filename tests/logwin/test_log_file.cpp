// Logging to a file from a real log window: loopback senders, the "&Log to file" button, the
// file on disk byte for byte, rotation, write errors and a saved window that reopens.

#include "colormemo/tcolormemo.h"
#include "help/helpsys.h"
#include "logwin/log_window.h"
#include "loopback.h"
#include "platform/message_box.h"
#include "store/store_paths.h"
#include "store/tregistry.h"
#include "window_controls.h"

#include <QDir>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

using logwin::LogWindow;
using loopback::Sender;

namespace {

QByteArray contents(const QString& file)
{
    QFile in(file);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray("<missing>");
}

std::string stored_log_file()
{
    store::TRegistry registry;
    return registry.OpenKey(store::config_key("web"), false) ? registry.ReadString("logfile") : "<no key>";
}

bool send(const Sender& sender, const QByteArray& bytes)
{
    return sender.send(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

}  // namespace

class TestLogFile : public QObject {
    Q_OBJECT

private:
    QTemporaryDir folder;
    QString log_path;
    QString chosen;  // what the file dialog answers
    int asked = 0;
    std::unique_ptr<LogWindow> window;
    quint16 port = 0;
    QStringList shown;

    void open_window(bool saved)
    {
        window = std::make_unique<LogWindow>(nullptr);
        window->ask_log_file_name = [this] {
            ++asked;
            return chosen;
        };
        window->show();
        // An unsaved window is given the name too: it must still leave the store alone.
        const QString name = saved ? QStringLiteral("web") : QString();
        QCOMPARE(window->set_up({port}, name, QStringLiteral("LOG: web"), QStringLiteral("web")), LogWindow::SetUp::done);
    }
    void receive(const QByteArray& lines)
    {
        const int before = window->log_view()->line_count();
        QVERIFY(send(Sender(port), lines));
        QTRY_COMPARE(window->log_view()->line_count(), before + int(lines.count('\n')));
    }
    QToolButton* log_to_file_button() const { return control<QToolButton>(*window, "ToolButton2"); }
    void start_logging()
    {
        log_to_file_button()->click();
        QVERIFY(log_to_file_button()->isChecked());
        QCOMPARE(window->log_file_name(), chosen);
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder.filePath(QStringLiteral("config"))));
        help::initialize_help(folder.path());
        platform::set_message_box_handler([this](const QString& text, const QString& caption, platform::MessageIcon icon) {
            shown.append(caption + QLatin1Char('|') + text);
            return icon == platform::MessageIcon::Question ? platform::MessageAnswer::Yes : platform::MessageAnswer::Ok;
        });
    }
    void init()
    {
        store::TRegistry().DeleteKey(store::product_key);
        port = loopback::free_port();
        store::TRegistry registry;
        QVERIFY(registry.OpenKey(store::config_key("web"), true));
        registry.WriteInteger(store::port_value, port);
        log_path = folder.filePath(QStringLiteral("received.log"));
        QFile::remove(log_path);
        chosen = log_path;
        asked = 0;
        shown.clear();
    }
    void cleanup() { window.reset(); }

    void file_holds_completed_lines_exactly_data()
    {
        QTest::addColumn<QList<QByteArray>>("writes");
        QTest::addColumn<int>("shown_lines");
        QTest::addColumn<bool>("open");  // the last line shown is still waiting for its line feed
        QTest::addColumn<QByteArray>("file");
        using L = QList<QByteArray>;
        QTest::newRow("CR and tab kept") << L{"a\r\n\tb\t\n"} << 2 << false << QByteArray("a\r\n\tb\t\n");
        QTest::newRow("empty lines are not lines") << L{"a\n\n\nb\n"} << 2 << false << QByteArray("a\nb\n");
        QTest::newRow("NUL byte ends the chunk, open line not written")
            << L{QByteArray("x\ny\0z\n", 6)} << 2 << true << QByteArray("x\n");
        QTest::newRow("bytes that aren't UTF-8") << L{"\xff\xc3", "\xa9\xfe\n"} << 1 << false
                                                 << QByteArray("\xff\xc3\xa9\xfe\n");
        QTest::newRow("three pieces, one line") << L{"ab", "cd", "ef\n"} << 1 << false << QByteArray("abcdef\n");
    }
    void file_holds_completed_lines_exactly()
    {
        QFETCH(QList<QByteArray>, writes);
        QFETCH(int, shown_lines);
        QFETCH(bool, open);
        QFETCH(QByteArray, file);
        open_window(false);
        start_logging();
        Sender sender(port);
        for (const QByteArray& bytes : writes) {
            QVERIFY(send(sender, bytes));
            if (!bytes.contains('\n'))
                QTRY_VERIFY(window->log_view()->line_count() == 1
                            && QByteArray::fromStdString(window->log_view()->line_text(0)).endsWith(bytes));
        }
        QTRY_VERIFY(window->log_view()->line_count() == shown_lines && window->last_line_open() == open);
        // Closing writes what the file still buffers.
        window->shut_down();
        QCOMPARE(contents(log_path), file);
        QVERIFY(!log_to_file_button()->isChecked());
        QVERIFY(shown.isEmpty());
        QCOMPARE(stored_log_file(), std::string());  // an unsaved window remembers nothing
    }

    void rotated_file_is_followed_data()
    {
        QTest::addColumn<bool>("renamed");
        QTest::newRow("renamed") << true;
        QTest::newRow("removed") << false;
    }
    void rotated_file_is_followed()
    {
        QFETCH(bool, renamed);
        const QString archive = log_path + QStringLiteral(".1");
        QFile::remove(archive);
        open_window(false);
        start_logging();
        receive("one\n");
        QTRY_COMPARE(contents(log_path), QByteArray("one\n"));
        QVERIFY(renamed ? QFile::rename(log_path, archive) : QFile::remove(log_path));
        receive("two\nthree\n");
        QTRY_COMPARE(contents(log_path), QByteArray("two\nthree\n"));
        if (renamed)
            QCOMPARE(contents(archive), QByteArray("one\n"));
        QVERIFY(shown.isEmpty());
    }

    void saved_window_resumes_its_log_file_and_arrival_times()
    {
        open_window(true);
        // A configuration saved before arrival times were kept shows none.
        QVERIFY(!window->shows_arrival_times());
        window->choose_arrival_times(true);
        chosen.clear();  // the dialog cancelled
        log_to_file_button()->click();
        QVERIFY(!log_to_file_button()->isChecked());
        chosen = log_path;
        start_logging();
        QCOMPARE(stored_log_file(), log_path.toStdString());
        QVERIFY(log_to_file_button()->toolTip().contains(log_path));
        receive("first run\n");
        window->shut_down();  // writes and closes the file
        QCOMPARE(contents(log_path), QByteArray("first run\n"));
        // Closing is not unchecking: the value stays for the next opening.
        QCOMPARE(stored_log_file(), log_path.toStdString());

        open_window(true);
        QVERIFY(log_to_file_button()->isChecked());
        QCOMPARE(window->log_file_name(), log_path);
        QCOMPARE(asked, 2);
        QVERIFY(window->shows_arrival_times());
        window->choose_arrival_times(false);
        receive("second run\n");
        // Unchecking writes the rest, closes the file and forgets it.
        log_to_file_button()->click();
        QVERIFY(!log_to_file_button()->isChecked());
        QCOMPARE(window->log_file_name(), QString());
        QCOMPARE(log_to_file_button()->toolTip(), QString());
        QCOMPARE(contents(log_path), QByteArray("first run\nsecond run\n"));
        QCOMPARE(stored_log_file(), std::string());

        open_window(true);
        QVERIFY(!log_to_file_button()->isChecked());
        QVERIFY(!window->shows_arrival_times());
        QVERIFY(shown.isEmpty());

        // A remembered file that can't be opened any more is reported once, and kept.
        const QString missing = folder.filePath(QStringLiteral("no such folder/x.log"));
        {
            store::TRegistry registry;
            QVERIFY(registry.OpenKey(store::config_key("web"), false));
            registry.WriteString("logfile", missing.toStdString());
        }
        open_window(true);
        QVERIFY(!log_to_file_button()->isChecked());
        QCOMPARE(shown, QStringList(QStringLiteral("Error|Can't log to ") + missing + QStringLiteral(": ")
                                    + QString::fromLocal8Bit(strerror(ENOENT)) + QLatin1Char('.')));
        QCOMPARE(stored_log_file(), missing.toStdString());
    }

    void write_error_stops_logging_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("error");
        QTest::newRow("device full") << QStringLiteral("/dev/full") << ENOSPC;
        QTest::newRow("folder removed under the file") << QStringLiteral("rotated/received.log") << ENOENT;
    }
    void write_error_stops_logging()
    {
        QFETCH(QString, file);
        QFETCH(int, error);
        const QDir base(folder.path());
        QVERIFY(base.mkpath(QStringLiteral("rotated")));
        chosen = base.absoluteFilePath(file);
        open_window(true);
        start_logging();
        if (file.startsWith(QStringLiteral("rotated")))
            QVERIFY(QDir(base.filePath(QStringLiteral("rotated"))).removeRecursively());
        receive("lost\n");
        QTRY_COMPARE(shown.size(), 1);
        QCOMPARE(shown[0], QStringLiteral("Error|Logging to ") + chosen + QStringLiteral(" stopped: ")
                               + QString::fromLocal8Bit(strerror(error)) + QLatin1Char('.'));
        QVERIFY(!log_to_file_button()->isChecked());
        QCOMPARE(window->log_file_name(), QString());
        // Reception goes on, and nothing more is said.
        receive("after 1\nafter 2\n");
        QCOMPARE(window->log_view()->line_text(2), std::string("after 2"));
        window->shut_down();
        QCOMPARE(shown.size(), 1);
    }
};

QTEST_MAIN(TestLogFile)
#include "test_log_file.moc"
