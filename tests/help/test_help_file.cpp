// The compiled help file built with the program: its context map, its topics and its
// contents page, read the way the viewer reads them.

#include "help/chm_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using help::ChmFile;

class TestHelpFile : public QObject {
    Q_OBJECT

    QString chm_path() const { return QDir(QCoreApplication::applicationDirPath()).filePath("vesmira.chm"); }

    static QString title_of(const QByteArray& html)
    {
        const auto match = QRegularExpression("<title>(.*)</title>").match(QString::fromUtf8(html));
        return match.captured(1);
    }

private slots:
    void every_context_resolves_to_its_topic_data()
    {
        QTest::addColumn<int>("context");
        QTest::addColumn<QString>("topic");
        QTest::addColumn<QString>("title");
        QTest::newRow("contents") << 1000 << "/contents.htm" << "Vesmira Help";
        QTest::newRow("new action") << 1001 << "/new_action.htm" << "Opening a log window";
        QTest::newRow("frame") << 1400 << "/main_window.htm" << "The main window";
        QTest::newRow("new window dialog") << 1500 << "/new_window_dialog.htm" << "The New window dialog";
        QTest::newRow("global options") << 1600 << "/global_options.htm" << "Global options";
        QTest::newRow("save configuration") << 1700 << "/save_configuration.htm" << "Saving a window configuration";
        QTest::newRow("log window") << 1800 << "/log_window.htm" << "The log window";
        QTest::newRow("alert tab") << 1900 << "/alert_tab.htm" << "The Alert tab";
        QTest::newRow("find bar") << 2000 << "/find_and_filter.htm" << "Find and filter";
        QTest::newRow("syslog") << 2100 << "/syslog.htm" << "Receiving syslog";
    }
    void every_context_resolves_to_its_topic()
    {
        QFETCH(int, context);
        QFETCH(QString, topic);
        QFETCH(QString, title);
        ChmFile file(chm_path());
        QVERIFY2(file.is_open(), qPrintable(chm_path()));
        QCOMPARE(file.topic_for_context(context), topic);
        const auto html = file.read(topic);
        QVERIFY(html.has_value());
        QCOMPARE(title_of(*html), title);
    }

    void the_map_holds_exactly_the_program_contexts()
    {
        ChmFile file(chm_path());
        QCOMPARE(file.context_map().keys(), (QList<int>{1000, 1001, 1400, 1500, 1600, 1700, 1800, 1900, 2000, 2100}));
        QCOMPARE(file.default_topic(), QString("/contents.htm"));
        QCOMPARE(file.title(), QString("Vesmira Help"));
        QVERIFY(file.topic_for_context(0).isEmpty());
        QVERIFY(file.topic_for_context(1401).isEmpty());
        QVERIFY(!file.read("/no_such_topic.htm").has_value());
    }

    // Every link in every topic leads to a topic the file holds.
    void links_between_topics_resolve()
    {
        ChmFile file(chm_path());
        const QRegularExpression link("href=\"([^\"#:]+)");
        for (const QString& topic : file.context_map()) {
            const QString html = QString::fromUtf8(*file.read(topic));
            for (auto it = link.globalMatch(html); it.hasNext();) {
                const QString target = "/" + it.next().captured(1);
                QVERIFY2(file.contains(target), qPrintable(topic + " -> " + target));
            }
        }
    }

    void files_that_are_not_help_files_open_as_nothing_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("create");
        QTest::newRow("missing") << QByteArray() << false;
        QTest::newRow("empty") << QByteArray() << true;
        QTest::newRow("text") << QByteArray("<html>not compiled</html>") << true;
    }
    void files_that_are_not_help_files_open_as_nothing()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, create);
        QTemporaryDir dir;
        const QString path = dir.filePath("broken.chm");
        if (create) {
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(content);
        }
        ChmFile file(path);
        QVERIFY(!file.is_open());
        QVERIFY(file.context_map().isEmpty());
        QVERIFY(file.default_topic().isEmpty());
        QVERIFY(!file.read("/contents.htm").has_value());
    }

    // A file cut short must not crash the reader, and a topic it still returns is complete.
    void a_truncated_file_is_read_safely()
    {
        QFile original(chm_path());
        QVERIFY(original.open(QIODevice::ReadOnly));
        const QByteArray bytes = original.readAll();
        QTemporaryDir dir;
        for (const qsizetype length : {qsizetype{100}, bytes.size() / 3, bytes.size() / 2, bytes.size() - 100}) {
            const QString path = dir.filePath(QString("cut%1.chm").arg(length));
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(bytes.left(length));
            out.close();
            ChmFile file(path);
            ChmFile whole(chm_path());
            for (const QString& topic : file.context_map()) {
                if (const auto html = file.read(topic))
                    QCOMPARE(*html, *whole.read(topic));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestHelpFile)
#include "test_help_file.moc"
