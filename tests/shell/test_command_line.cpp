// The command line: how arguments are read, how names are checked against the store, and what
// the real program prints and returns when it starts nothing.

#include "shell/command_line.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <stdexcept>
#include <utility>

using shell::CommandLine;
using Request = CommandLine::Request;

class TestCommandLine : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void arguments_are_read_with_qt_conventions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("request");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("port");  // 0: no window for a port
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("error");

        const auto run = static_cast<int>(Request::run);
        const auto refused = static_cast<int>(Request::error);
        QTest::newRow("nothing") << QStringList{} << run << QStringList{} << 0 << QString() << QString();
        QTest::newRow("names in order") << QStringList{"web", "db", "web"} << run << QStringList{"web", "db", "web"} << 0
                                        << QString() << QString();
        QTest::newRow("a name after --") << QStringList{"--", "-odd", "--port"} << run << QStringList{"-odd", "--port"}
                                         << 0 << QString() << QString();
        QTest::newRow("port and command with names")
            << QStringList{"web", "--port", "5000", "--command", "ssh -N host", "db"} << run << QStringList{"web", "db"}
            << 5000 << "ssh -N host" << QString();
        QTest::newRow("one dash, value after =") << QStringList{"-port=65535"} << run << QStringList{} << 65535
                                                 << QString() << QString();
        QTest::newRow("the program's number rules") << QStringList{"--port", "$50"} << run << QStringList{} << 80
                                                    << QString() << QString();
        QTest::newRow("toolkit options left to the toolkit")
            << QStringList{"-platform", "offscreen", "--style", "fusion", "-reverse", "-stylesheet=a.qss", "web"}
            << run << QStringList{"web"} << 0 << QString() << QString();
        QTest::newRow("-h") << QStringList{"-h"} << static_cast<int>(Request::help) << QStringList{} << 0 << QString()
                            << QString();
        QTest::newRow("help wins over names") << QStringList{"web", "--help", "--port", "x"}
                                              << static_cast<int>(Request::help) << QStringList{} << 0 << QString()
                                              << QString();
        QTest::newRow("--help-all") << QStringList{"--help-all"} << static_cast<int>(Request::help_all)
                                    << QStringList{} << 0 << QString() << QString();
        QTest::newRow("version wins over help") << QStringList{"--help", "-v"} << static_cast<int>(Request::version)
                                                << QStringList{} << 0 << QString() << QString();
        QTest::newRow("unknown option") << QStringList{"--help", "--bogus"} << refused << QStringList{} << 0
                                        << QString() << "Unknown option 'bogus'.";
        QTest::newRow("compacted switches are no switches") << QStringList{"-hv"} << refused << QStringList{} << 0
                                                            << QString() << "Unknown option 'hv'.";
        QTest::newRow("port without its value") << QStringList{"--port"} << refused << QStringList{} << 0 << QString()
                                                << "Missing value after '--port'.";
        QTest::newRow("port 0") << QStringList{"--port", "0"} << refused << QStringList{} << 0 << QString()
                                << "'0' is not a port number; give one from 1 to 65535.";
        QTest::newRow("port above 65535") << QStringList{"--port", "65536"} << refused << QStringList{} << 0
                                          << QString() << "'65536' is not a port number; give one from 1 to 65535.";
        QTest::newRow("port not a number") << QStringList{"--port", "80x"} << refused << QStringList{} << 0
                                           << QString() << "'80x' is not a port number; give one from 1 to 65535.";
        QTest::newRow("port twice") << QStringList{"--port", "80", "--port", "81"} << refused << QStringList{} << 0
                                    << QString() << "--port can be given only once.";
        QTest::newRow("command without port")
            << QStringList{"web", "--command", "sleep 1"} << refused << QStringList{} << 0 << QString()
            << "--command needs --port: it is started with the window opened for the port.";
    }
    void arguments_are_read_with_qt_conventions()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, request);
        QFETCH(QStringList, names);
        QFETCH(int, port);
        QFETCH(QString, command);
        QFETCH(QString, error);

        arguments.prepend(QStringLiteral("vesmira"));
        const CommandLine read = shell::parse_command_line(arguments);
        QCOMPARE(static_cast<int>(read.request), request);
        QCOMPARE(read.names, names);
        QCOMPARE(read.port.value_or(0), port);
        QCOMPARE(read.command, command);
        QCOMPARE(read.error, error);
    }

    void names_must_be_saved_configurations_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QStringList>("asked");

        QTest::newRow("all saved") << QStringList{"web", "db"} << QString() << QStringList{"web", "db"};
        QTest::newRow("the first one missing is named")
            << QStringList{"web", "gone", "lost"} << "there is no saved window configuration named 'gone'."
            << QStringList{"web", "gone"};
        QTest::newRow("a store that can't be read")
            << QStringList{"broken"} << "can't read the saved window configurations: not our store"
            << QStringList{"broken"};
        QTest::newRow("nothing asked for help") << QStringList{"gone", "--help"} << QString() << QStringList{};
    }
    void names_must_be_saved_configurations()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        QFETCH(QStringList, asked);

        arguments.prepend(QStringLiteral("vesmira"));
        CommandLine command_line = shell::parse_command_line(arguments);
        const Request before = command_line.request;
        QStringList asked_for;
        shell::check_names(command_line, [&](const QString& name) {
            asked_for.append(name);
            if (name == QStringLiteral("broken"))
                throw std::runtime_error("not our store");
            return name == QStringLiteral("web") || name == QStringLiteral("db");
        });
        QCOMPARE(asked_for, asked);
        QCOMPARE(command_line.error, error);
        QCOMPARE(command_line.request, error.isEmpty() ? before : Request::error);
    }

    void the_program_answers_without_starting_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");  // text standard output must hold; empty: nothing on it
        QTest::addColumn<QString>("err");  // the same for standard error

        const QString usage = QStringLiteral("Usage: %1 [options] [name...]").arg(VESMIRA_PROGRAM);
        const QString hint = QStringLiteral("Try 'vesmira --help' for more information.");
        QTest::newRow("--help") << QStringList{"--help"} << 0 << usage << QString();
        QTest::newRow("-h lists the options") << QStringList{"-h"} << 0 << "  --port <port>" << QString();
        QTest::newRow("--help-all lists the toolkit's") << QStringList{"--help-all"} << 0
                                                        << "  --platform <name[:options]>" << QString();
        QTest::newRow("--version") << QStringList{"--version"} << 0 << "Vesmira " VESMIRA_VERSION << QString();
        QTest::newRow("unknown option") << QStringList{"--bogus"} << 2 << QString()
                                        << "vesmira: Unknown option 'bogus'.\n" + hint;
        QTest::newRow("bad port") << QStringList{"--port", "99999"} << 2 << QString()
                                  << "vesmira: '99999' is not a port number; give one from 1 to 65535.\n" + hint;
        QTest::newRow("missing name") << QStringList{"--port", "5000", "web"} << 2 << QString()
                                      << "vesmira: there is no saved window configuration named 'web'.\n" + hint;
    }
    void the_program_answers_without_starting()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);

        // No display at all: an answer that needed one would fail to start here.
        QTemporaryDir config;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(VESMIRA_PROGRAM), arguments);
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);

        const QString printed = QString::fromLocal8Bit(program.readAllStandardOutput());
        const QString complained = QString::fromLocal8Bit(program.readAllStandardError());
        QCOMPARE(program.exitCode(), status);
        for (const auto& [text, expected] : {std::pair{printed, out}, std::pair{complained, err}}) {
            if (expected.isEmpty())
                QCOMPARE(text, QString());
            else
                QVERIFY2(text.contains(expected) && text.endsWith(QLatin1Char('\n')), qPrintable(text));
        }
        // Not even the store was created for the name check.
        QVERIFY(QDir(config.path()).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_command_line.moc"
