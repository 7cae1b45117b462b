// The configuration layer against a real store in a temporary folder: what it reads from the
// layouts older builds wrote and from values changed by other means, what it writes, and that a
// write the store refuses part way leaves nothing of the action behind.

#include "config/alert_config.h"
#include "config/global_options.h"
#include "config/window_config.h"
#include "refused_value.h"
#include "store/store_paths.h"
#include "store/tregistry.h"

#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <optional>

using config::Reading;

namespace {

// "path|name|i:7" or "path|name|s:text", path below the product key.
void put(const QString& value)
{
    const QStringList parts = value.split(QLatin1Char('|'));
    store::TRegistry registry;
    QVERIFY(registry.OpenKey(store::product_key + "\\" + parts[0].toStdString(), true));
    const std::string name = parts[1].toStdString();
    const QString data = parts[2].mid(2);
    if (parts[2].startsWith(QLatin1String("i:")))
        registry.WriteInteger(name, data.toInt());
    else
        registry.WriteString(name, data.toStdString());
}

// What the layer's read gives, as text; "error: ..." for the store's error.
QString outcome(const std::function<QString()>& read)
{
    try {
        return read();
    } catch (const store::ERegistryException& error) {
        return QStringLiteral("error: ") + QString::fromUtf8(error.what());
    }
}

QString flag(bool on, const char* set, const char* cleared)
{
    return QString::fromLatin1(on ? set : cleared);
}

QString shown(const std::optional<config::WindowConfiguration>& read)
{
    if (!read)
        return QStringLiteral("none");
    const QLatin1Char bar('|');
    // A syslog window says so; one of text lines reads as before the protocol was kept.
    return QString::number(read->port) + bar + read->command + bar + flag(read->local_only, "local", "any")
           + (read->protocol == net::Protocol::syslog ? QStringLiteral("|syslog") : QString())
           + (read->allow_from.isEmpty() ? QString() : QStringLiteral("|from ") + read->allow_from)
           + (read->tls_auth.isEmpty() ? QString()
                                       : QStringLiteral("|tls ") + read->tls_auth + QLatin1Char(' ') + read->tls_ca
                                             + QLatin1Char(' ') + read->tls_fingerprints);
}

QString shown(const config::AlertFields& fields)
{
    const QLatin1Char bar('|');
    return QString::fromStdString(fields.catchwords) + bar + fields.sound + bar + fields.command + bar
           + flag(fields.color_titlebar, "titlebar", "plain") + bar + flag(fields.notify, "notify", "quiet");
}

// The whole store, one line per key and per value, for comparing before and after.
QStringList dump(const std::string& path = {})
{
    store::TRegistry registry;
    if (!registry.OpenKey(path, false))
        return {};
    QStringList lines{QString::fromStdString(path)};
    std::vector<std::string> names;
    registry.GetValueNames(names);
    for (const std::string& name : names) {
        QString value;
        try {
            value = QString::number(registry.ReadInteger(name));
        } catch (const store::ERegistryException&) {
            value = QLatin1Char('"') + QString::fromStdString(registry.ReadString(name)) + QLatin1Char('"');
        }
        lines.append(QString::fromStdString(path + "|" + name + "=") + value);
    }
    registry.GetKeyNames(names);
    for (const std::string& child : names)
        lines.append(dump(path + "\\" + child));
    return lines;
}

}  // namespace

class TestConfig : public QObject {
    Q_OBJECT

