// The configuration store through TRegistry on a real database file: read and write rules,
// names, enumeration, deletion, hostile names and values, and files that are not a usable store.

#include "store/key_path.h"
#include "store/store_paths.h"
#include "store/tregistry.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <linux/fs.h>
#include <sqlite3.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <optional>

using store::ERegistryException;
using store::TRegistry;

namespace {

std::string bytes(const QByteArray& data)
{
    return data.toStdString();
}

// The message of the ERegistryException body raises; empty when it raised nothing.
QByteArray error_of(const std::function<void()>& body)
{
    try {
        body();
    } catch (const ERegistryException& error) {
        return QByteArray(error.what());
    }
    return {};
}

QByteArray file_content(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

mode_t mode_of(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

// Makes path unwritable for this process until destroyed. Root ignores mode bits, so there
// the file system's immutable flag stands in.
class ReadOnly {
public:
    explicit ReadOnly(const QString& path) : path_(QFile::encodeName(path).toStdString())
    {
        old_mode_ = mode_of(path);
        ok_ = ::geteuid() == 0 ? set_immutable(true) : ::chmod(path_.c_str(), 0500) == 0;
    }
    ~ReadOnly()
    {
        if (::geteuid() == 0)
            set_immutable(false);
        else
            ::chmod(path_.c_str(), old_mode_);
    }
    bool ok() const { return ok_; }

private:
    bool set_immutable(bool on)
    {
        const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        int flags = 0;
        bool done = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        if (fd >= 0)
            ::close(fd);
        return done;
    }
    std::string path_;
    mode_t old_mode_ = 0;
    bool ok_ = false;
};

}  // namespace

class TestRegistry : public QObject {
    Q_OBJECT

    std::optional<QTemporaryDir> dir_;
    QString db_file() const { return dir_->path() + "/Tarnwheel/vesmira/registry.db"; }

    // A store with one window configuration "web" (port 80) that has one alert "Disk".
    void write_sample()
    {
        TRegistry reg;
        QVERIFY(reg.OpenKey(store::config_key("web"), true));
        reg.WriteInteger(store::port_value, 80);
        reg.WriteString(store::command_value, "ssh host");
        QVERIFY(reg.OpenKey(store::alert_key("web", "Disk"), true));
        reg.WriteString(store::catchwords_value, "full\r\nerror");
        reg.WriteBool(store::active_value, true);
    }

private slots:
    void init()
    {
        dir_.emplace();
        QVERIFY(dir_->isValid());
        qputenv("XDG_CONFIG_HOME", dir_->path().toUtf8());
    }

    void key_paths_are_split_at_every_backslash_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArrayList>("names");
        QTest::newRow("absolute") << QByteArray("\\Software\\Tarnwheel") << QByteArrayList{"Software", "Tarnwheel"};
        QTest::newRow("without leading backslash") << QByteArray("a\\b") << QByteArrayList{"a", "b"};
        QTest::newRow("root") << QByteArray("\\") << QByteArrayList{};
        QTest::newRow("empty") << QByteArray("") << QByteArrayList{};
        QTest::newRow("doubled and trailing") << QByteArray("\\a\\\\b\\") << QByteArrayList{"a", "b"};
        QTest::newRow("blanks kept") << QByteArray("\\ a b \\c") << QByteArrayList{" a b ", "c"};
    }
    void key_paths_are_split_at_every_backslash()
    {
        QFETCH(QByteArray, path);
        QFETCH(QByteArrayList, names);
        QByteArrayList got;
        for (const std::string& name : store::split_key_path(bytes(path)))
            got << QByteArray::fromStdString(name);
        QCOMPARE(got, names);
    }

    void database_location_follows_xdg_data()
    {
        QTest::addColumn<QByteArray>("xdg");  // "<unset>" to remove it
        QTest::addColumn<QString>("expected");
        QTest::newRow("absolute") << QByteArray("/srv/cfg/") << "/srv/cfg/Tarnwheel/vesmira/registry.db";
        QTest::newRow("unset") << QByteArray("<unset>") << "/home/u/.config/Tarnwheel/vesmira/registry.db";
        QTest::newRow("empty") << QByteArray("") << "/home/u/.config/Tarnwheel/vesmira/registry.db";
        QTest::newRow("relative is ignored") << QByteArray("cfg") << "/home/u/.config/Tarnwheel/vesmira/registry.db";
    }
    void database_location_follows_xdg()
    {
        QFETCH(QByteArray, xdg);
        QFETCH(QString, expected);
        const QByteArray home = qgetenv("HOME");
        qputenv("HOME", "/home/u");
        if (xdg == "<unset>")
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", xdg);
        const std::string file = TRegistry::default_database_file();
        const std::string folder = TRegistry::default_folder();
        qputenv("HOME", home);
        QCOMPARE(QString::fromStdString(file), expected);
        QCOMPARE(QString::fromStdString(folder + "/registry.db"), expected);
    }

    void reads_create_nothing_and_first_write_makes_private_files()
    {
        {
            TRegistry reg;
            QVERIFY(!reg.OpenKey(store::product_key, false));
            QVERIFY(!reg.DeleteKey(store::configs_key));
            QVERIFY(reg.OpenKey("\\", false));  // the empty tree still has its root
            std::vector<std::string> names{"stale"};
            reg.GetKeyNames(names);
            QVERIFY(names.empty());
        }
        QVERIFY(!QFile::exists(dir_->path() + "/Tarnwheel"));

        TRegistry reg;
        QVERIFY(reg.OpenKey(store::product_key, true));
        reg.WriteBool(store::reopen_windows_value, true);
        QCOMPARE(mode_of(db_file()), mode_t(0600));
        QCOMPARE(mode_of(dir_->path() + "/Tarnwheel") & 077, mode_t(0));
        QCOMPARE(mode_of(dir_->path() + "/Tarnwheel/vesmira") & 077, mode_t(0));
    }

    void reads_follow_the_type_rules_data()
    {
        QTest::addColumn<QString>("stored");  // none, string or integer
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("read");  // string, integer or bool
        QTest::addColumn<QByteArray>("result");
        QTest::addColumn<QByteArray>("error");
        QTest::newRow("missing command reads empty") << "none" << QByteArray("command") << QByteArray() << 0 << "string"
                                                     << QByteArray("") << QByteArray();
        QTest::newRow("missing default value") << "none" << QByteArray() << QByteArray() << 0 << "integer" << QByteArray()
                                               << QByteArray("Konnte Daten für '' nicht holen");
        QTest::newRow("string read as integer") << "string" << QByteArray() << QByteArray("80") << 0 << "integer"
                                                << QByteArray() << QByteArray("Ungültiger Datentyp für ''");
        QTest::newRow("integer read as string") << "integer" << QByteArray("command") << QByteArray() << 5 << "string"
                                                << QByteArray() << QByteArray("Ungültiger Datentyp für 'command'");
        QTest::newRow("7 reads as true") << "integer" << QByteArray("active") << QByteArray() << 7 << "bool"
                                         << QByteArray("true") << QByteArray();
        QTest::newRow("lowest integer") << "integer" << QByteArray() << QByteArray() << INT32_MIN << "integer"
                                        << QByteArray("-2147483648") << QByteArray();
        QTest::newRow("string ends at its zero byte") << "string" << QByteArray("command") << QByteArray("ab\0cd", 5) << 0
                                                      << "string" << QByteArray("ab") << QByteArray();
    }
    void reads_follow_the_type_rules()
    {
        QFETCH(QString, stored);
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, text);
        QFETCH(int, number);
        QFETCH(QString, read);
        QFETCH(QByteArray, result);
        QFETCH(QByteArray, error);
        {
            TRegistry writer;
            QVERIFY(writer.OpenKey(store::config_key("web"), true));
            writer.WriteString("other", "x");
            if (stored == "string")
                writer.WriteString(bytes(name), bytes(text));
            else if (stored == "integer")
                writer.WriteInteger(bytes(name), number);
        }
        TRegistry reader;
        QVERIFY(reader.OpenKey(store::config_key("web"), false));
        QByteArray got;
        const QByteArray raised = error_of([&] {
            if (read == "string")
                got = QByteArray::fromStdString(reader.ReadString(bytes(name)));
            else if (read == "integer")
                got = QByteArray::number(reader.ReadInteger(bytes(name)));
            else
                got = reader.ReadBool(bytes(name)) ? "true" : "false";
        });
        QCOMPARE(raised, error);
        QCOMPARE(got, result);
    }

