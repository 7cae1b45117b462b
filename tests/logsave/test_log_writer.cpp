// Saving a real line store: the file holds exactly the stored bytes, in any number of slices;
// a save that fails or is cancelled leaves no file and an old file as it was.

#include "logsave/log_writer.h"

#include "lines/line_store.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <string>
#include <sys/resource.h>
#include <vector>

using Store = lines::LineStore;
using Writer = logsave::LogWriter<Store>;
using logsave::TextPlace;

Q_DECLARE_METATYPE(std::vector<std::string>)
Q_DECLARE_METATYPE(std::vector<std::size_t>)

namespace {

void fill(Store& store, const std::vector<std::string>& lines)
{
    for (const std::string& line : lines)
        store.append_line(line);
}

// Generated lines of about 60 bytes, numbered so that a line out of place shows.
std::vector<std::string> numbered_lines(int count)
{
    std::vector<std::string> lines;
    for (int n = 0; n < count; ++n)
        lines.push_back("line " + std::to_string(n) + "\tsome text that fills the line up\r");
    return lines;
}

std::string joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + '\n';
    return text;
}

QByteArray file_bytes(const QString& name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Steps until the save ends; slices of `slice` (zero: a single batch of lines at a time).
bool run(Writer& writer, std::chrono::milliseconds slice = std::chrono::milliseconds(4))
{
    for (int steps = 0; steps < 10'000'000; ++steps)
        if (writer.step(Writer::Clock::now() + slice))
            return writer.done();
    return false;
}

// A line of `length` bytes, its place in it showing every 1,000 bytes.
std::string long_line(std::size_t length)
{
    std::string line(length, '.');
    for (std::size_t at = 0; at + 12 <= length; at += 1000)
        line.replace(at, 12, std::to_string(100'000'000'000 + at));
    return line;
}

}  // namespace

class TestLogWriter : public QObject {
    Q_OBJECT

private:
    QTemporaryDir folder;
    QString path(const char* name) const { return folder.filePath(QString::fromLatin1(name)); }

    void write_old_file(const QString& name)
    {
        QFile old(name);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old contents\n");
    }
    // No file of the save remains but an old one, if any.
    void check_nothing_left(const QString& name, const QByteArray& old_contents)
    {
        QCOMPARE(file_bytes(name), old_contents);
        const QStringList left = QDir(QFileInfo(name).path()).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(left.size(), old_contents.isEmpty() ? 0 : 1);
    }

private slots:
    void writesStoredBytes_data()
    {
        QTest::addColumn<std::vector<std::string>>("lines");
        QTest::addColumn<qint64>("from_line");
        QTest::addColumn<int>("from_byte");
        QTest::addColumn<qint64>("to_line");
        QTest::addColumn<int>("to_byte");
        QTest::addColumn<bool>("whole_lines");
        QTest::addColumn<QByteArray>("expected");

        const std::vector<std::string> odd = {"crlf\r", "tab\there", std::string("bad \xff\xfe utf-8 \xc3"), "ü ok"};
        QTest::newRow("every line, bytes as stored")
            << odd << qint64(0) << 0 << qint64(4) << 0 << true
            << QByteArray("crlf\r\ntab\there\nbad \xff\xfe utf-8 \xc3\n\xc3\xbc ok\n");
        QTest::newRow("some lines") << odd << qint64(1) << 0 << qint64(3) << 0 << true
                                    << QByteArray("tab\there\nbad \xff\xfe utf-8 \xc3\n");
        QTest::newRow("empty store") << std::vector<std::string>{} << qint64(0) << 0 << qint64(0) << 0 << true
                                     << QByteArray();
        QTest::newRow("selection across lines") << odd << qint64(0) << 2 << qint64(2) << 5 << false
                                                << QByteArray("lf\r\ntab\there\nbad \xff");
        QTest::newRow("selection within a line") << odd << qint64(1) << 1 << qint64(1) << 6 << false
                                                 << QByteArray("ab\the");
        QTest::newRow("selection ending at a line's start")
            << odd << qint64(1) << 4 << qint64(2) << 0 << false << QByteArray("here\n");
        QTest::newRow("selection to the end of the last line")
            << odd << qint64(3) << 0 << qint64(3) << 5 << false << QByteArray("\xc3\xbc ok");
    }
    void writesStoredBytes()
    {
        QFETCH(std::vector<std::string>, lines);
        QFETCH(qint64, from_line);
        QFETCH(int, from_byte);
        QFETCH(qint64, to_line);
        QFETCH(int, to_byte);
        QFETCH(bool, whole_lines);
        QFETCH(QByteArray, expected);

        // Lines are numbered as the store counts them, not by their index.
        Store store;
        fill(store, {"dropped"});
        store.drop_first_lines(1);
        fill(store, lines);
        const QString name = path("saved.log");
        write_old_file(name);
        Writer writer = whole_lines ? Writer::lines(store, name, from_line + 1, to_line + 1)
                                    : Writer::text(store, name, TextPlace{from_line + 1, std::size_t(from_byte)},
                                                   TextPlace{to_line + 1, std::size_t(to_byte)});
        QVERIFY2(run(writer), qPrintable(writer.error()));
        QCOMPARE(file_bytes(name), expected);
        QCOMPARE(writer.lines_done(), writer.lines_total());
        QCOMPARE(writer.bytes_written(), std::uint64_t(expected.size()));
    }

    // Lines longer than the buffers, or ending right at a buffer's end: a slice that ends at
    // once ends inside the first long line, saved lines number `unfinished` and on, and the
    // file is the text as stored.
    void longLinesGoInPieces_data()
    {
        QTest::addColumn<std::vector<std::size_t>>("lengths");
        QTest::addColumn<bool>("numbered");
        QTest::addColumn<qint64>("from_byte");
        QTest::addColumn<qint64>("to_byte");
        QTest::addColumn<qint64>("unfinished");

        constexpr std::size_t buffer = logsave::FileSink::buffer_bytes;
        constexpr std::size_t hundred_mb = 100'000'000;
        QTest::newRow("a 100 MB line between short ones") << std::vector<std::size_t>{6, hundred_mb, 5} << false
                                                           << qint64(-1) << qint64(-1) << qint64(1);
        QTest::newRow("selection within a 100 MB line") << std::vector<std::size_t>{6, hundred_mb, 5} << false
                                                         << qint64(10) << qint64(hundred_mb - 10) << qint64(0);
        QTest::newRow("a line feed as a buffer's first byte")
            << std::vector<std::size_t>{buffer, 3} << false << qint64(-1) << qint64(-1) << qint64(0);
        // "1:" and a line of buffer - 4 and its feed leave one byte for the next "2:".
        QTest::newRow("a line number across a buffer's end")
            << std::vector<std::size_t>{buffer - 4, 3, buffer + 1} << true << qint64(-1) << qint64(-1) << qint64(0);
    }
    void longLinesGoInPieces()
    {
        QFETCH(std::vector<std::size_t>, lengths);
        QFETCH(bool, numbered);
        QFETCH(qint64, from_byte);
        QFETCH(qint64, to_byte);
        QFETCH(qint64, unfinished);

        Store store;
        std::string expected;
        for (const std::size_t length : lengths) {
            store.append_line(long_line(length));
            const std::int64_t number = store.line_count();
            if (numbered)
                expected += std::to_string(number) + ':';
            expected += store.line_view(store.line_count() - 1);
            expected += '\n';
        }
        const QString name = path("long.log");
        const bool selection = from_byte >= 0;
        Writer writer = selection ? Writer::text(store, name, TextPlace{1, std::size_t(from_byte)},
                                                 TextPlace{1, std::size_t(to_byte)})
                                  : Writer::lines(store, name, 0, store.line_count());
        if (selection)
            expected = expected.substr(lengths[0] + 1 + std::size_t(from_byte), std::size_t(to_byte - from_byte));
        if (numbered)
            writer.set_line_prefix([](std::int64_t number, std::string& out) { out = std::to_string(number + 1) + ':'; });
        QVERIFY(!writer.step(Writer::Clock::now()));
        QCOMPARE(writer.lines_done(), unfinished);
        QVERIFY2(run(writer, std::chrono::milliseconds(0)), qPrintable(writer.error()));
        QVERIFY(file_bytes(name) == QByteArray::fromStdString(expected));
    }

    // Many buffers' worth, in the smallest slices, while lines keep arriving and old ones
    // beyond what is saved are dropped: the file is the lines asked for, in order.
    void largeSaveInSlicesWhileTheStoreChanges()
    {
        const std::vector<std::string> lines = numbered_lines(300'000);
        Store store;
        fill(store, {"dropped soon", "and this"});
        fill(store, lines);
        const QString name = path("large.log");
        Writer writer = Writer::lines(store, name, 2, store.first_line_number() + store.line_count());
        int steps = 0;
        while (!writer.step(Writer::Clock::now())) {
            if (++steps == 1)
                store.drop_first_lines(2);
            store.append_line("arrived meanwhile");
        }
        QVERIFY2(writer.done(), qPrintable(writer.error()));
        QVERIFY(steps > 10);
        QCOMPARE(file_bytes(name), QByteArray::fromStdString(joined(lines)));
    }

    void droppedLinesFailTheSave()
    {
        Store store;
        fill(store, numbered_lines(200'000));
        const QString name = path("dropped.log");
        write_old_file(name);
        Writer writer = Writer::lines(store, name, 0, store.line_count());
        QVERIFY(!writer.step(Writer::Clock::now()));
        QVERIFY(writer.lines_done() > 0 && writer.lines_done() < 150'000);
        store.drop_first_lines(150'000);
        QVERIFY(writer.step(Writer::Clock::now() + std::chrono::seconds(1)));
        QVERIFY(!writer.done());
        QCOMPARE(writer.error(), logsave::dropped_lines_error);
        check_nothing_left(name, "old contents\n");
    }

    void cancelLeavesNothing()
    {
        Store store;
        fill(store, numbered_lines(200'000));
        const QString name = path("cancelled.log");
        write_old_file(name);
        Writer writer = Writer::lines(store, name, 0, store.line_count());
        // Cancelled half way, with the first buffer in the file.
        QTRY_VERIFY((writer.step(Writer::Clock::now()), writer.bytes_written() > 0));
        QVERIFY(writer.lines_done() < writer.lines_total());
        writer.cancel();
        QVERIFY(writer.step(Writer::Clock::now()));
        QVERIFY(writer.failed());
        check_nothing_left(name, "old contents\n");

        // Once every line is handed over, the file is committed whatever comes.
        Store small;
        fill(small, {"all of it"});
        Writer late = Writer::lines(small, name, 0, 1);
        late.step(Writer::Clock::now() + std::chrono::seconds(1));
        late.cancel();
        QVERIFY2(run(late), qPrintable(late.error()));
        QCOMPARE(file_bytes(name), QByteArray("all of it\n"));
    }

    void folderThatDoesNotExist()
    {
        Store store;
        fill(store, {"a line"});
        Writer writer = Writer::lines(store, path("no such folder/saved.log"), 0, 1);
        QVERIFY(writer.step(Writer::Clock::now()));
        QVERIFY(writer.failed());
        QVERIFY(!writer.error().isEmpty());
        QVERIFY(!QFileInfo::exists(path("no such folder")));
    }

    // A write that fails half way (the file size limit stands in for a full disk, and holds
    // for root too): the system's reason, and the old file as it was.
    void failureMidSave()
    {
        rlimit old_limit{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
        const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_limit;
        limit.rlim_cur = 6 << 20;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);

        Store store;
        fill(store, numbered_lines(300'000));
        QTemporaryDir own_folder;
        const QString name = own_folder.filePath(QStringLiteral("full.log"));
        write_old_file(name);
        Writer writer = Writer::lines(store, name, 0, store.line_count());
        const bool saved = run(writer);
        setrlimit(RLIMIT_FSIZE, &old_limit);
        std::signal(SIGXFSZ, old_handler);

        QVERIFY(!saved);
        QCOMPARE(writer.error(), QStringLiteral("File too large"));
        check_nothing_left(name, "old contents\n");
    }

    void cleanup()
    {
        for (const QString& name : QDir(folder.path()).entryList(QDir::Files | QDir::Hidden))
            QFile::remove(folder.filePath(name));
    }
};

QTEST_GUILESS_MAIN(TestLogWriter)
#include "test_log_writer.moc"