    std::optional<QTemporaryDir> folder;
    const QString web = QStringLiteral("web");

private Q_SLOTS:
    void init()
    {
        folder.emplace();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder->filePath(QStringLiteral("config"))));
    }

    void reads_what_the_store_holds_data()
    {
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QString>("read");  // open, show (over a shown command "typed"), choices, ...
        QTest::addColumn<QString>("expected");
        const QString port = QStringLiteral("configs\\web||i:80");
        const QString command = QStringLiteral("configs\\web|command|s:ssh -N h");
        QTest::newRow("nothing stored") << QStringList{} << "open" << "none";
        QTest::newRow("saved before the sender restriction") << QStringList{port, command} << "open" << "80|ssh -N h|any";
        QTest::newRow("only this computer") << QStringList{port, "configs\\web|localonly|i:1"} << "show" << "80||local";
        QTest::newRow("syslog") << QStringList{port, "configs\\web|protocol|s:syslog"} << "open" << "80||any|syslog";
        QTest::newRow("a newer build's protocol reads as text lines")
            << QStringList{port, "configs\\web|protocol|s:syslog-tls"} << "show" << "80||any";
        QTest::newRow("a restriction of another type is off")
            << QStringList{port, "configs\\web|localonly|s:1"} << "open" << "80||any";
        QTest::newRow("accept from") << QStringList{port, "configs\\web|allowfrom|s:10.0.0.0/8, ::1"} << "open"
                                     << "80||any|from 10.0.0.0/8, ::1";
        QTest::newRow("senders over TLS by fingerprint")
            << QStringList{port, "configs\\web|tlsauth|s:fingerprint", "configs\\web|tlsfingerprints|s:SHA1:0A\nSHA256:0B"}
            << "open" << "80||any|tls fingerprint  SHA1:0A\nSHA256:0B";
        QTest::newRow("accept from of another type, to open")
            << QStringList{port, "configs\\web|allowfrom|i:5"} << "open" << "error: Ungültiger Datentyp für 'allowfrom'";
        QTest::newRow("no port, to open") << QStringList{command} << "open" << "error: Konnte Daten für '' nicht holen";
        QTest::newRow("no port, to show") << QStringList{command} << "show" << "error: Konnte Daten für '' nicht holen";
        QTest::newRow("a port of another type")
            << QStringList{"configs\\web||s:80"} << "show" << "error: Ungültiger Datentyp für ''";
        QTest::newRow("a command of another type, to open")
            << QStringList{port, "configs\\web|command|i:5"} << "open" << "error: Ungültiger Datentyp für 'command'";
        QTest::newRow("a command of another type stays as shown")
            << QStringList{port, "configs\\web|command|i:5"} << "show" << "80|typed|any";
        QTest::newRow("choices saved before they were kept") << QStringList{port} << "choices" << "|off";
        QTest::newRow("choices") << QStringList{port, "configs\\web|logfile|s:/tmp/a b.log", "configs\\web|arrivaltimes|i:7"}
                                 << "choices" << "/tmp/a b.log|on";
        QTest::newRow("sender addresses") << QStringList{port, "configs\\web|senders|i:1"} << "choices" << "|off|senders";
        QTest::newRow("arrival times of another type are off")
            << QStringList{port, "configs\\web|arrivaltimes|s:1"} << "choices" << "|off";
        QTest::newRow("a log file of another type")
            << QStringList{port, "configs\\web|logfile|i:1"} << "choices" << "error: Ungültiger Datentyp für 'logfile'";
        QTest::newRow("no choices without the configuration") << QStringList{} << "choices" << "none";
        const QStringList old_alert{"configs\\web\\alerts\\disk|catchwords|s:ERR\r\nfull", "configs\\web\\alerts\\disk|sound|s:/a.wav",
                                    "configs\\web\\alerts\\disk|color_titlebar|i:1", "configs\\web\\alerts\\disk|active|i:0"};
        QTest::newRow("an alert saved before notify") << old_alert << "alerts" << "disk-:ERR\r\nfull|/a.wav||titlebar|quiet";
        QTest::newRow("an alert without active ends the reading, those before it read")
            << (old_alert + QStringList{"configs\\web\\alerts\\broken|color_titlebar|i:1"}) << "alerts"
            << "disk-:ERR\r\nfull|/a.wav||titlebar|quiet;error: Konnte Daten für 'active' nicht holen";
        QTest::newRow("no alerts key") << QStringList{port} << "alerts" << "none";
        QTest::newRow("one alert's fields") << (old_alert + QStringList{"configs\\web\\alerts\\disk|notify|i:1"})
                                            << "alert" << "ERR\r\nfull|/a.wav||titlebar|notify";
        QTest::newRow("an alert without color_titlebar")
            << QStringList{"configs\\web\\alerts\\disk|active|i:1"} << "alert"
            << "error: Konnte Daten für 'color_titlebar' nicht holen";
        QTest::newRow("no product key") << QStringList{} << "options" << "reopen=0 limit=1024 recorded=";
        QTest::newRow("options") << QStringList{"|ReopenWindowsOnRestart|i:7", "|MaxWindowTextMB|i:0", "OpenWindows|b|i:1",
                                                "OpenWindows|a|i:0"}
                                 << "options" << "reopen=1 limit=0 recorded=b,a";
        QTest::newRow("a limit out of range, the option of another type")
            << QStringList{"|ReopenWindowsOnRestart|s:1", "|MaxWindowTextMB|i:-3", "OpenWindows|b|i:1"} << "options"
            << "reopen=0 limit=1024 recorded=";
    }
    void reads_what_the_store_holds()
    {
        QFETCH(QStringList, stored);
        QFETCH(QString, read);
        QFETCH(QString, expected);
        for (const QString& value : stored)
            put(value);
        config::WindowConfiguration typed;
        typed.command = QStringLiteral("typed");
        std::vector<config::StoredAlert> alerts;
        const QString result = outcome([&]() -> QString {
            if (read == "open" || read == "show")
                return shown(config::read_window_configuration(web, read == "open" ? Reading::to_open : Reading::to_show,
                                                               typed));
            if (read == "choices") {
                const std::optional<config::WindowChoices> choices = config::read_window_choices(web);
                return choices ? choices->log_file + QLatin1Char('|') + flag(choices->arrival_times, "on", "off")
                                     + (choices->sender_addresses ? QStringLiteral("|senders") : QString())
                               : QStringLiteral("none");
            }
            if (read == "alert")
                return shown(config::read_alert(web, QStringLiteral("disk")));
            if (read == "options") {
                const config::GlobalOptions options = config::read_global_options();
                return QStringLiteral("reopen=%1 limit=%2 recorded=")
                           .arg(int(options.reopen_windows))
                           .arg(options.text_limit_mb)
                       + config::read_recorded_windows().join(',');
            }
            return config::read_alerts(web, alerts) ? QString() : QStringLiteral("none");
        });
        // The alerts read, also those before an alert the store couldn't give.
        QStringList lines;
        for (const config::StoredAlert& alert : alerts)
            lines.append(alert.name + flag(alert.active, "+", "-") + QLatin1Char(':') + shown(alert.fields));
        if (!result.isEmpty())
            lines.append(result);
        QCOMPARE(lines.join(';'), expected);
    }

    void writes_read_back()
    {
        // The New window dialog's Save, twice: the window's remembered choices survive it.
        config::write_window_configuration(web, {8080, QStringLiteral(" ssh -N host "), true});
        config::remember_window_choice(web, &config::WindowChoices::log_file, QStringLiteral("/var/tmp/ü.log"));
        config::remember_window_choice(web, &config::WindowChoices::arrival_times, true);
        config::write_window_configuration(QStringLiteral("WEB"), {81, QString(), false});
        QCOMPARE(shown(config::read_window_configuration(web, Reading::to_open)), QStringLiteral("81||any"));
        QCOMPARE(config::read_window_choices(web)->log_file, QStringLiteral("/var/tmp/ü.log"));
        QVERIFY(config::read_window_choices(web)->arrival_times);
        // A configuration removed meanwhile isn't brought back by a remembered choice.
        config::remember_window_choice(QStringLiteral("gone"), &config::WindowChoices::arrival_times, true);
        QVERIFY(!config::config_exists(QStringLiteral("gone")));

        // The first alert of a window not saved yet brings its whole configuration along.
        const config::WindowConfiguration tunnel{
            22, QStringLiteral("ssh"), false, net::Protocol::syslog, {QStringLiteral("/l"), true, true},
            QStringLiteral("fd00::/8, 10.0.0.5"), QStringLiteral("ca"), QStringLiteral("/etc/ssl/ca ü.pem"),
            QStringLiteral("SHA1:0A")};
        const config::AlertFields fields{QStringLiteral("/a.wav"), QStringLiteral("run"), "ERR\r\nWARN", true, true};
        const config::SavedAlert first = config::save_alert(QStringLiteral("tunnel"), QStringLiteral("disk"), fields, tunnel);
        QVERIFY(first.created && first.active);
        config::write_alert_active(QStringLiteral("tunnel"), QStringLiteral("DISK"), false);
        const config::SavedAlert again = config::save_alert(QStringLiteral("tunnel"), QStringLiteral("disk"), fields);
        QVERIFY(!again.created && !again.active);
        QCOMPARE(shown(config::read_alert(QStringLiteral("tunnel"), QStringLiteral("disk"))), shown(fields));
        QCOMPARE(shown(config::read_window_configuration(QStringLiteral("tunnel"), Reading::to_open)),
                 QStringLiteral("22|ssh|any|syslog|from fd00::/8, 10.0.0.5|tls ca /etc/ssl/ca ü.pem SHA1:0A"));
        QCOMPARE(config::read_window_choices(QStringLiteral("tunnel"))->log_file, QStringLiteral("/l"));
        QVERIFY(config::read_window_choices(QStringLiteral("tunnel"))->sender_addresses);
        QCOMPARE(config::read_config_names().value_or(QStringList()), (QStringList{web, QStringLiteral("tunnel")}));

        config::remove_alert(QStringLiteral("tunnel"), QStringLiteral("disk"));
        std::vector<config::StoredAlert> alerts;
        QVERIFY(config::read_alerts(QStringLiteral("tunnel"), alerts) && alerts.empty());
        QCOMPARE(outcome([] {
                     config::write_alert_active(QStringLiteral("tunnel"), QStringLiteral("disk"), true);
                     return QString();
                 }),
                 QStringLiteral("error: Konnte Daten für 'active' nicht setzen"));
        QVERIFY(config::remove_window_configuration(QStringLiteral("Tunnel")));
        QVERIFY(!config::remove_window_configuration(QStringLiteral("tunnel")));
        QVERIFY(!config::remove_window_configuration(QStringLiteral("\\\\")));

        config::write_global_options({true, 5});
        QCOMPARE(config::read_global_options().text_limit_mb, 5);
        config::record_open_windows({web, QStringLiteral("db"), web});
        config::record_open_windows({QStringLiteral("db"), web});
        QCOMPARE(config::read_recorded_windows(), (QStringList{QStringLiteral("db"), web}));
        // With the option cleared a quit keeps the old record, and reopening reads none.
        config::write_global_options({false, 0});
        config::record_open_windows({});
        QVERIFY(config::read_recorded_windows().isEmpty());
        QVERIFY(dump().contains(QStringLiteral("\\Software\\Tarnwheel\\vesmira\\OpenWindows|db=1")));
    }

    void names_and_titles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("names_none");
        QTest::addColumn<QString>("titles");
        QTest::newRow("a name") << "web 1" << false << "LOG: web 1|web 1";
        QTest::newRow("a blank") << " " << false << "LOG:  | ";
        QTest::newRow("empty") << "" << true << "LOG: |";
        QTest::newRow("backslashes only") << "\\\\" << true << "LOG: \\\\|\\\\";
    }
    void names_and_titles()
    {
        QFETCH(QString, name);
        QFETCH(bool, names_none);
        QFETCH(QString, titles);
        QCOMPARE(config::names_no_config(name), names_none);
        const config::WindowTitles saved = config::saved_window_titles(name);
        QCOMPARE(saved.caption + QLatin1Char('|') + saved.label, titles);
        // An unsaved window shows the port as the user gave it, blanks and all.
        const config::WindowTitles unsaved = config::unsaved_window_titles(QStringLiteral("80   "));
        QCOMPARE(unsaved.caption + QLatin1Char('|') + unsaved.label,
                 QStringLiteral("LOG: Receiving on port 80   |on port 80   , but not saved yet."));
        QVERIFY(config::same_name(QStringLiteral("Web-Ä"), QStringLiteral("wEB-Ä")));
        QVERIFY(!config::same_name(QStringLiteral("Web-Ä"), QStringLiteral("web-ä")));
    }

    void a_write_the_store_refuses_part_way_leaves_nothing_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("refused");
        QTest::newRow("the New window dialog's Save") << "save configuration" << "command";
        QTest::newRow("the first alert of an unsaved window") << "save alert" << "arrivaltimes";
        QTest::newRow("an alert saved again") << "save alert again" << "notify";
        QTest::newRow("a new alert's active") << "save alert" << "active";
        QTest::newRow("switching an alert") << "switch alert" << "active";
        QTest::newRow("the global options") << "options" << "MaxWindowTextMB";
        QTest::newRow("recording the open windows") << "record" << "db";
        QTest::newRow("a window's remembered choice") << "remember" << "logfile";
    }
    void a_write_the_store_refuses_part_way_leaves_nothing()
    {
        QFETCH(QString, action);
        QFETCH(QString, refused);
        const config::AlertFields fields{{}, QStringLiteral("old"), "ERR", true, false};
        config::write_window_configuration(web, {80, QStringLiteral("old"), false});
        config::save_alert(web, QStringLiteral("disk"), fields);
        config::write_global_options({true, 7});
        config::record_open_windows({web});
        const QStringList before = dump();

        // The database itself refuses to store that value after the action's earlier writes
        // went through.
        refuse_value(QByteArray::fromStdString(store::TRegistry::default_database_file()), refused);

        const config::WindowConfiguration changed{81, QStringLiteral("new"), true, net::Protocol::lines, {QStringLiteral("/l"), true}};
        const config::AlertFields new_fields{QStringLiteral("/a.wav"), QStringLiteral("new"), "WARN", false, true};
        const QString result = outcome([&] {
            if (action == "save configuration")
                config::write_window_configuration(web, changed);
            else if (action == "save alert")
                config::save_alert(QStringLiteral("tunnel"), QStringLiteral("net"), new_fields, changed);
            else if (action == "save alert again")
                config::save_alert(web, QStringLiteral("disk"), new_fields);
            else if (action == "switch alert")
                config::write_alert_active(web, QStringLiteral("disk"), false);
            else if (action == "options")
                config::write_global_options({false, 9});
            else if (action == "record")
                config::record_open_windows({QStringLiteral("db"), web});
            else
                config::remember_window_choice(web, &config::WindowChoices::log_file, QStringLiteral("/l"));
            return QString();
        });
        QCOMPARE(result, QStringLiteral("error: Konnte Daten für '%1' nicht setzen").arg(refused));
        QCOMPARE(dump(), before);
    }
};

QTEST_GUILESS_MAIN(TestConfig)
#include "test_config.moc"
