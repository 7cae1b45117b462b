// Child processes and the shell "open": command splitting, starting without PATH search or
// inherited descriptors, terminating, reaping.

#include "platform/process.h"
#include "platform/shell_open.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <csignal>

#include <sys/wait.h>
#include <unistd.h>

using namespace platform;

namespace {

// True once nobody can collect pid any more: it was reaped (WNOWAIT leaves a zombie in place).
bool reaped(pid_t pid)
{
    siginfo_t info{};
    return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == -1 && errno == ECHILD;
}

// A script that writes its current directory and then each argument on a line to $PROBE_OUT.
QString write_probe(const QString& path)
{
    QFile script(path);
    if (!script.open(QIODevice::WriteOnly))
        return {};
    script.write("#!/bin/sh\n{ pwd; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } > \"$PROBE_OUT.tmp\"\n"
                 "mv \"$PROBE_OUT.tmp\" \"$PROBE_OUT\"\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

QStringList read_lines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

}  // namespace

class TestProcess : public QObject {
    Q_OBJECT

private:
    QTemporaryDir folder;
    QString out_file;
    QString saved_directory;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(folder.isValid());
        out_file = folder.filePath(QStringLiteral("out.txt"));
        qputenv("PROBE_OUT", QFile::encodeName(out_file));
        QVERIFY(!write_probe(folder.filePath(QStringLiteral("probe"))).isEmpty());
        saved_directory = QDir::currentPath();
        QDir::setCurrent(folder.path());
    }
    void cleanupTestCase() { QDir::setCurrent(saved_directory); }
    void init() { QFile::remove(out_file); }

    void splits_commands_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("params");
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("with parameters") << "ssh -L 8080:host:80" << "ssh" << " -L 8080:host:80"
                                         << QStringList{"-L", "8080:host:80"};
        QTest::newRow("without a blank") << "/usr/bin/top" << "/usr/bin/top" << "" << QStringList{};
        QTest::newRow("leading blank") << " x" << "" << " x" << QStringList{"x"};
        QTest::newRow("blanks in a row") << "a  b  c " << "a" << "  b  c " << QStringList{"b", "c"};
        QTest::newRow("only blanks split") << "a\tb c" << "a\tb" << " c" << QStringList{"c"};
    }
    void splits_commands()
    {
        QFETCH(QString, command);
        QFETCH(QString, program);
        QFETCH(QString, params);
        QFETCH(QStringList, arguments);
        const auto parts = split_command(command);
        QCOMPARE(parts.program, program);
        QCOMPARE(parts.params, params);
        const auto bytes = split_command(command.toStdString());
        QCOMPARE(QString::fromStdString(bytes.program), program);
        QCOMPARE(QString::fromStdString(bytes.params), params);
        QCOMPARE(split_params(params), arguments);
    }

    void child_gets_split_arguments_our_directory_and_environment()
    {
        // Relative to the current directory, as a name without '/' is taken.
        auto child = ChildProcess::start(QStringLiteral("probe"), QStringLiteral(" one  two three"), ChildProcess::Lifetime::ends_with_us);
        QVERIFY(child);
        QTRY_VERIFY(QFile::exists(out_file));
        QCOMPARE(read_lines(out_file), (QStringList{QDir::currentPath(), "one", "two", "three"}));
        QTRY_VERIFY(!child->running());
    }

    void program_is_not_searched_on_path()
    {
        QVERIFY(QFile::exists(QStringLiteral("/bin/sh")));
        int error = 0;
        QVERIFY(!ChildProcess::start(QStringLiteral("sh"), QStringLiteral(" -c true"), ChildProcess::Lifetime::ends_with_us, &error));
        QCOMPARE(error, ENOENT);
    }

