// The alert set without a window: saving, toggling, removing and loading against a real store
// in a temporary folder, a store that refuses a write part way through a save, and which words
// the highlight list holds after each action.

#include "alerts/alert_set.h"
#include "colormemo/colorrule.h"
#include "refused_value.h"
#include "store/store_paths.h"
#include "store/tregistry.h"

#include <QTemporaryDir>
#include <QtTest>

using config::AlertFields;
using alerts::AlertSet;

namespace {

// The text view's keyword list with its own equality rules; counts finished batches.
class Keywords final : public alerts::HighlightList {
public:
    std::vector<std::string> list;
    int batches = 0;
    void add_keyword(std::string_view word) override { colormemo::add_keyword(list, word); }
    void blank_keyword(std::string_view word) override { colormemo::blank_keyword(list, word); }
    void keywords_changed() override { ++batches; }
};

AlertFields fields(const char* catchwords, const char* command = "")
{
    return {QStringLiteral("/no/such.wav"), QString::fromUtf8(command), catchwords, true};
}

std::string stored(const std::string& key, const std::string& name)
{
    store::TRegistry registry;
    return registry.OpenKey(key, false) ? registry.ReadString(name) : "<no key>";
}

QStringList names(const AlertSet& set)
{
    QStringList list;
    for (std::size_t index = 0; index < set.size(); ++index)
        list.append(set[index].name + (set[index].active ? "+" : "-"));
    return list;
}

QString error_of(const std::function<void()>& body)
{
    try {
        body();
    } catch (const store::ERegistryException& error) {
        return QString::fromUtf8(error.what());
    }
    return {};
}

}  // namespace

class TestAlertSet : public QObject {
    Q_OBJECT

    std::optional<QTemporaryDir> folder;
    const QString web = QStringLiteral("web");