    void names_ignore_ascii_letter_case_only()
    {
        TRegistry reg;
        QVERIFY(reg.OpenKey(store::config_key("Web"), true));
        reg.WriteString("Command", "first");
        QVERIFY(reg.OpenKey("\\SOFTWARE\\tarnwheel\\VESMIRA\\Configs\\wEB", true));
        reg.WriteString("COMMAND", "second");
        QCOMPARE(reg.ReadString("command"), std::string("second"));
        std::vector<std::string> names;
        reg.GetValueNames(names);
        QCOMPARE(names, std::vector<std::string>{"Command"});  // replaced in place, first spelling kept
        QVERIFY(reg.OpenKey(store::config_key("\xC3\x84rger"), true));  // "Ärger"
        QVERIFY(!reg.OpenKey(store::config_key("\xC3\xA4rger"), false));  // "ärger" is another name
        QVERIFY(reg.OpenKey(store::configs_key, false));
        reg.GetKeyNames(names);
        QCOMPARE(names, (std::vector<std::string>{"Web", "\xC3\x84rger"}));
    }

    void names_list_in_creation_order()
    {
        TRegistry reg;
        for (const char* name : {"zeta", "Alpha", "mid"})
            QVERIFY(reg.OpenKey(store::config_key(name), true));
        QVERIFY(reg.OpenKey(store::open_windows_key, true));
        for (const char* name : {"zeta", "Alpha", "mid"})
            reg.WriteBool(name, true);
        reg.WriteBool("ZETA", false);  // booleans are stored as 0 and 1
        QCOMPARE(reg.ReadInteger("zeta"), 0);
        QCOMPARE(reg.ReadInteger("alpha"), 1);
        std::vector<std::string> names;
        reg.GetValueNames(names);
        QCOMPARE(names, (std::vector<std::string>{"zeta", "Alpha", "mid"}));
        QVERIFY(reg.OpenKey(store::configs_key, false));
        reg.GetKeyNames(names);
        QCOMPARE(names, (std::vector<std::string>{"zeta", "Alpha", "mid"}));
        QVERIFY(reg.OpenKey(store::config_key("mid"), false));
        reg.GetKeyNames(names);
        QVERIFY(names.empty());
    }

