// Catchword matching on its own: the matching rules, the firing order, and the automaton
// against the plain scan it stands in for.

#include "alerts/catchword_matcher.h"

#include <QtTest>

#include <random>

using alerts::CatchwordMatch;
using alerts::CatchwordMatcher;
using alerts::tAlert;

namespace {

// "+A\nB" is an active alert with the catchwords text A, B; "-A" an inactive one.
std::vector<tAlert> make_alerts(const QList<QByteArray>& descriptions)
{
    std::vector<tAlert> alerts;
    for (const QByteArray& description : descriptions) {
        tAlert& alert = alerts.emplace_back();
        alert.active = description.startsWith('+');
        alert.catchwords = alerts::split_catchword_lines(description.mid(1).toStdString());
    }
    return alerts;
}

// "alert.entry" pairs, blank separated.
QByteArray describe(std::span<const CatchwordMatch> matches)
{
    QByteArrayList parts;
    for (const CatchwordMatch& match : matches)
        parts.append(QByteArray::number(qulonglong(match.alert)) + '.' + QByteArray::number(qulonglong(match.entry)));
    return parts.join(' ');
}

}  // namespace

class TestCatchwordMatcher : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void finds_matches_in_firing_order_data()
    {
        QTest::addColumn<QList<QByteArray>>("alerts");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("matches");
        using L = QList<QByteArray>;
        QTest::newRow("case counts") << L{"+ERR"} << QByteArray("an ERROR, an error") << QByteArray("0.0");
        QTest::newRow("lower case only") << L{"+ERR"} << QByteArray("an error") << QByteArray();
        QTest::newRow("inactive alert") << L{"-ERR", "+OK"} << QByteArray("ERR OK") << QByteArray("1.0");
        QTest::newRow("empty entries never match") << L{"+\r\n\rx\n"} << QByteArray("abc") << QByteArray();
        QTest::newRow("each entry once, in list order") << L{"+b\r\na\nb\r\n"} << QByteArray("ab ab ab") << QByteArray("0.0 0.1 0.2");
        QTest::newRow("LF CR is two line breaks") << L{"+a\n\rb"} << QByteArray("b") << QByteArray("0.2");
        QTest::newRow("alert by alert") << L{"+zz\nyy", "+xx", "+yy"} << QByteArray("yy xx zz") << QByteArray("0.0 0.1 1.0 2.0");
        QTest::newRow("word inside a word") << L{"+RROR", "+R", "+ERRORS"} << QByteArray("ERRORS") << QByteArray("0.0 1.0 2.0");
        QTest::newRow("bytes, not characters") << L{"+\xc3\xa9", "+\xff"} << QByteArray("caf\xc3\xa9 \xfe") << QByteArray("0.0");
    }
    void finds_matches_in_firing_order()
    {
        QFETCH(QList<QByteArray>, alerts);
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, matches);
        const std::vector<tAlert> compiled = make_alerts(alerts);
        std::vector<CatchwordMatch> plain;
        alerts::plain_catchword_scan(compiled, line.toStdString(), plain);
        QCOMPARE(describe(plain), matches);
        // Both ways the matcher can search: the automaton, and the plain scan it falls back on.
        for (const std::size_t limit : {CatchwordMatcher::default_table_limit, std::size_t{0}}) {
            CatchwordMatcher matcher(limit);
            matcher.compile(compiled);
            QCOMPARE(matcher.uses_automaton(), limit != 0 && matcher.pattern_count() > 0);
            QCOMPARE(describe(matcher.find(line.toStdString())), matches);
            // The next line starts afresh.
            QCOMPARE(describe(matcher.find(line.toStdString())), matches);
        }
    }

    void automaton_and_text_scan_agree_with_the_plain_scan()
    {
        // Small alphabets make overlapping, nested and repeated catchwords common.
        std::mt19937 random(7);
        const auto text = [&](std::size_t max_length, int letters) {
            std::string word(1 + random() % max_length, 'a');
            for (char& byte : word)
                byte = static_cast<char>('a' + random() % static_cast<unsigned>(letters));
            return word;
        };
        int scanned_whole = 0;
        for (int round = 0; round < 200; ++round) {
            const int letters = 2 + round % 5;
            std::vector<tAlert> alerts(1 + random() % 6);
            for (tAlert& alert : alerts) {
                alert.active = random() % 4 != 0;
                for (auto entry = random() % 30; entry > 0; --entry)
                    alert.catchwords.push_back(random() % 10 == 0 ? std::string() : text(6, letters));
            }
            CatchwordMatcher matcher;
            matcher.compile(alerts);
            matcher.wait_for_text_scan();
            // The lines alone, then as one text scanned whole, as a read's lines are.
            std::string received;
            for (int line = 0; line < 20; ++line)
                received += text(80, letters) + '\n';
            for (const bool whole : {false, true}) {
                scanned_whole += whole && matcher.prescan(received) ? 1 : 0;
                for (std::size_t begin = 0, end = received.find('\n'); end != std::string::npos;
                     begin = end + 1, end = received.find('\n', begin)) {
                    const std::string_view line = std::string_view(received).substr(begin, end - begin);
                    std::vector<CatchwordMatch> plain;
                    alerts::plain_catchword_scan(alerts, line, plain);
                    const std::span<const CatchwordMatch> found = matcher.find(line);
                    QVERIFY2(std::ranges::equal(found, plain), std::string(line).c_str());
                }
            }
        }
        QVERIFY(scanned_whole > 0);
    }
};

QTEST_APPLESS_MAIN(TestCatchwordMatcher)
#include "test_catchword_matcher.moc"
