// An alert's conditions on their own, with the clock given: which lines of a sequence make it
// fire, for expressions, severities, bursts and silence, and the expressions' prefilter against
// PCRE2 alone.

#include "alerts/alert_set.h"
#include "alerts/expression_matcher.h"
#include "find/pattern.h"
#include "no_highlights.h"

#include <QtTest>

#include <random>

using alerts::AlertSet;
using config::AlertFields;

namespace {

// "regex=1 minseverity=3 burstcount=3 burstseconds=10 silence=60", blank separated.
AlertFields fields_of(const QString& conditions)
{
    AlertFields fields;
    for (const QString& setting : conditions.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString name = setting.section(QLatin1Char('='), 0, 0);
        const int value = setting.section(QLatin1Char('='), 1).toInt();
        if (name == "regex")
            fields.regex = value != 0;
        else if (name == "minseverity")
            fields.min_severity = value;
        else if (name == "burstcount")
            fields.burst_count = value;
        else if (name == "burstseconds")
            fields.burst_seconds = value;
        else if (name == "silence")
            fields.silence = value;
    }
    return fields;
}

}  // namespace

class TestAlertConditions : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void alert_fires_on_the_lines_its_conditions_let_through_data()
    {
        // Events, ';' between them, times in seconds: "L TIME SEVERITY TEXT" checks a line
        // (severity '-' for a text line; TEXT in C escapes), "S TIME" checks for silence, "A"
        // acknowledges. fired: the actions each L or S gave, blank separated.
        QTest::addColumn<QString>("conditions");
        QTest::addColumn<QByteArray>("catchwords");
        QTest::addColumn<QString>("events");
        QTest::addColumn<QString>("fired");
        QTest::newRow("plain: every matching entry, as before")
            << "" << QByteArray("disk\r\nfull") << "L 0 - disk full; L 1 - fine" << "2 0";
        QTest::newRow("expression, case counts unless (?i)")
            << "regex=1" << QByteArray("disk\\s+full\r\n(?i)timeout")
            << "L 0 - disk   full; L 0 - DISK full; L 0 - read TIMEOUT; L 0 - disk-full" << "1 0 1 0";
        QTest::newRow("expression, a character of several bytes is one")
            << "regex=1" << QByteArray("gr..e$") << "L 0 - Gr\\xc3\\xb6\\xc3\\x9fe; L 0 - gr\\xc3\\xb6\\xc3\\x9fe" << "0 1";
        QTest::newRow("expression, invalid UTF-8 around and inside")
            << "regex=1" << QByteArray("ERR.R") << "L 0 - \\xff\\xfe ERROR \\xc3; L 0 - ERR\\xffR; L 0 - ERR\\xc3\\xa9R"
            << "1 0 1";
        QTest::newRow("expression with a back reference")
            << "regex=1" << QByteArray("(\\w+) \\1") << "L 0 - again again; L 0 - again and" << "1 0";
        QTest::newRow("error or worse from anything: each level")
            << "minseverity=3" << QByteArray()
            << "L 0 0 a; L 0 1 a; L 0 2 a; L 0 3 a; L 0 4 a; L 0 5 a; L 0 6 a; L 0 7 a; L 0 - a"
            << "1 1 1 1 0 0 0 0 0";
        QTest::newRow("severity and a catchword")
            << "minseverity=4" << QByteArray("disk\r\nfull") << "L 0 5 disk full; L 0 4 disk full; L 0 4 fine"
            << "0 2 0";
        QTest::newRow("no catchwords and no severity never fires") << "" << QByteArray() << "L 0 0 a; L 0 - a" << "0 0";
        QTest::newRow("a severity beyond debug is no condition")
            << "minseverity=9" << QByteArray("disk") << "L 0 - disk" << "1";
        QTest::newRow("burst completes on its third line, once")
            << "burstcount=3 burstseconds=10" << QByteArray("ERR\r\nWARN")
            << "L 0 - ERR WARN; L 1 - ok; L 2 - ERR; L 9 - ERR; L 10 - ERR; L 11 - ERR" << "0 0 0 1 0 0";
        QTest::newRow("burst that expires, then completes")
            << "burstcount=3 burstseconds=10" << QByteArray("ERR") << "L 0 - ERR; L 5 - ERR; L 11 - ERR; L 12 - ERR"
            << "0 0 0 1";
        QTest::newRow("burst needs a new full burst after the acknowledgement")
            << "burstcount=2 burstseconds=60" << QByteArray("ERR")
            << "L 0 - ERR; L 1 - ERR; L 2 - ERR; A; L 3 - ERR; L 4 - ERR" << "0 1 0 0 1";
        QTest::newRow("burst of error lines from anything")
            << "minseverity=3 burstcount=2" << QByteArray() << "L 0 3 a; L 1 6 a; L 2 2 a" << "0 0 1";
        QTest::newRow("silence fires once, again only after a line")
            << "silence=60" << QByteArray("ERR")
            << "S 59; S 60; S 200; L 230 - ok; S 289; S 290; S 900; A; S 1000" << "0 1 0 0 0 1 0 0";
        QTest::newRow("silence and a catchword each fire") << "silence=10" << QByteArray("ERR")
                                                           << "L 5 - ERR; S 14; S 15" << "1 0 1";
    }
    void alert_fires_on_the_lines_its_conditions_let_through()
    {
        QFETCH(QString, conditions);
        QFETCH(QByteArray, catchwords);
        QFETCH(QString, events);
        QFETCH(QString, fired);
        NoHighlights highlights;
        AlertSet set(highlights);
        alerts::tAlert alert;
        alert.active = true;
        alert.catchwords = alerts::split_catchword_lines(catchwords.toStdString());
        alert.conditions = alerts::conditions_of(fields_of(conditions));
        set.assign({alert});
        set.start_silence(0);
        QStringList counts;
        for (const QString& event : events.split(QLatin1Char(';'))) {
            const QStringList parts = event.trimmed().split(QLatin1Char(' '));
            const std::int64_t time = parts.value(1).toLongLong() * 1000;
            if (parts[0] == "A") {
                set.acknowledge();
            } else if (parts[0] == "S") {
                counts.append(QString::number(set.check_silence(time).size()));
            } else {
                const QByteArray text = QByteArray::fromPercentEncoding(
                    parts.mid(3).join(QLatin1Char(' ')).toLatin1().replace("\\x", "%"));
                const alerts::LineFacts facts{time, parts[2] == "-" ? alerts::LineFacts::no_severity : parts[2].toInt()};
                counts.append(QString::number(set.check_line(text.toStdString(), facts).size()));
            }
        }
        QCOMPARE(counts.join(QLatin1Char(' ')), fired);
    }

    void silence_is_told_in_its_largest_whole_unit_and_waits_for_the_next()
    {
        QCOMPARE(alerts::silence_text(300'000), QStringLiteral("No line for 5 minutes"));
        QCOMPARE(alerts::silence_text(93'600'000), QStringLiteral("No line for 26 hours"));
        QCOMPARE(alerts::silence_text(90'000), QStringLiteral("No line for 90 seconds"));
        QCOMPARE(alerts::silence_text(86'400'000), QStringLiteral("No line for 1 day"));

        NoHighlights highlights;
        AlertSet set(highlights);
        alerts::tAlert quick;
        quick.active = true;
        quick.conditions.silence_ms = 10'000;
        alerts::tAlert slow = quick;
        slow.conditions.silence_ms = 60'000;
        set.assign({slow, quick});
        set.start_silence(1'000);
        QCOMPARE(set.next_silence(), std::optional<std::int64_t>(11'000));
        QCOMPARE(set.check_silence(11'000).front().text, QStringLiteral("No line for 10 seconds"));
        QCOMPARE(set.next_silence(), std::optional<std::int64_t>(61'000));
        set.check_silence(61'000);
        QVERIFY(!set.next_silence());  // both told: nothing until a line comes
        set.check_line("any", {70'000});
        QCOMPARE(set.next_silence(), std::optional<std::int64_t>(80'000));
    }

    void bad_expressions_are_named_by_their_line()
    {
        QCOMPARE(AlertSet::expression_problem("ok\r\n\r\ndisk (full"),
                 std::optional<QString>(
                     QStringLiteral("Catchword 3 is not a valid regular expression: missing closing parenthesis at 10.")));
        QVERIFY(!AlertSet::expression_problem("a+\r\n(?i)b"));
    }

    // The prefilter may only save work: on random lines, alone and scanned in texts of many,
    // the matcher finds what each expression alone finds.
    void prefilter_agrees_with_pcre2_alone_data()
    {
        QTest::addColumn<bool>("whole_texts");
        // An expression that matches the empty line, and invalid UTF-8, keep texts from being
        // scanned whole.
        QTest::newRow("line by line, with stray bytes") << false;
        QTest::newRow("texts scanned whole") << true;
    }
    void prefilter_agrees_with_pcre2_alone()
    {
        QFETCH(bool, whole_texts);
        std::vector<std::string> expressions{
            "fail\\d{2}", "(?i)timeout", "^user \\w+ locked$", "a.c", "(ab|cd)+e", "[^x]{3}z", "(\\w)\\1",
            "\\bERR\\b", "\xc3\xa9t\xc3\xa9", "(?i)\xc3\x89T\xc3\x89", "\\x{e9}", "\\p{Lu}{2}", "(?=ab)a", "c$"};
        if (!whole_texts)
            expressions.push_back("x*");
        alerts::tAlert alert;
        alert.active = true;
        alert.conditions.regex = true;
        alert.catchwords = expressions;
        alerts::ExpressionMatcher matcher;
        matcher.compile(std::span(&alert, 1));
        matcher.wait_for_prefilter();
        // Those that name characters beyond ASCII are PCRE2's alone.
        QCOMPARE(matcher.unfiltered(), std::size_t(4));
        std::vector<find::Pattern> one_by_one;
        for (const std::string& expression : expressions)
            one_by_one.emplace_back(expression, find::PatternOptions{.match_case = true, .regex = true});
        // The ASCII of the expressions, a few multi-byte characters and stray bytes.
        std::vector<std::string> pieces{"fail", "0", "7", "TimeOut", "user ", "bob", " locked", "a", "b", "c",
                                        "d", "e", "x", "z", " ", "ERR", "\xc3\xa9", "\xc3\x89", "t", "T", "ab"};
        if (!whole_texts)
            pieces.insert(pieces.end(), {"\xff", "\xc3"});
        std::mt19937 random(7);
        int scanned_whole = 0;
        for (int round = 0; round < 1'000; ++round) {
            std::string text;
            for (int line = 0; line < 20; ++line) {
                const int count = int(random() % 8);
                for (int piece = 0; piece < count; ++piece)
                    text += pieces[random() % pieces.size()];
                text += '\n';
            }
            scanned_whole += matcher.prescan(text) ? 1 : 0;
            std::size_t begin = 0;
            for (std::size_t end = text.find('\n'); end != std::string::npos; begin = end + 1, end = text.find('\n', begin)) {
                const std::string_view line = std::string_view(text).substr(begin, end - begin);
                std::vector<alerts::CatchwordMatch> found;
                matcher.find(line, found);
                std::vector<alerts::CatchwordMatch> expected;
                for (std::size_t index = 0; index < expressions.size(); ++index)
                    if (one_by_one[index].matches(line))
                        expected.push_back({0, index});
                if (found != expected)
                    QFAIL(qPrintable(QStringLiteral("differs on \"%1\"")
                                         .arg(QString::fromLatin1(QByteArray(line.data(), qsizetype(line.size())).toPercentEncoding()))));
            }
        }
        QCOMPARE(scanned_whole > 0, whole_texts);
    }
};

QTEST_MAIN(TestAlertConditions)
#include "test_alert_conditions.moc"
