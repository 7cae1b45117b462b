// The real program ended from outside: a quit signal quits as "&Quit" does, and a window
// command never outlives the program, not even one killed outright.

#include "loopback.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// The pid of a process whose parent is parent and whose name is name, or 0.
pid_t child_named(pid_t parent, const QByteArray& name)
{
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (name) state ppid ...": the name may hold blanks and parentheses, so it ends at
        // the last ')'.
        const QByteArray line = stat.readAll();
        const qsizetype name_start = line.indexOf('(');
        const qsizetype name_end = line.lastIndexOf(')');
        if (name_start < 0 || name_end < name_start)
            continue;
        const QList<QByteArray> rest = line.mid(name_end + 2).split(' ');
        if (rest.size() > 1 && rest[1].toInt() == parent && line.mid(name_start + 1, name_end - name_start - 1) == name)
            return entry.toInt();
    }
    return 0;
}

// True once the process behind pidfd has ended, whoever collects it.
bool ended(int pidfd)
{
    pollfd ready{pidfd, POLLIN, 0};
    return poll(&ready, 1, 0) == 1;
}

QString run_store_tool(const QStringList& arguments, const QByteArray& input = {})
{
    QProcess tool;
    tool.start(QStringLiteral(VESMIRA_STORE_TOOL), arguments);
    tool.write(input);
    tool.closeWriteChannel();
    tool.waitForFinished(30000);
    return QString::fromUtf8(tool.readAllStandardOutput()) + QString::fromUtf8(tool.readAllStandardError());
}

// Vesmira with no display, opening the saved configuration `name`.
void start_without_display(QProcess& program, const QString& name)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(VESMIRA_PROGRAM), {name});
}

}  // namespace

class TestQuitBySignal : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void a_signal_from_outside_leaves_nothing_behind_data()
    {
        QTest::addColumn<int>("signal_number");
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("quits");
        const QString runs_on = QStringLiteral("/bin/sleep 1000");
        // Stopping a command that has ended is an error to tell; nobody may be there to answer a
        // box, so it is told on standard error and the program still ends.
        const QString ended = QStringLiteral("/bin/true");
        QTest::newRow("SIGTERM: a logout or kill") << int(SIGTERM) << runs_on << true;
        QTest::newRow("SIGINT: Ctrl+C in its terminal") << int(SIGINT) << runs_on << true;
        QTest::newRow("SIGHUP: its terminal closed") << int(SIGHUP) << runs_on << true;
        QTest::newRow("SIGTERM, the command ended before") << int(SIGTERM) << ended << true;
        QTest::newRow("SIGKILL: no chance to quit") << int(SIGKILL) << runs_on << false;
    }
    void a_signal_from_outside_leaves_nothing_behind()
    {
        QFETCH(int, signal_number);
        QFETCH(QString, command);
        QFETCH(bool, quits);

        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
        const quint16 port = loopback::free_port();
        // A saved window with a command, opened by name; the option records it at quit.
        const QString imported = run_store_tool(
            {QStringLiteral("import")},
            QStringLiteral("vesmira-store 1\n"
                           "key \"Software\" \"Tarnwheel\" \"vesmira\"\n"
                           "value \"ReopenWindowsOnRestart\" int 1\n"
                           "key \"Software\" \"Tarnwheel\" \"vesmira\" \"configs\" \"tunnel\"\n"
                           "value \"\" int %1\n"
                           "value \"command\" str \"%2\"\n")
                .arg(port)
                .arg(command)
                .toUtf8());
        QVERIFY2(imported.isEmpty(), qPrintable(imported));

        QProcess program;
        start_without_display(program, QStringLiteral("tunnel"));
        QVERIFY(program.waitForStarted());
        auto kill_program = qScopeGuard([&program] { program.kill(); });

        QTRY_VERIFY_WITH_TIMEOUT(loopback::accepts_connections(port), 30000);
        // The command starts right after the window listens.
        const bool lasts = command.startsWith(QStringLiteral("/bin/sleep"));
        pid_t command_pid = 0;
        if (lasts)
            QTRY_VERIFY((command_pid = child_named(static_cast<pid_t>(program.processId()), "sleep")) != 0);
        else
            QTRY_COMPARE_WITH_TIMEOUT(child_named(static_cast<pid_t>(program.processId()), "true"), 0, 30000);
        const int command_handle = lasts ? static_cast<int>(syscall(SYS_pidfd_open, command_pid, 0)) : -1;
        QVERIFY(!lasts || command_handle >= 0);
        auto close_handle = qScopeGuard([command_handle] {
            // A failed check must not leave the command running for ever.
            if (command_handle < 0)
                return;
            syscall(SYS_pidfd_send_signal, command_handle, SIGKILL, nullptr, 0);
            close(command_handle);
        });

        QCOMPARE(kill(static_cast<pid_t>(program.processId()), signal_number), 0);
        QVERIFY(program.waitForFinished(30000));
        kill_program.dismiss();
        if (quits) {
            QCOMPARE(program.exitStatus(), QProcess::NormalExit);
            QCOMPARE(program.exitCode(), 0);
        } else {
            QCOMPARE(program.exitStatus(), QProcess::CrashExit);
        }
        QVERIFY(command_handle < 0 || QTest::qWaitFor([command_handle] { return ended(command_handle); }));
        QCOMPARE(program.readAllStandardError().contains("Couldn't stop the running process"), !lasts);
        const QString recorded =
            run_store_tool({QStringLiteral("tree"), QStringLiteral("\\Software\\Tarnwheel\\vesmira\\OpenWindows")});
        QCOMPARE(recorded.contains(QStringLiteral("tunnel")), quits);
    }

    // A start-up message box runs an event loop of its own before the main one: the signal ends
    // that loop, and the program must not go on into the main one.
    void a_signal_ends_it_while_a_start_up_message_is_shown()
    {
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
        const QString imported = run_store_tool(
            {QStringLiteral("import")},
            QStringLiteral("vesmira-store 1\n"
                           "key \"Software\" \"Tarnwheel\" \"vesmira\" \"configs\" \"tls\"\n"
                           "value \"\" int %1\n"
                           "value \"protocol\" str \"syslog-tls\"\n"
                           "value \"tlsauth\" str \"fingerprint\"\n"
                           "value \"tlsfingerprints\" str \"no fingerprint\"\n")
                .arg(loopback::free_port())
                .toUtf8());
        QVERIFY2(imported.isEmpty(), qPrintable(imported));
        QProcess program;
        start_without_display(program, QStringLiteral("tls"));
        QVERIFY(program.waitForStarted());
        auto kill_program = qScopeGuard([&program] { program.kill(); });
        // The message about the fingerprints is up by now.
        QTest::qWait(2000);
        QCOMPARE(kill(static_cast<pid_t>(program.processId()), SIGTERM), 0);
        QVERIFY(program.waitForFinished(10000));
        kill_program.dismiss();
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    }
};

QTEST_GUILESS_MAIN(TestQuitBySignal)
#include "test_quit_by_signal.moc"
