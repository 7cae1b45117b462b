// Senders and priorities kept per line: through random edits they stay with their lines, and
// a log that never got a priority keeps none.

#include "lines/line_origins.h"

#include <QtTest>

#include <random>
#include <vector>

using lines::LinePriorities;
using lines::LineSenders;
using platform::PeerAddress;

class TestLineOrigins : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void edits_keep_every_origin_with_its_line()
    {
        std::mt19937 random(11);
        const auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
        std::vector<PeerAddress> hosts(4);
        for (std::size_t host = 0; host < hosts.size(); ++host) {
            hosts[host].bytes[15] = static_cast<std::uint8_t>(host + 1);
            hosts[host].known = true;
        }
        LineSenders senders;
        LinePriorities priorities;
        std::vector<PeerAddress> sender_model;
        std::vector<std::uint8_t> priority_model;
        for (int step = 0; step < 4000; ++step) {
            const int count = static_cast<int>(sender_model.size());
            const int index = pick(0, count);
            const int lines = pick(1, 40);
            switch (pick(0, 4)) {
            case 0: {  // a batch from one sender, with priorities after the first steps
                const PeerAddress& host = hosts[static_cast<std::size_t>(pick(0, 3))];
                std::vector<std::uint8_t> codes(static_cast<std::size_t>(lines));
                for (auto& code : codes)
                    code = static_cast<std::uint8_t>(pick(0, 191));
                const bool with_priority = step > 200;
                priorities.append(lines, with_priority ? codes.data() : nullptr, count);
                senders.append(lines, host);
                sender_model.insert(sender_model.end(), static_cast<std::size_t>(lines), host);
                if (with_priority)
                    priority_model.insert(priority_model.end(), codes.begin(), codes.end());
                else
                    priority_model.insert(priority_model.end(), static_cast<std::size_t>(lines), lines::no_priority);
                break;
            }
            case 1:
                senders.insert_blank(index, lines);
                priorities.insert_blank(index, lines);
                sender_model.insert(sender_model.begin() + index, static_cast<std::size_t>(lines), PeerAddress{});
                priority_model.insert(priority_model.begin() + index, static_cast<std::size_t>(lines), lines::no_priority);
                break;
            case 2: {
                const int erased = std::min(count - index, lines);
                senders.erase(index, erased);
                priorities.erase(index, erased);
                sender_model.erase(sender_model.begin() + index, sender_model.begin() + index + erased);
                priority_model.erase(priority_model.begin() + index, priority_model.begin() + index + erased);
                break;
            }
            case 3:
                senders.drop_front(index / 2);
                priorities.drop_front(index / 2);
                sender_model.erase(sender_model.begin(), sender_model.begin() + index / 2);
                priority_model.erase(priority_model.begin(), priority_model.begin() + index / 2);
                break;
            default:
                if (step % 500 == 0) {
                    senders.clear();
                    priorities.clear();
                    sender_model.clear();
                    priority_model.clear();
                }
                break;
            }
            QCOMPARE(senders.line_count(), static_cast<int>(sender_model.size()));
            for (int line = 0; line < senders.line_count(); ++line) {
                QVERIFY(senders.sender(line) == sender_model[static_cast<std::size_t>(line)]);
                QCOMPARE(priorities.priority(line), priority_model[static_cast<std::size_t>(line)]);
            }
        }
        QCOMPARE(hosts[1].text(), std::string("::2"));
        PeerAddress mapped;
        mapped.bytes = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 192, 168, 1, 5};
        mapped.known = true;
        QCOMPARE(mapped.text(), std::string("192.168.1.5"));
    }
};

QTEST_APPLESS_MAIN(TestLineOrigins)
#include "test_line_origins.moc"
