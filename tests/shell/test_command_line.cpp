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

private:
    // A reading in one line, so that a row compares the whole result.
    static QString described(const CommandLine& read)
    {
        switch (read.request) {
        case Request::help:
            return QStringLiteral("help");
        case Request::help_all:
            return QStringLiteral("help-all");
        case Request::version:
            return QStringLiteral("version");
        case Request::error:
            return QStringLiteral("error: ") + read.error;
        case Request::run:
            break;
        }
        QString text = QStringLiteral("open ") + read.names.join(QLatin1Char(','));
        if (read.port)
            text += QStringLiteral(" port %1 command '%2'").arg(*read.port).arg(read.command)
                    + (read.protocol == net::Protocol::syslog       ? QStringLiteral(" syslog")
                       : read.protocol == net::Protocol::syslog_tls ? QStringLiteral(" syslog-tls")
                                                                    : QString());
        return text;
    }

private Q_SLOTS:
    void arguments_are_read_and_names_checked_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("reading");

        QTest::newRow("names in order") << QStringList{"web", "db", "web"} << "open web,db,web";
        QTest::newRow("a name after --") << QStringList{"--", "-odd", "--port"}
                                         << "error: there is no saved window configuration named '-odd'.";
        QTest::newRow("port and command with names")
            << QStringList{"web", "--port", "5000", "--command", "ssh -N host", "db"}
            << "open web,db port 5000 command 'ssh -N host'";
        QTest::newRow("one dash, value after =") << QStringList{"-port=65535"} << "open  port 65535 command ''";
        QTest::newRow("the program's number rules") << QStringList{"--port", "$50"} << "open  port 80 command ''";
        QTest::newRow("toolkit options left to the toolkit")
            << QStringList{"-platform", "offscreen", "--style", "fusion", "-reverse", "-stylesheet=a.qss", "web"}
            << "open web";
        QTest::newRow("help wins over names") << QStringList{"gone", "--help", "--port", "x"} << "help";
        QTest::newRow("--help-all") << QStringList{"--help-all"} << "help-all";
        QTest::newRow("version wins over help") << QStringList{"--help", "-v"} << "version";
        QTest::newRow("unknown option") << QStringList{"--help", "--bogus"} << "error: Unknown option 'bogus'.";
        QTest::newRow("no compacted switches") << QStringList{"-hv"} << "error: Unknown option 'hv'.";
        QTest::newRow("port without its value") << QStringList{"--port"} << "error: Missing value after '--port'.";
        for (const char* port : {"0", "65536", "80x"})
            QTest::newRow(port) << QStringList{"--port", port}
                                << QStringLiteral("error: '%1' is not a port number; give one from 1 to 65535.").arg(port);
        QTest::newRow("port twice") << QStringList{"--port", "80", "--port", "81"}
                                    << "error: --port can be given only once.";
        QTest::newRow("command without port")
            << QStringList{"web", "--command", "sleep 1"}
            << "error: --command needs --port: it is started with the window opened for the port.";
        QTest::newRow("syslog") << QStringList{"--port", "514", "--protocol", "syslog"}
                                << "open  port 514 command '' syslog";
        QTest::newRow("text lines") << QStringList{"--protocol=lines", "--port", "5"} << "open  port 5 command ''";
        QTest::newRow("syslog over TLS") << QStringList{"--port", "6514", "--protocol", "syslog-tls"}
                                         << "open  port 6514 command '' syslog-tls";
        QTest::newRow("protocol without port")
            << QStringList{"--protocol", "syslog"}
            << "error: --protocol needs --port: it is what the window opened for the port listens for.";
        QTest::newRow("an unknown protocol") << QStringList{"--port", "5", "--protocol", "tls"}
                                             << "error: 'tls' is not a protocol; give \"lines\", \"syslog\" or \"syslog-tls\".";
        QTest::newRow("the first name not saved") << QStringList{"web", "gone", "lost"}
                                                  << "error: there is no saved window configuration named 'gone'.";
        QTest::newRow("a store that can't be read")
            << QStringList{"db", "broken"} << "error: can't read the saved window configurations: not our store.";
    }
    void arguments_are_read_and_names_checked()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, reading);

        arguments.prepend(QStringLiteral("vesmira"));
        CommandLine read = shell::parse_command_line(arguments);
        // A store holding "web" and "db", that fails on "broken".
        shell::check_names(read, [](const QString& name) {
            if (name == QStringLiteral("broken"))
                throw std::runtime_error("not our store");
            return name == QStringLiteral("web") || name == QStringLiteral("db");
        });
        QCOMPARE(described(read), reading);
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
