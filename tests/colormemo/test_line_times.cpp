// Arrival times kept per line: they stay with their lines through every kind of edit, reach
// across any span of time, and cost about four bytes a line.

#include "colormemo/line_times.h"

#include <QtTest>

#include <random>
#include <vector>

using colormemo::ArrivalTime;
using colormemo::LineTimes;
using colormemo::no_arrival_time;

namespace {

constexpr ArrivalTime day_ms = 24LL * 60 * 60 * 1000;
// 2026-12-08, a little after nine.
constexpr ArrivalTime morning = 1'796'720'000'000;

QList<ArrivalTime> all_times(const LineTimes& times)
{
    QList<ArrivalTime> result;
    for (int index = 0; index < times.line_count(); ++index)
        result.append(times.time(index));
    return result;
}

}  // namespace

class TestLineTimes : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Random edits against a plain list of times, with times from moments apart to years apart
    // (beyond what 32 bits of milliseconds reach from one base) and going back as well.
    void edits_keep_every_time_with_its_line_data()
    {
        QTest::addColumn<ArrivalTime>("spread");
        QTest::newRow("one read after another") << ArrivalTime{50};
        QTest::newRow("days apart") << 20 * day_ms;
        QTest::newRow("years apart") << 900 * day_ms;
    }
    void edits_keep_every_time_with_its_line()
    {
        QFETCH(ArrivalTime, spread);
        std::mt19937_64 random(7);
        const auto pick = [&](auto low, auto high) {
            return std::uniform_int_distribution<decltype(high)>(low, high)(random);
        };
        LineTimes times;
        std::vector<ArrivalTime> model;
        ArrivalTime now = morning;
        for (int step = 0; step < 3000; ++step) {
            now += pick(ArrivalTime{-spread / 10}, spread);
            const int count = static_cast<int>(model.size());
            switch (pick(0, 6)) {
            case 0:
            case 1: {
                const int added = pick(1, 3000);
                times.append(added, now);
                model.insert(model.end(), static_cast<std::size_t>(added), now);
                break;
            }
            case 2: {
                std::vector<ArrivalTime> copied(static_cast<std::size_t>(pick(1, 40)));
                for (ArrivalTime& time : copied)
                    time = pick(0, 3) == 0 ? no_arrival_time : now - pick(ArrivalTime{0}, 5 * spread);
                times.append(copied);
                model.insert(model.end(), copied.begin(), copied.end());
                break;
            }
            case 3:
                if (count > 0) {
                    const int index = pick(count - 3 > 0 ? count - 3 : 0, count - 1);
                    times.set_time(index, now);
                    model[static_cast<std::size_t>(index)] = now;
                }
                break;
            case 4: {
                const int index = pick(0, count);
                const int added = pick(1, 9000);
                times.insert_blank(index, added);
                model.insert(model.begin() + index, static_cast<std::size_t>(added), no_arrival_time);
                break;
            }
            case 5: {
                const int index = pick(0, count);
                const int removed = pick(0, std::min(count - index, 5000));
                times.erase(index, removed);
                model.erase(model.begin() + index, model.begin() + index + removed);
                break;
            }
            default: {
                const int dropped = pick(0, count / 2);
                times.drop_front(dropped);
                model.erase(model.begin(), model.begin() + dropped);
                break;
            }
            }
            QCOMPARE(times.line_count(), static_cast<int>(model.size()));
            if (step % 50 == 0 || step == 2999)
                QCOMPARE(all_times(times), QList<ArrivalTime>(model.begin(), model.end()));
        }
        times.clear();
        QCOMPARE(times.line_count(), 0);
        QCOMPARE(times.memory_bytes(), std::size_t{0});
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, times.time(0));
    }

    // A line per read, as a busy sender sends them, and a scrollback limit dropping the oldest
    // (the run they were dropped from keeps its memory until its last line goes).
    void a_line_costs_about_four_bytes()
    {
        LineTimes times;
        for (int line = 0; line < 200'000; ++line)
            times.append(1, morning + line * 3);
        times.drop_front(150'000);
        for (int line = 0; line < 150'000; ++line)
            times.append(1, morning + 40 * day_ms + line);
        const double per_line = static_cast<double>(times.memory_bytes()) / times.line_count();
        QVERIFY2(per_line <= 4.2, qPrintable(QString::number(per_line)));
        QCOMPARE(times.time(0), morning + 150'000 * 3);
        QCOMPARE(times.time(times.line_count() - 1), morning + 40 * day_ms + 149'999);
    }
};

QTEST_GUILESS_MAIN(TestLineTimes)
#include "test_line_times.moc"