    QString database() const { return folder->filePath(QStringLiteral("config/Tarnwheel/vesmira/registry.db")); }

private Q_SLOTS:
    void init()
    {
        folder.emplace();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder->filePath(QStringLiteral("config"))));
    }

    void highlight_list_follows_the_alerts_data()
    {
        // Steps, ';' between them: "save NAME WORD|WORD", "off NAME", "on NAME", "remove NAME",
        // "load" (a fresh load of the store into the same set).
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QStringList>("keywords");
        QTest::newRow("saving an active alert adds its words") << "save disk full|ERR" << QStringList{"full", "ERR"};
        QTest::newRow("re-saving blanks the old words, then adds")
            << "save disk full|ERR; save disk ERR|WARN" << QStringList{"", "", "ERR", "WARN"};
        QTest::newRow("deactivating blanks, activating appends")
            << "save disk ERR; off disk; on disk" << QStringList{"", "ERR"};
        QTest::newRow("words differing in case share one entry")
            << "save upper ERR; save lower err; off lower" << QStringList{""};
        QTest::newRow("an inactive alert's save adds nothing")
            << "save disk ERR; off disk; save disk ERR|fatal" << QStringList{""};
        QTest::newRow("removing leaves the words") << "save disk ERR; remove disk" << QStringList{"ERR"};
        QTest::newRow("loading blanks nothing and adds no inactive alert's words")
            << "save disk ERR; save net down; off net; load" << QStringList{"ERR", ""};
        QTest::newRow("empty lines stay entries") << "save disk ERR||x" << QStringList{"ERR", "", "x"};
    }
    void highlight_list_follows_the_alerts()
    {
        QFETCH(QString, steps);
        QFETCH(QStringList, keywords);
        Keywords list;
        AlertSet set(list);
        int batches = 0;
        for (const QString& step : steps.split(QLatin1Char(';'))) {
            const QStringList words = step.trimmed().split(QLatin1Char(' '));
            if (words[0] == "save")
                set.save(web, words[1], fields(QString(words[2]).replace('|', "\r\n").toUtf8().constData()));
            else if (words[0] == "off" || words[0] == "on")
                set.set_active(web, words[1], words[0] == "on");
            else if (words[0] == "remove")
                set.remove(web, words[1]);
            else
                QVERIFY(set.load(web));
            // Every action but a removal ends with one batch the view takes up.
            batches += words[0] == "remove" ? 0 : 1;
        }
        QStringList shown;
        for (const std::string& word : list.list)
            shown.append(QString::fromStdString(word));
        QCOMPARE(shown, keywords);
        QCOMPARE(list.batches, batches);
    }

    void save_toggle_remove_and_load_against_the_store()
    {
        Keywords list;
        AlertSet set(list);
        QVERIFY(!set.load(web));  // nothing stored: nothing changes
        QVERIFY(set.save(web, QStringLiteral("disk"), fields("full\r\nERR", "run disk")));
        QVERIFY(!set.save(web, QStringLiteral("DISK"), fields("ERR\r\nWARN", "run disk")));  // the same alert
        QVERIFY(set.save(web, QStringLiteral("net"), {{}, {}, "down", false}));
        QCOMPARE(names(set), (QStringList{"DISK+", "net+"}));
        const std::string disk = store::alert_key("web", "disk");
        QCOMPARE(stored(disk, "catchwords"), std::string("ERR\r\nWARN"));
        QCOMPARE(stored(disk, "sound"), std::string("/no/such.wav"));

        // Matching: every matching entry of the active alerts, alert by alert, in list order.
        std::vector<alerts::AlertActions> actions = set.check_line("WARN down ERR");
        QCOMPARE(actions.size(), std::size_t(3));
        QCOMPARE(actions[0].command, QStringLiteral("run disk"));
        QVERIFY(actions[0].color_titlebar && !actions[2].color_titlebar);
        set.set_active(web, QStringLiteral("disk"), false);
        QCOMPARE(set.check_line("WARN down ERR").size(), std::size_t(1));
        {
            store::TRegistry registry;
            QVERIFY(registry.OpenKey(disk, false));
            QVERIFY(!registry.ReadBool("active"));
        }

        // A second window of the same configuration loads what the first saved, in store order.
        Keywords other_list;
        AlertSet other(other_list);
        QVERIFY(other.load(web));
        QCOMPARE(names(other), (QStringList{"disk-", "net+"}));
        QCOMPARE(other[0].catchwords, (std::vector<std::string>{"ERR", "WARN"}));
        const AlertFields read = other.read(web, QStringLiteral("net"));
        QCOMPARE(read.catchwords, std::string("down"));
        QVERIFY(!read.color_titlebar);

        set.remove(web, QStringLiteral("Disk"));
        QCOMPARE(names(set), QStringList{"net+"});
        QCOMPARE(stored(disk, "catchwords"), std::string("<no key>"));
        QVERIFY(set.check_line("ERR").empty());
        set.remove(web, QStringLiteral("net"));
        QVERIFY(set.empty());
        QVERIFY(set.load(web));  // the alerts key stays, empty
        QVERIFY(set.empty());
    }

    void values_an_older_build_didnt_write_read_as_before_and_new_ones_round_trip()
    {
        {
            // An alert as a build before "notify" and the conditions wrote it.
            store::TRegistry registry;
            QVERIFY(registry.OpenKey(store::alert_key("web", "old"), true));
            registry.WriteString("catchwords", "OLD");
            registry.WriteBool("color_titlebar", true);
            registry.WriteBool("active", true);
        }
        Keywords list;
        AlertSet set(list);
        QVERIFY(set.load(web));
        AlertFields old;
        old.catchwords = "OLD";
        old.color_titlebar = true;
        QVERIFY(set.read(web, QStringLiteral("old")) == old);
        QCOMPARE(set[0].conditions, alerts::AlertConditions{});
        AlertFields loud = fields("LOUD.*");
        loud.notify = true;
        loud.regex = true;
        loud.min_severity = 3;
        loud.burst_count = 5;
        loud.burst_seconds = 30;
        loud.silence = 93'600;
        set.save(web, QStringLiteral("loud"), loud);
        QVERIFY(set.read(web, QStringLiteral("loud")) == loud);
        store::TRegistry registry;
        QVERIFY(registry.OpenKey(store::alert_key("web", "loud"), false));
        QCOMPARE(registry.ReadInteger("minseverity"), 3);
        QCOMPARE(registry.ReadInteger("silence"), 93'600);
        // Expressions aren't highlighted.
        QCOMPARE(list.list, std::vector<std::string>{"OLD"});
        const std::vector<alerts::AlertActions> actions = set.check_line("OLD LOUD", {0, 3});
        QCOMPARE(actions.size(), std::size_t(1));
        QVERIFY(!actions[0].notify);
    }

    void a_save_the_store_refuses_part_way_leaves_nothing_data()
    {
        QTest::addColumn<QString>("refused");
        QTest::addColumn<bool>("resave_fails");
        QTest::newRow("the configuration's command") << "command" << true;
        QTest::newRow("the catchwords") << "catchwords" << true;
        QTest::newRow("the last write, active") << "active" << false;
    }
    void a_save_the_store_refuses_part_way_leaves_nothing()
    {
        QFETCH(QString, refused);
        QFETCH(bool, resave_fails);
        Keywords list;
        AlertSet set(list);
        set.save(web, QStringLiteral("disk"), fields("ERR", "old"));
        const std::vector<std::string> keywords_before = list.list;

        // The database itself refuses to store that value, as a full disk or a foreign hand
        // would, after the save's earlier writes went through.
        refuse_value(QFile::encodeName(database()), refused);
        const QString message = QStringLiteral("Konnte Daten für '%1' nicht setzen").arg(refused);

        // The first alert of an unsaved window: neither the configuration nor the alert stays.
        QCOMPARE(error_of([&] {
                     set.save(QStringLiteral("tunnel"), QStringLiteral("net"), fields("down", "new"),
                              config::WindowConfiguration{8080, QStringLiteral("ssh host")});
                 }),
                 message);
        QVERIFY(!store::TRegistry().OpenKey(store::config_key("tunnel"), false));

        // An existing alert saved again: the old one stays whole, in the store and in memory.
        QCOMPARE(error_of([&] { set.save(web, QStringLiteral("disk"), fields("WARN", "new")); }),
                 resave_fails ? message : QString());
        const std::string disk = store::alert_key("web", "disk");
        QCOMPARE(stored(disk, "command"), std::string(resave_fails ? "old" : "new"));
        QCOMPARE(stored(disk, "catchwords"), std::string(resave_fails ? "ERR" : "WARN"));
        QCOMPARE(set[0].command, resave_fails ? QStringLiteral("old") : QStringLiteral("new"));
        QCOMPARE(names(set), QStringList{"disk+"});
        if (resave_fails)
            QCOMPARE(list.list, keywords_before);
    }

    void a_broken_alert_ends_loading_with_those_before_it_loaded()
    {
        {
            store::TRegistry registry;
            QVERIFY(registry.OpenKey(store::alert_key("web", "good"), true));
            registry.WriteString("catchwords", "ERR");
            registry.WriteBool("color_titlebar", true);
            registry.WriteBool("active", true);
            // Written by other means than a save: no "active".
            QVERIFY(registry.OpenKey(store::alert_key("web", "broken"), true));
            registry.WriteBool("color_titlebar", true);
        }
        Keywords list;
        AlertSet set(list);
        QCOMPARE(error_of([&] { set.load(web); }), QStringLiteral("Konnte Daten für 'active' nicht holen"));
        QCOMPARE(names(set), QStringList{"good+"});
        QCOMPARE(list.list, std::vector<std::string>{"ERR"});
        QCOMPARE(list.batches, 1);
    }
};

QTEST_GUILESS_MAIN(TestAlertSet)
#include "test_alert_set.moc"