    void commands_are_found_on_path_as_a_shell_finds_them()
    {
        const QByteArray saved_path = qgetenv("PATH");
        QDir first(folder.filePath(QStringLiteral("path-first")));
        QDir second(folder.filePath(QStringLiteral("path-second")));
        QVERIFY(first.mkpath(QStringLiteral("dir-named-tool/tool")) && second.mkpath(QStringLiteral(".")));
        // Not executable in the first folder, executable in the second.
        QFile plain(first.filePath(QStringLiteral("tool")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        QVERIFY(QFile::copy(folder.filePath(QStringLiteral("probe")), second.filePath(QStringLiteral("tool"))));
        qputenv("PATH", QFile::encodeName(first.path() + QLatin1Char(':') + second.path()));
        const QString found = find_command_program(QStringLiteral("tool"));
        const QString missing = find_command_program(QStringLiteral("no-such-tool"));
        const QString relative = find_command_program(QStringLiteral("./tool"));
        const QString absolute = find_command_program(QStringLiteral("/no/such/tool"));
        qputenv("PATH", saved_path);
        QCOMPARE(found, second.filePath(QStringLiteral("tool")));
        QCOMPARE(missing, QString());
        QCOMPARE(relative, QStringLiteral("./tool"));
        QCOMPARE(absolute, QStringLiteral("/no/such/tool"));
    }

    void child_holds_no_descriptor_of_ours()
    {
        // Deliberately inheritable (no close-on-exec): the child must not get them even so.
        int pipe_ends[2];
        QCOMPARE(pipe(pipe_ends), 0);
        auto child = ChildProcess::start(QStringLiteral("/bin/sleep"), QStringLiteral(" 120"), ChildProcess::Lifetime::ends_with_us);
        close(pipe_ends[0]);
        close(pipe_ends[1]);
        QVERIFY(child);
        // A failed check must not leave the child holding the test runner's output open.
        auto kill_child = qScopeGuard([pid = child->pid()] { kill(pid, SIGKILL); });
        // Every descriptor above the standard streams, whatever it is (pipes and sockets count
        // as System entries). While the dynamic loader and the C library start the child they
        // open and close files again and again, so a single look may catch one of theirs; a
        // descriptor of ours would be there at every look. Seeing none once is the proof.
        bool seen = false;
        const auto held_none_once = [&child, &seen] {
            if (!seen) {
                QStringList numbers = QDir(QStringLiteral("/proc/%1/fd").arg(child->pid()))
                                          .entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System);
                numbers.removeIf([](const QString& number) { return number.toInt() <= 2; });
                seen = numbers.isEmpty();
            }
            return seen;
        };
        QTRY_VERIFY_WITH_TIMEOUT(held_none_once(), 30000);
        kill_child.dismiss();
        const pid_t pid = child->pid();
        QVERIFY(child->terminate());
        QTRY_VERIFY(reaped(pid));
        QVERIFY(!child->terminate());
    }

    void children_are_reaped_however_they_end()
    {
        // Ended on its own: reaped by the exit watch alone, and terminating it fails.
        auto ended = ChildProcess::start(QStringLiteral("/bin/true"), QString(), ChildProcess::Lifetime::ends_with_us);
        QVERIFY(ended);
        QTRY_VERIFY(reaped(ended->pid()));
        QVERIFY(!ended->terminate());
        // Handle dropped while it runs: reaped when it ends later.
        auto dropped = ChildProcess::start(QStringLiteral("/bin/sleep"), QStringLiteral(" 30"), ChildProcess::Lifetime::ends_with_us);
        QVERIFY(dropped);
        const pid_t pid = dropped->pid();
        dropped.reset();
        QVERIFY(!reaped(pid));
        QCOMPARE(kill(pid, SIGKILL), 0);
        QTRY_VERIFY(reaped(pid));
    }

    void shell_open_starts_an_executable_found_on_path()
    {
        const QByteArray saved_path = qgetenv("PATH");
        QDir bin(folder.filePath(QStringLiteral("bin")));
        QVERIFY(bin.mkpath(QStringLiteral(".")));
        QVERIFY(QFile::copy(folder.filePath(QStringLiteral("probe")), bin.filePath(QStringLiteral("vesmira-probe"))));
        qputenv("PATH", QFile::encodeName(bin.path()) + ':' + saved_path);
        auto child = shell_open(QStringLiteral("vesmira-probe"), QStringLiteral(" a  b"));
        qputenv("PATH", saved_path);
        // The handle tells the caller whether its command still runs.
        QVERIFY(child);
        QTRY_VERIFY(QFile::exists(out_file));
        QCOMPARE(read_lines(out_file), (QStringList{QDir::currentPath(), "a", "b"}));
        QTRY_VERIFY(!child->running());
    }
};

QTEST_MAIN(TestProcess)
#include "test_process.moc"
