// The log file sink against real files: appending to what is there, the bounded buffer, and a
// sink stopped by a write error. Rotation and exact bytes are checked through the log window.

#include "logfile/log_file.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <string>

#include <sys/stat.h>

using logfile::LogFile;

class TestLogFileSink : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void appends_with_a_bounded_buffer()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("received.log"));
        LogFile created(path.toStdString());
        QVERIFY(created.open());
        struct stat made {};
        QCOMPARE(stat(QFile::encodeName(path).constData(), &made), 0);
        QCOMPARE(made.st_mode & 0777, 0644u);
        QVERIFY(created.add_line("kept"));
        QVERIFY(created.flush());

        LogFile log(path.toStdString());
        QVERIFY(log.open());
        const std::string line(99, 'x');
        const std::size_t lines = 3 * LogFile::flush_threshold / 100;
        for (std::size_t index = 0; index < lines; ++index) {
            QVERIFY(log.add_line(line));
            QVERIFY(log.buffered_bytes() <= LogFile::flush_threshold);
        }
        // The megabytes that passed the threshold went out without a flush of ours.
        QVERIFY(QFileInfo(path).size() >= qint64(2 * LogFile::flush_threshold));
        QVERIFY(log.flush());
        QFile written(path);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.read(5), QByteArray("kept\n"));
        QCOMPARE(std::size_t(written.size()), 5 + lines * 100);
    }

    void write_error_stops_it_for_good()
    {
        LogFile log("/dev/full");
        QVERIFY(log.open());
        QVERIFY(log.add_line("lost"));
        QVERIFY(!log.flush());
        QVERIFY(log.stopped());
        QCOMPARE(log.error(), std::string(std::strerror(ENOSPC)));
        QVERIFY(!log.add_line("dropped"));
        QCOMPARE(log.buffered_bytes(), 0u);
        QVERIFY(!log.flush());
        QVERIFY(!log.open());
    }
};

QTEST_GUILESS_MAIN(TestLogFileSink)
#include "test_log_file_sink.moc"
