// vesmira-store run as a user runs it: the tree the program wrote, an exact export and import
// round trip, and imports that must change nothing.

#include "store/store_paths.h"
#include "store/tregistry.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>

using store::TRegistry;

namespace {

struct Run {
    int exit_code = -1;
    QByteArray out;
    QByteArray err;
};

}  // namespace

class TestStoreTool : public QObject {
    Q_OBJECT

    std::optional<QTemporaryDir> dir_;

    Run run(const QStringList& args, const QByteArray& input = {})
    {
        QProcess tool;
        tool.start(QStringLiteral(VESMIRA_STORE_TOOL), args);
        if (!tool.waitForStarted())
            return {};
        tool.write(input);
        tool.closeWriteChannel();
        if (!tool.waitForFinished(30000) || tool.exitStatus() != QProcess::NormalExit)
            return {};
        return {tool.exitCode(), tool.readAllStandardOutput(), tool.readAllStandardError()};
    }
    QString other_store() const { return dir_->path() + "/other/registry.db"; }

    // A store holding names and values no text editor would keep intact by accident.
    void write_hostile_store()
    {
        TRegistry reg;
        QVERIFY(reg.OpenKey(store::config_key("quote\"d %s"), true));
        reg.WriteInteger("", INT32_MIN);
        reg.WriteString("command", std::string("before\0after", 12));
        QVERIFY(reg.OpenKey(store::alert_key("Grüße", std::string("\xFF\xFEzero\0byte", 11)), true));
        reg.WriteString("catchwords", "tab\there\r\nback\\slash \"q\" \x01\x7F\xC3\x28");
        reg.WriteString(std::string(10000, 'n'), std::string(10000, 'v'));
        QVERIFY(reg.OpenKey(store::open_windows_key, true));  // stays empty
    }

private slots:
    void init()
    {
        dir_.emplace();
        QVERIFY(dir_->isValid());
        qputenv("XDG_CONFIG_HOME", dir_->path().toUtf8());
    }

    void tree_shows_what_the_program_wrote()
    {
        {
            TRegistry reg;
            QVERIFY(reg.OpenKey(store::product_key, true));
            reg.WriteBool(store::reopen_windows_value, true);
            QVERIFY(reg.OpenKey(store::config_key("web"), true));
            reg.WriteInteger(store::port_value, 80);
            reg.WriteString(store::command_value, "ssh -L 8080:localhost:80 host");
            QVERIFY(reg.OpenKey(store::alert_key("web", "Disk"), true));
            reg.WriteString(store::sound_value, "");
            reg.WriteString(store::catchwords_value, "disk full\r\nI/O error");
            reg.WriteBool(store::color_titlebar_value, true);
            reg.WriteBool(store::active_value, false);
            QVERIFY(reg.OpenKey(store::open_windows_key, true));
            reg.WriteBool("web", true);
        }
        const Run tree = run({});
        QCOMPARE(tree.err, QByteArray());
        QCOMPARE(tree.exit_code, 0);
        QCOMPARE(tree.out, QByteArray("Software\\\n"
                                      "  Tarnwheel\\\n"
                                      "    vesmira\\\n"
                                      "      ReopenWindowsOnRestart = 1\n"
                                      "      configs\\\n"
                                      "        web\\\n"
                                      "          (default) = 80\n"
                                      "          command = \"ssh -L 8080:localhost:80 host\"\n"
                                      "          alerts\\\n"
                                      "            Disk\\\n"
                                      "              sound = \"\"\n"
                                      "              catchwords = \"disk full\\r\\nI/O error\"\n"
                                      "              color_titlebar = 1\n"
                                      "              active = 0\n"
                                      "      OpenWindows\\\n"
                                      "        web = 1\n"));
        const Run part = run({"tree", "\\software\\tarnwheel\\vesmira\\OPENWINDOWS"});
        QCOMPARE(part.out, QByteArray("web = 1\n"));
        QCOMPARE(run({"tree", "\\nothing"}).exit_code, 1);
    }

    void export_and_import_keep_every_byte()
    {
        write_hostile_store();
        const Run exported = run({"export"});
        QCOMPARE(exported.exit_code, 0);
        QVERIFY(exported.out.contains("\"before\\x00after\""));
        QVERIFY(exported.out.contains("\"Grüße\""));
        QVERIFY(exported.out.contains("\"\\xFF\\xFEzero\\x00byte\""));

        {
            TRegistry other(other_store().toStdString());
            QVERIFY(other.OpenKey("\\Software\\elsewhere", true));  // --replace removes it
            other.WriteInteger("x", 1);
        }
        const Run imported = run({"--file", other_store(), "import", "--replace"}, exported.out);
        QCOMPARE(imported.err, QByteArray());
        QCOMPARE(imported.exit_code, 0);
        QCOMPARE(run({"--file", other_store(), "export"}).out, exported.out);

        TRegistry copy(other_store().toStdString());
        QVERIFY(copy.OpenKey(store::config_key("QUOTE\"D %S"), false));
        QCOMPARE(copy.ReadInteger(""), INT32_MIN);
        QCOMPARE(copy.ReadString("command"), std::string("before"));
        QVERIFY(copy.OpenKey(store::alert_key("Grüße", std::string("\xFF\xFEzero\0byte", 11)), false));
        QCOMPARE(copy.ReadString(std::string(10000, 'N')), std::string(10000, 'v'));
    }

    void invalid_import_changes_nothing_data()
    {
        QTest::addColumn<QByteArray>("text");
        const QByteArray good = "vesmira-store 1\n"
                                "key \"Software\" \"new\"\n"
                                "value \"port\" int 7\n";
        QTest::newRow("wrong header") << QByteArray("vesmira-store 2\n") + good.mid(16);
        QTest::newRow("unknown escape") << good + "value \"x\" str \"\\q\"\n";
        QTest::newRow("integer beyond 32 bits") << good + "value \"x\" int 2147483648\n";
        QTest::newRow("value before any key") << QByteArray("vesmira-store 1\nvalue \"x\" int 1\n") + good.mid(16);
        QTest::newRow("trailing text") << good + "value \"x\" int 1 2\n";
    }
    void invalid_import_changes_nothing()
    {
        QFETCH(QByteArray, text);
        write_hostile_store();
        const QByteArray before = run({"export"}).out;
        const Run imported = run({"import", "--replace"}, text);
        QCOMPARE(imported.exit_code, 1);
        QVERIFY2(imported.err.contains("line "), imported.err.constData());
        QCOMPARE(run({"export"}).out, before);
    }

    void unusable_or_missing_stores()
    {
        const Run missing = run({"--file", other_store(), "export"});
        QCOMPARE(missing.exit_code, 0);
        QCOMPARE(missing.out, QByteArray("vesmira-store 1\n"));
        QVERIFY(!QFile::exists(other_store()));

        const QString junk = dir_->path() + "/junk.db";
        QFile file(junk);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("not a database\n").repeated(100));
        file.close();
        for (const char* command : {"tree", "export", "import"}) {
            const Run failed = run({"--file", junk, command}, "vesmira-store 1\nkey \"a\"\n");
            QCOMPARE(failed.exit_code, 1);
            QVERIFY(!failed.err.isEmpty());
        }
        QFile after(junk);
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), QByteArray("not a database\n").repeated(100));

        QVERIFY(run({"--help"}).out.startsWith("Usage: vesmira-store"));
        QCOMPARE(run({"frobnicate"}).exit_code, 2);
    }
};

QTEST_GUILESS_MAIN(TestStoreTool)
#include "test_store_tool.moc"