    void failed_open_keeps_the_current_key()
    {
        TRegistry reg;
        QVERIFY(!reg.OpenKey(store::product_key, false));
        QCOMPARE(error_of([&] { reg.WriteString("x", "y"); }), QByteArray("Konnte Daten für 'x' nicht setzen"));
        write_sample();
        QVERIFY(reg.OpenKey(store::config_key("web"), false));
        QVERIFY(!reg.OpenKey(store::config_key("nothere"), false));
        QCOMPARE(reg.ReadInteger(""), 80);
        reg.CloseKey();
        QCOMPARE(reg.ReadString("command"), std::string());
        QCOMPARE(error_of([&] { reg.WriteInteger("", 1); }), QByteArray("Konnte Daten für '' nicht setzen"));
    }

    void grouped_writes_land_whole_or_not_at_all()
    {
        // Left without a commit in a store that didn't exist yet: nothing stays, not even the
        // schema the first write made, and the store is as usable as before.
        {
            TRegistry reg;
            TRegistry::Transaction transaction(reg);
            QVERIFY(reg.OpenKey(store::config_key("web"), true));
            reg.WriteInteger(store::port_value, 80);
        }
        QVERIFY(!TRegistry().OpenKey(store::configs_key, false));
        write_sample();

        // Committed: others see all of it at once, and nothing before the commit.
        TRegistry reader;
        QVERIFY(reader.OpenKey(store::alert_key("web", "Disk"), false));
        {
            TRegistry reg;
            TRegistry::Transaction transaction(reg);
            QVERIFY(reg.OpenKey(store::alert_key("web", "Disk"), true));
            reg.WriteString(store::catchwords_value, "new");
            reg.WriteBool(store::active_value, false);
            QCOMPARE(reader.ReadString(store::catchwords_value), std::string("full\r\nerror"));
            transaction.commit();
        }
        QCOMPARE(reader.ReadString(store::catchwords_value), std::string("new"));
        QVERIFY(!reader.ReadBool(store::active_value));

        // A write the database refuses part way: the writes before it go too, and the access
        // object is left without a key instead of pointing at one that was rolled back.
        sqlite3* db = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(db_file()).constData(), &db), SQLITE_OK);
        QCOMPARE(sqlite3_exec(db,
                              "CREATE TRIGGER refuse BEFORE INSERT ON vals WHEN NEW.folded = CAST('sound' AS BLOB)"
                              " BEGIN SELECT RAISE(ABORT, 'refused'); END",
                              nullptr, nullptr, nullptr),
                 SQLITE_OK);
        sqlite3_close(db);
        TRegistry reg;
        {
            TRegistry::Transaction transaction(reg);
            QVERIFY(reg.OpenKey(store::alert_key("web", "Net"), true));
            reg.WriteString(store::command_value, "ping");
            QCOMPARE(error_of([&] { reg.WriteString(store::sound_value, "a.wav"); }),
                     QByteArray("Konnte Daten für 'sound' nicht setzen"));
            reg.WriteString(store::catchwords_value, "down");
        }
        QVERIFY(!reader.OpenKey(store::alert_key("web", "Net"), false));
        QCOMPARE(error_of([&] { reg.WriteString(store::command_value, "x"); }),
                 QByteArray("Konnte Daten für 'command' nicht setzen"));
        // The write lock went with the transaction.
        QVERIFY(reader.OpenKey(store::config_key("web"), true));
        reader.WriteString(store::command_value, "ssh other");
        QCOMPARE(reader.ReadString(store::command_value), std::string("ssh other"));
    }

    void deleting_a_configuration_takes_its_alerts()
    {
        write_sample();
        TRegistry holder;  // another operation that still has the alert open
        QVERIFY(holder.OpenKey(store::alert_key("web", "Disk"), false));
        TRegistry reg;
        QVERIFY(reg.DeleteKey(store::config_key("WEB")));
        QVERIFY(!reg.DeleteKey(store::config_key("web")));
        QVERIFY(!reg.DeleteKey("\\"));
        QVERIFY(!reg.OpenKey(store::alert_key("web", "Disk"), false));
        QVERIFY(!reg.OpenKey(store::alerts_key("web"), false));
        QVERIFY(reg.OpenKey(store::configs_key, false));
        std::vector<std::string> names;
        reg.GetKeyNames(names);
        QVERIFY(names.empty());
        // The deleted key stays gone: a late write through the old handle fails instead of
        // leaving a value that belongs to no key.
        QCOMPARE(error_of([&] { holder.WriteBool("active", false); }), QByteArray("Konnte Daten für 'active' nicht setzen"));
        QVERIFY(reg.OpenKey(store::config_key("web"), true));
        QVERIFY(!reg.OpenKey(store::alerts_key("web"), false));
    }

    void hostile_names_and_values_round_trip_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("quotes") << QByteArray("it's \"quoted\"") << QByteArray("say \"hi\" 'there'");
        QTest::newRow("percent signs") << QByteArray("100% %s%n") << QByteArray("%s %d %n %%");
        QTest::newRow("sql") << QByteArray("'); DROP TABLE keys; --") << QByteArray("' OR 1=1 --");
        QTest::newRow("utf-8") << QByteArray("Grüße 日本") << QByteArray("Ärger über Öl");
        QTest::newRow("invalid utf-8") << QByteArray("\xFF\xFE\x80") << QByteArray("\xC0\xAF\xED\xA0\x80");
        QTest::newRow("zero byte in name") << QByteArray("a\0b", 3) << QByteArray("v");
        QTest::newRow("10000 characters") << QByteArray(10000, 'n') << QByteArray(10000, 'v');
        QTest::newRow("line breaks") << QByteArray("x\r\ny") << QByteArray("one\r\ntwo\n");
    }
    void hostile_names_and_values_round_trip()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, value);
        {
            TRegistry reg;
            QVERIFY(reg.OpenKey(store::alert_key(bytes(name), bytes(name)), true));
            reg.WriteString(bytes(name), bytes(value));
        }
        TRegistry reg;
        QVERIFY(reg.OpenKey(store::configs_key, false));
        std::vector<std::string> names;
        reg.GetKeyNames(names);
        QCOMPARE(names, std::vector<std::string>{bytes(name)});
        QVERIFY(reg.OpenKey(store::alert_key(bytes(name), bytes(name)), false));
        reg.GetValueNames(names);
        QCOMPARE(names, std::vector<std::string>{bytes(name)});
        QCOMPARE(QByteArray::fromStdString(reg.ReadString(bytes(name))), value);
    }

    void unusable_files_are_reported_and_left_alone_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("readable");  // the stored data may still be read
        QTest::newRow("not a database") << "text" << false;
        QTest::newRow("truncated database") << "truncated" << false;
        QTest::newRow("another program's database") << "foreign" << false;
        QTest::newRow("newer schema") << "newer" << false;
        QTest::newRow("read-only file") << "readonly file" << true;
        QTest::newRow("read-only folder") << "readonly folder" << true;
    }
    void unusable_files_are_reported_and_left_alone()
    {
        QFETCH(QString, kind);
        QFETCH(bool, readable);
        write_sample();
        {
            // Enough rows for the file to span many pages, so cutting it loses some.
            TRegistry reg;
            for (int i = 0; i < 200; ++i) {
                QVERIFY(reg.OpenKey(store::alert_key("web", "alert" + std::to_string(i)), true));
                reg.WriteString("catchwords", std::string(100, 'w'));
            }
        }
        std::optional<ReadOnly> read_only;
        if (kind == "text") {
            QFile file(db_file());
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(QByteArray("this is not a database\n").repeated(300));
        } else if (kind == "truncated") {
            QVERIFY(QFile::resize(db_file(), QFile(db_file()).size() / 2));
        } else if (kind == "foreign" || kind == "newer") {
            sqlite3* db = nullptr;
            QCOMPARE(sqlite3_open(QFile::encodeName(db_file()).constData(), &db), SQLITE_OK);
            const char* sql = kind == "foreign" ? "PRAGMA application_id = 0; CREATE TABLE t(x)" : "PRAGMA user_version = 2";
            QCOMPARE(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
            sqlite3_close(db);
        } else {
            read_only.emplace(kind == "readonly file" ? db_file() : dir_->path() + "/Tarnwheel/vesmira");
            if (!read_only->ok())
                QSKIP("cannot make the store read-only here");
        }
        const QByteArray before = file_content(db_file());

        TRegistry reg;
        try {
            if (reg.OpenKey(store::config_key("web"), false)) {
                QVERIFY(readable);
                QCOMPARE(reg.ReadInteger(""), 80);
                QCOMPARE(reg.ReadString("command"), std::string("ssh host"));
            }
        } catch (const ERegistryException&) {
            // Raising is as good as not finding the key.
        }
        QVERIFY(!reg.DeleteKey(store::config_key("web")));
        TRegistry writer;
        writer.OpenKey(store::config_key("new"), true);
        QCOMPARE(error_of([&] { writer.WriteInteger("", 1); }), QByteArray("Konnte Daten für '' nicht setzen"));
        QCOMPARE(error_of([&] { writer.WriteString("command", "c"); }), QByteArray("Konnte Daten für 'command' nicht setzen"));
        QVERIFY(!writer.OpenKey(store::config_key("new"), false));
        QCOMPARE(file_content(db_file()), before);
    }
};

QTEST_GUILESS_MAIN(TestRegistry)
#include "test_registry.moc"
