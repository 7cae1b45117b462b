// The log file sink against real files: bytes appended exactly, rotation followed, write
// errors stopping it, and the buffer kept bounded.

#include "logfile/log_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <string>

#include <sys/stat.h>

using logfile::LogFile;

namespace {

QByteArray contents(const QString& file)
{
    QFile in(file);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray("<missing>");
}

}  // namespace

class TestLogFileSink : public QObject {
    Q_OBJECT

private:
    QTemporaryDir folder;
    QString path;

private Q_SLOTS:
    void init()
    {
        path = folder.filePath(QStringLiteral("received.log"));
        QFile::remove(path);
    }

    void appends_lines_exactly_data()
    {
        QTest::addColumn<QByteArray>("existing");
        QTest::addColumn<QByteArrayList>("lines");
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("new file") << QByteArray() << QByteArrayList{"one", "two"} << QByteArray("one\ntwo\n");
        QTest::newRow("appends to what is there")
            << QByteArray("old\n") << QByteArrayList{"new"} << QByteArray("old\nnew\n");
        QTest::newRow("CR, tab and empty line kept") << QByteArray() << QByteArrayList{"a\r", "\tb", ""}
                                                     << QByteArray("a\r\n\tb\n\n");
        QTest::newRow("zero byte and invalid UTF-8") << QByteArray() << QByteArrayList{QByteArray("x\0y", 3), "\xff\xc3("}
                                                     << QByteArray("x\0y\n\xff\xc3(\n", 8);
    }
    void appends_lines_exactly()
    {
        QFETCH(QByteArray, existing);
        QFETCH(QByteArrayList, lines);
        QFETCH(QByteArray, file);
        if (!existing.isEmpty()) {
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(existing);
        }
        LogFile log(path.toStdString());
        QVERIFY(log.open());
        for (const QByteArray& line : lines)
            QVERIFY(log.add_line(std::string_view(line.constData(), std::size_t(line.size()))));
        // Buffered until flushed.
        QCOMPARE(contents(path), existing);
        QVERIFY(log.flush());
        QCOMPARE(contents(path), file);
        QCOMPARE(log.buffered_bytes(), 0u);
        struct stat made {};
        QCOMPARE(stat(QFile::encodeName(path).constData(), &made), 0);
        if (existing.isEmpty())
            QCOMPARE(made.st_mode & 0777, 0644u);
    }

    void follows_rotation_data()
    {
        QTest::addColumn<bool>("renamed");
        QTest::newRow("renamed") << true;
        QTest::newRow("removed") << false;
    }
    void follows_rotation()
    {
        QFETCH(bool, renamed);
        const QString archive = path + QStringLiteral(".1");
        QFile::remove(archive);
        LogFile log(path.toStdString());
        QVERIFY(log.open());
        QVERIFY(log.add_line("before"));
        QVERIFY(log.flush());
        QVERIFY(renamed ? QFile::rename(path, archive) : QFile::remove(path));
        QVERIFY(log.add_line("after"));
        QVERIFY(log.flush());
        QCOMPARE(contents(path), QByteArray("after\n"));
        if (renamed)
            QCOMPARE(contents(archive), QByteArray("before\n"));
        // The new file is the one written to from now on.
        QVERIFY(log.add_line("later"));
        QVERIFY(log.flush());
        QCOMPARE(contents(path), QByteArray("after\nlater\n"));
    }

    void write_errors_stop_it_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("opens");
        QTest::addColumn<QString>("reason");
        QTest::newRow("device full") << QStringLiteral("/dev/full") << true << QString::fromLatin1(strerror(ENOSPC));
        QTest::newRow("folder missing") << QStringLiteral("gone/received.log") << false
                                        << QString::fromLatin1(strerror(ENOENT));
        QTest::newRow("folder removed after rotation") << QStringLiteral("rotated/received.log") << true
                                                       << QString::fromLatin1(strerror(ENOENT));
    }
    void write_errors_stop_it()
    {
        QFETCH(QString, file);
        QFETCH(bool, opens);
        QFETCH(QString, reason);
        const QString full = QDir(folder.path()).filePath(file);
        QDir(folder.path()).mkpath(QStringLiteral("rotated"));
        LogFile log(full.toStdString());
        QCOMPARE(log.open(), opens);
        if (file.startsWith(QStringLiteral("rotated")))
            QVERIFY(QDir(folder.filePath(QStringLiteral("rotated"))).removeRecursively());
        if (opens) {
            QVERIFY(log.add_line("lost"));
            QVERIFY(!log.flush());
        }
        QVERIFY(log.stopped());
        QCOMPARE(QString::fromStdString(log.error()), reason);
        // Stopped for good: nothing is kept or written any more.
        QVERIFY(!log.add_line("dropped"));
        QCOMPARE(log.buffered_bytes(), 0u);
        QVERIFY(!log.flush());
        QVERIFY(!log.open());
    }

    void buffer_stays_bounded()
    {
        LogFile log(path.toStdString());
        QVERIFY(log.open());
        const std::string line(99, 'x');
        const std::size_t lines = 3 * LogFile::flush_threshold / 100;
        for (std::size_t index = 0; index < lines; ++index) {
            QVERIFY(log.add_line(line));
            QVERIFY(log.buffered_bytes() <= LogFile::flush_threshold);
        }
        // Everything but the last part went out without a flush of ours.
        QCOMPARE(std::size_t(QFileInfo(path).size()) + log.buffered_bytes(), lines * 100);
        QVERIFY(QFileInfo(path).size() >= qint64(2 * LogFile::flush_threshold));
        QVERIFY(log.flush());
        QCOMPARE(std::size_t(QFileInfo(path).size()), lines * 100);
    }
};

QTEST_GUILESS_MAIN(TestLogFileSink)
#include "test_log_file_sink.moc"
