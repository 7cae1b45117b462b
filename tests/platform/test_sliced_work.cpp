// Sliced work: slices until the step is done, cancelled, resumed or restarted from within a
// slice, and when its progress is due.

#include "platform/sliced_work.h"

#include <QtTest>

#include <thread>
#include <vector>

using platform::SlicedWork;
using namespace std::chrono_literals;

class TestSlicedWork : public QObject {
    Q_OBJECT

private slots:
    void runs_slices_data();
    void runs_slices();
    void progress_due_after_delay();
};

void TestSlicedWork::runs_slices_data()
{
    QTest::addColumn<int>("done_after");  // the step is done in this slice
    QTest::addColumn<int>("act_in");      // the slice that acts on the work (0: none)
    QTest::addColumn<QString>("action");  // "cancel", "resume" or "restart"
    QTest::addColumn<int>("steps");
    QTest::addColumn<int>("sliced");
    QTest::addColumn<int>("finished");

    QTest::newRow("three slices") << 3 << 0 << QString() << 3 << 3 << 1;
    QTest::newRow("cancelled in its second slice") << 5 << 2 << "cancel" << 2 << 1 << 0;
    QTest::newRow("cancelled in its last slice") << 2 << 2 << "cancel" << 2 << 1 << 0;
    QTest::newRow("resumed in its last slice") << 2 << 2 << "resume" << 3 << 3 << 1;
    QTest::newRow("restarted in its second slice") << 3 << 2 << "restart" << 3 << 2 << 1;
}

void TestSlicedWork::runs_slices()
{
    QFETCH(int, done_after);
    QFETCH(int, act_in);
    QFETCH(QString, action);
    int steps = 0;
    bool within_slice_time = true;
    SlicedWork* self = nullptr;
    SlicedWork work([&](SlicedWork::Clock::time_point deadline) {
        within_slice_time = within_slice_time && deadline - SlicedWork::Clock::now() <= SlicedWork::slice_time;
        if (++steps == act_in) {
            if (action == QLatin1String("resume")) {
                self->resume();
            } else {
                self->cancel();
                if (action == QLatin1String("restart"))
                    self->start();
            }
        }
        return steps >= done_after;
    });
    self = &work;
    int sliced = 0;
    int finished = 0;
    bool running_when_finished = false;
    connect(&work, &SlicedWork::sliced, this, [&] { ++sliced; });
    connect(&work, &SlicedWork::finished, this, [&] {
        ++finished;
        running_when_finished = running_when_finished || work.running();
    });
    work.start();
    // Nothing runs before the event loop has its turn.
    QCOMPARE(steps, 0);
    QTRY_VERIFY(!work.running());
    QTest::qWait(20);
    QTEST(steps, "steps");
    QTEST(sliced, "sliced");
    QTEST(finished, "finished");
    QVERIFY(within_slice_time && !running_when_finished);
}

void TestSlicedWork::progress_due_after_delay()
{
    // Each slice overruns its deadline, as a slow line would: the work still gets its slices
    // and, once it has taken the delay, its progress is due.
    constexpr auto slow_slice = 120ms;
    struct Seen {
        qint64 before;  // elapsed before progress_due() was asked, and after
        bool due;
        qint64 after;
    };
    std::vector<Seen> seen;  // after each slice
    SlicedWork* self = nullptr;
    SlicedWork work([&](SlicedWork::Clock::time_point) {
        std::this_thread::sleep_for(slow_slice);
        return self->elapsed_ms() >= SlicedWork::progress_after_ms + slow_slice.count();
    });
    self = &work;
    connect(&work, &SlicedWork::sliced, this, [&] {
        const qint64 before = work.elapsed_ms();
        const bool due = work.progress_due();
        seen.push_back({before, due, work.elapsed_ms()});
    });
    work.start();
    QTRY_VERIFY_WITH_TIMEOUT(!work.running(), 5000);
    QVERIFY(seen.size() >= 6);
    QVERIFY(!seen.front().due && seen[seen.size() - 2].due);
    // Due exactly once the delay has passed (the clock moves on while it is asked).
    for (std::size_t i = 0; i + 1 < seen.size(); ++i)
        QVERIFY(seen[i].due ? seen[i].after >= SlicedWork::progress_after_ms
                            : seen[i].before < SlicedWork::progress_after_ms);
    // The last slice finished the work: nothing is running to show progress of.
    QVERIFY(!seen.back().due && !work.progress_due());

    // Resumed, the work's time goes on from its start; started anew, it counts from zero.
    work.resume();
    QVERIFY(work.progress_due());
    work.cancel();
    work.start();
    QVERIFY(!work.progress_due());
    work.cancel();
}

QTEST_GUILESS_MAIN(TestSlicedWork)
#include "test_sliced_work.moc"
