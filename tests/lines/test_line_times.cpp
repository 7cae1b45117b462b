// Arrival times kept per line: they stay with their lines through every kind of edit, reach
// across any span of time, and cost about four bytes a line.

#include "lines/line_times.h"

#include <QtTest>

#include <random>
#include <vector>

using lines::ArrivalTime;
using lines::LineTimes;

class TestLineTimes : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Random edits against a plain list of times, reads from moments to years apart (beyond
    // what 32 bits of milliseconds reach from one base), the clock going back now and then.
    void edits_keep_every_time_with_its_line_data()
    {
        QTest::addColumn<ArrivalTime>("spread");
        QTest::newRow("one read after another") << ArrivalTime{50};
        QTest::newRow("years apart") << ArrivalTime{900} * 86'400'000;
    }
    void edits_keep_every_time_with_its_line()
    {
        QFETCH(ArrivalTime, spread);
        std::mt19937_64 random(7);
        const auto pick = [&](auto low, auto high) { return std::uniform_int_distribution<decltype(high)>(low, high)(random); };
        LineTimes times;
        std::vector<ArrivalTime> model;
        ArrivalTime now = 1'796'720'000'000;
        for (int step = 0; step < 3000; ++step) {
            now += pick(ArrivalTime{-spread / 10}, spread);
            const int count = static_cast<int>(model.size());
            const int index = pick(0, count);
            const int lines = pick(1, 5000);
            switch (pick(0, 5)) {
            case 0:  // a read
                times.append(lines, now);
                model.insert(model.end(), static_cast<std::size_t>(lines), now);
                break;
            case 4: {  // copies of lines from different reads
                const std::vector<ArrivalTime> copied(model.begin(), model.begin() + std::min(count, 30));
                times.append(copied);
                model.insert(model.end(), copied.begin(), copied.end());
                break;
            }
            case 1:  // a line grown
                if (index < count) {
                    times.set_time(index, now);
                    model[static_cast<std::size_t>(index)] = now;
                }
                break;
            case 2:
                times.insert_blank(index, lines);
                model.insert(model.begin() + index, static_cast<std::size_t>(lines), lines::no_arrival_time);
                break;
            case 3:
                times.erase(index, std::min(count - index, lines));
                model.erase(model.begin() + index, model.begin() + index + std::min(count - index, lines));
                break;
            default:
                times.drop_front(index / 2);
                model.erase(model.begin(), model.begin() + index / 2);
                break;
            }
            QCOMPARE(times.line_count(), static_cast<int>(model.size()));
            if (step % 50 == 0)
                for (int line = 0; line < times.line_count(); ++line)
                    QCOMPARE(times.time(line), model[static_cast<std::size_t>(line)]);
        }
        // A line per read, as a busy sender sends them.
        times.clear();
        for (int line = 0; line < 300'000; ++line)
            times.append(1, now + line);
        QVERIFY2(times.memory_bytes() <= std::size_t{300'000} * 41 / 10, qPrintable(QString::number(times.memory_bytes())));
        QCOMPARE(times.time(299'999), now + 299'999);
    }
};

QTEST_APPLESS_MAIN(TestLineTimes)
#include "test_line_times.moc"
