// The store shared by real processes: two writers at once lose nothing, and a writer killed
// in the middle leaves a readable store with every write it finished.
// Run with "--writer TAG COUNT" this executable is itself such a writer.

#include "store/store_paths.h"
#include "store/tregistry.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <optional>
#include <string>

using store::TRegistry;

namespace {

std::string config_name(const std::string& tag, int i)
{
    return tag + "_" + std::to_string(i);
}

// Writes COUNT window configurations as the program's Save does (key, port, command) and
// reports each one on standard output once it is done.
int run_writer(const std::string& tag, int count)
{
    try {
        TRegistry reg;
        for (int i = 0; i < count; ++i) {
            if (!reg.OpenKey(store::config_key(config_name(tag, i)), true)) {
                std::fprintf(stderr, "cannot open key %d\n", i);
                return 1;
            }
            reg.WriteInteger(store::port_value, i);
            reg.WriteString(store::command_value, "cmd " + std::to_string(i));
            std::printf("%d\n", i);
            std::fflush(stdout);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}

}  // namespace

class TestStoreProcesses : public QObject {
    Q_OBJECT

    std::optional<QTemporaryDir> dir_;

    void start_writer(QProcess& process, const QString& tag, int count)
    {
        process.setProgram(QCoreApplication::applicationFilePath());
        process.setArguments({"--writer", tag, QString::number(count)});
        process.start();
        QVERIFY(process.waitForStarted());
    }

    // Every configuration of tag below count is there with its port and command.
    void verify_configs(const std::string& tag, int count)
    {
        TRegistry reg;
        for (int i = 0; i < count; ++i) {
            QVERIFY2(reg.OpenKey(store::config_key(config_name(tag, i)), false), config_name(tag, i).c_str());
            QCOMPARE(reg.ReadInteger(store::port_value), i);
            QCOMPARE(reg.ReadString(store::command_value), "cmd " + std::to_string(i));
        }
    }

private slots:
    void init()
    {
        dir_.emplace();
        QVERIFY(dir_->isValid());
        qputenv("XDG_CONFIG_HOME", dir_->path().toUtf8());
    }

    void two_writers_at_once_lose_nothing()
    {
        constexpr int count = 1000;
        QProcess first;
        QProcess second;
        start_writer(first, "a", count);
        start_writer(second, "b", count);
        for (QProcess* writer : {&first, &second}) {
            QVERIFY(writer->waitForFinished(60000));
            QCOMPARE(writer->readAllStandardError(), QByteArray());
            QCOMPARE(writer->exitCode(), 0);
        }
        verify_configs("a", count);
        verify_configs("b", count);
        TRegistry reg;
        QVERIFY(reg.OpenKey(store::configs_key, false));
        std::vector<std::string> names;
        reg.GetKeyNames(names);
        QCOMPARE(names.size(), std::size_t(2 * count));
    }

    void killed_writer_leaves_every_finished_write()
    {
        QProcess writer;
        start_writer(writer, "k", 1000000);
        // Let it get well into its work, then kill it wherever it is.
        QByteArray output;
        QDeadlineTimer deadline(30000);
        while (output.count('\n') < 300 && !deadline.hasExpired() && writer.waitForReadyRead(1000))
            output += writer.readAllStandardOutput();
        QVERIFY2(output.count('\n') >= 300, writer.readAllStandardError().constData());
        writer.kill();
        QVERIFY(writer.waitForFinished(10000));
        QCOMPARE(writer.exitStatus(), QProcess::CrashExit);
        output += writer.readAllStandardOutput();
        const int finished = int(output.count('\n'));

        verify_configs("k", finished);
        // The store stays writable after the crash.
        TRegistry reg;
        QVERIFY(reg.OpenKey(store::product_key, true));
        reg.WriteBool(store::reopen_windows_value, true);
        QVERIFY(TRegistry().OpenKey(store::product_key, false));
        QCOMPARE(reg.ReadBool(store::reopen_windows_value), true);
    }
};

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "--writer")
        return run_writer(argv[2], std::atoi(argv[3]));
    QCoreApplication app(argc, argv);
    TestStoreProcesses test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_store_processes.moc"
