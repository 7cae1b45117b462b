// Colour rules: compiling key lists, scanning text of every kind, merging into runs, and the
// recompile rhythm that brings in-place edits of the keyword list into effect.

#include "colormemo/colorpass.h"
#include "colormemo/colorrule.h"
#include "colormemo/drawrules.h"

#include <QtTest>

using namespace colormemo;

namespace {

TStringList to_list(const QByteArrayList& entries)
{
    TStringList list;
    for (const QByteArray& entry : entries)
        list.emplace_back(entry.constData(), static_cast<std::size_t>(entry.size()));
    return list;
}

std::string_view view(const QByteArray& text)
{
    return {text.constData(), static_cast<std::size_t>(text.size())};
}

// Runs as "first-last:colour", with "k" after keyword runs, separated by blanks.
QByteArray runs_text(const TColorPass& pass)
{
    QByteArrayList runs;
    for (const TKeyDescr& run : pass.Runs())
        runs << QByteArray::number(run.StartPos) + '-' + QByteArray::number(run.EndPos) + ':' +
                    QByteArray::number(run.KeyColor, 16) + (run.IsKey ? "k" : "");
    return runs.join(' ');
}

// One colouring pass as the memo runs it, over a region that starts at offset base.
QByteArray colour(TDrawRules& rules, const QByteArray& region, std::int32_t base = 0, const TDrawEvent& on_draw = {})
{
    TColorPass pass;
    pass.SetColorLimMax(4);
    rules.CompileAll();
    pass.BeginPass();
    rules.ScanAll(pass, view(region), base, on_draw);
    MergeRuns(pass);
    return runs_text(pass);
}

// The merge as a picture: one cell per offset of the extent, painted descriptor by descriptor
// (a later one over an earlier one unless that has a higher z-order), read back as runs of
// equal cells. The real merge must give exactly these runs.
std::vector<TKeyDescr> merged_cell_by_cell(const TColorPass& pass)
{
    struct Cell {
        TKeyDescr Descr;
        bool Claimed = false;
    };
    std::vector<TKeyDescr> runs;
    const std::int64_t lo = pass.MinPos();
    const std::int64_t hi = pass.MaxPos();
    if (lo == -1 || hi < lo)
        return runs;
    std::vector<Cell> cells(static_cast<std::size_t>(hi - lo + 2));
    const TKeyDescrList& list = pass.KeyDescrs();
    for (std::size_t i = 0; i < list.Used(); ++i) {
        const TKeyDescr& d = list[i];
        if (d.StartPos == KeyPosFree || d.EndPos == KeyPosFree || d.EndPos < d.StartPos)
            continue;
        for (std::int64_t pos = std::max<std::int64_t>(d.StartPos, lo); pos <= std::min<std::int64_t>(d.EndPos, hi); ++pos) {
            Cell& cell = cells[static_cast<std::size_t>(pos - lo)];
            if (cell.Descr.KeyZOrder <= d.KeyZOrder)
                cell = {d, true};
        }
    }
    const auto same = [](const Cell& a, const Cell& b) {
        return a.Claimed == b.Claimed && a.Descr.KeyColor == b.Descr.KeyColor &&
               a.Descr.KeyZOrder == b.Descr.KeyZOrder && a.Descr.IsKey == b.Descr.IsKey;
    };
    std::size_t start = 0;
    for (std::size_t i = 1; i < cells.size(); ++i) {
        if (same(cells[i], cells[start]))
            continue;
        if (cells[start].Claimed)
            runs.push_back({static_cast<std::int32_t>(lo + static_cast<std::int64_t>(start)),
                            static_cast<std::int32_t>(lo + static_cast<std::int64_t>(i) - 1),
                            cells[start].Descr.KeyColor, cells[start].Descr.KeyZOrder, cells[start].Descr.IsKey});
        start = i;
    }
    return runs;
}

QByteArray describe(std::span<const TKeyDescr> runs)
{
    QByteArrayList texts;
    for (const TKeyDescr& run : runs)
        texts << QByteArray::number(run.StartPos) + '-' + QByteArray::number(run.EndPos) + ':' +
                     QByteArray::number(run.KeyColor, 16) + '/' + QByteArray::number(run.KeyZOrder) +
                     (run.IsKey ? "k" : "");
    return texts.join(' ');
}

}  // namespace

class TestColorRules : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void compiles_keyword_string_data()
    {
        QTest::addColumn<QByteArrayList>("entries");
        QTest::addColumn<bool>("key_case");
        QTest::addColumn<QByteArray>("compiled");
        QTest::addColumn<QList<uint>>("colors");
        QTest::newRow("empty") << QByteArrayList{} << false << QByteArray("*") << QList<uint>{};
        QTest::newRow("only blanks") << QByteArrayList{"", "  ", "\t\r"} << false << QByteArray("*") << QList<uint>{};
        QTest::newRow("folded") << QByteArrayList{"Error"} << false << QByteArray("*ERROR*+\x01*") << QList<uint>{0xFF};
        QTest::newRow("exact case") << QByteArrayList{"Error"} << true << QByteArray("*Error*+\x01*") << QList<uint>{0xFF};
        QTest::newRow("blank belongs to key")
            << QByteArrayList{"warn ;blue", "warn;", "warn", ";blue", "  ;lime"} << false
            << QByteArray("*WARN *+\x01*WARN*+\x02*WARN*+\x02*") << QList<uint>{0xFF0000, 0xFF};
        QTest::newRow("second ';' in colour") << QByteArrayList{"a;b;c"} << false << QByteArray("*A*+\x01*")
                                              << QList<uint>{0xFFFFFF};
        QTest::newRow("shared colours") << QByteArrayList{"x;red", "y;lime", "z; RED ", "w"} << false
                                        << QByteArray("*X*+\x01*Y*+\x02*Z*+\x01*W*+\x01*")
                                        << QList<uint>{0xFF, 0xFF00};
        QTest::newRow("star skipped") << QByteArrayList{"st*r", "ok"} << false << QByteArray("*OK*+\x01*")
                                      << QList<uint>{0xFF};
        const QByteArray long_key(40, 'q');
        QTest::newRow("long key kept") << QByteArrayList{long_key} << true << "*" + long_key + "*+\x01*"
                                       << QList<uint>{0xFF};

        // 41 colours fill the table; a 42nd reuses the code of the keyword before it, a known
        // colour still finds its own slot.
        QByteArrayList many;
        QByteArray compiled("*");
        QList<uint> colors;
        for (int i = 1; i <= 42; ++i) {
            many << "k;" + QByteArray::number(i, 16);
            compiled += "K*+" + QByteArray(1, char(std::min(i, 41))) + '*';
            if (i <= 41)
                colors << (uint(i) << 16);  // "$<i>" read as 0x0000ii RGB
        }
        many << "m;$2";
        compiled += "M*+\x02*";
        QTest::newRow("colour overflow") << many << false << compiled << colors;
    }

    void compiles_keyword_string()
    {
        QFETCH(QByteArrayList, entries);
        QFETCH(bool, key_case);
        QFETCH(QByteArray, compiled);
        QFETCH(QList<uint>, colors);
        TColorRule rule;
        rule.SetKeyCase(key_case);
        rule.SetKeywords(to_list(entries));
        QCOMPARE(QByteArray::fromStdString(rule.KeySearchStr()), compiled);
        for (int i = 0; i < colors.size(); ++i)
            QCOMPARE(rule.ColorTable()[std::size_t(i)], colors[i]);
    }

    void parses_key_colors_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<uint>("color");
        QTest::newRow("name") << QByteArray("red") << 0x0000FFu;
        QTest::newRow("name padded") << QByteArray(" Red \t") << 0x0000FFu;
        QTest::newRow("fuchsia") << QByteArray("FUCHSIA") << 0xFF00FFu;
        QTest::newRow("hash") << QByteArray("#FF0000") << 0x0000FFu;
        QTest::newRow("bare hex") << QByteArray("FF0000") << 0x0000FFu;
        QTest::newRow("dollar") << QByteArray("$FF0000") << 0x0000FFu;
        QTest::newRow("orange") << QByteArray("#FF8000") << 0x0080FFu;
        QTest::newRow("short hex") << QByteArray("abc") << 0xBC0A00u;
        QTest::newRow("hash inside") << QByteArray("12#34") << 0x341200u;
        QTest::newRow("top bits dropped") << QByteArray("1FF8000") << 0x0080FFu;
        QTest::newRow("cut to ten") << QByteArray("0000000000FF") << 0x000000u;
        QTest::newRow("signed dollar") << QByteArray("-$1") << 0xFFFFFFu;
        QTest::newRow("nonsense") << QByteArray("nonsense") << 0xFFFFFFu;
        QTest::newRow("nine digits") << QByteArray("$123456789") << 0xFFFFFFu;
    }

    void parses_key_colors()
    {
        QFETCH(QByteArray, text);
        QFETCH(uint, color);
        QCOMPARE(ParseKeyColor(view(text)), color);
    }

    void colours_keywords_data()
    {
        QTest::addColumn<QByteArrayList>("entries");
        QTest::addColumn<bool>("part_word");
        QTest::addColumn<bool>("key_case");
        QTest::addColumn<int>("base");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("runs");
        const QByteArray words("ERROR Error errors myerror");
        QTest::newRow("anywhere, any case") << QByteArrayList{"error"} << true << false << 0 << words
                                            << QByteArray("0-4:ffk 6-10:ffk 12-16:ffk 21-25:ffk");
        QTest::newRow("whole words") << QByteArrayList{"error"} << false << false << 0 << words
                                     << QByteArray("0-4:ffk 6-10:ffk");
        QTest::newRow("non-word neighbours")
            << QByteArrayList{"error"} << false << false << 0 << QByteArray("error1 error_x (error) @error \xE9\x65rror\xE9")
            << QByteArray("0-4:ffk 7-11:ffk 16-20:ffk 31-35:ffk");
        QTest::newRow("letter after") << QByteArrayList{"error"} << false << false << 0 << QByteArray("errorZ ")
                                      << QByteArray();
        QTest::newRow("region edges and base") << QByteArrayList{"error"} << false << false << 1000
                                               << QByteArray("error\r\nerror") << QByteArray("1000-1004:ffk 1007-1011:ffk");
        QTest::newRow("exact case") << QByteArrayList{"Error"} << true << true << 0 << QByteArray("ERROR Error")
                                    << QByteArray("6-10:ffk");
        QTest::newRow("later keyword wins") << QByteArrayList{"ERR;blue", "ERROR"} << true << false << 0
                                            << QByteArray("ERROR") << QByteArray("0-4:ffk");
        QTest::newRow("later keyword wins, reversed") << QByteArrayList{"ERROR", "ERR;blue"} << true << false << 0
                                                      << QByteArray("ERROR") << QByteArray("0-2:ff0000k 3-4:ffk");
        QTest::newRow("no overlapping occurrences") << QByteArrayList{"aa;lime"} << true << false << 0
                                                    << QByteArray("aaa aaaa") << QByteArray("0-1:ff00k 4-7:ff00k");
        QTest::newRow("blank part of key") << QByteArrayList{"warn ;blue"} << true << false << 0
                                           << QByteArray("warning warn") << QByteArray();
        const QByteArray long_key(40, 'q');
        QTest::newRow("long key") << QByteArrayList{long_key} << false << false << 0 << " " + long_key
                                  << QByteArray("1-40:ffk");
    }

    void colours_keywords()
    {
        QFETCH(QByteArrayList, entries);
        QFETCH(bool, part_word);
        QFETCH(bool, key_case);
        QFETCH(int, base);
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, runs);
        TDrawRules rules;
        TColorRule& rule = rules.Add();
        rule.SetKeyDrawingType(dtKeyShow);
        rule.SetPartWord(part_word);
        rule.SetKeyCase(key_case);
        rule.Keywords() = to_list(entries);
        QCOMPARE(colour(rules, text, base), runs);
    }

    void colours_key_pairs_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArrayList>("entries");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("runs");
        QTest::newRow("comment") << int(dtBeginEnd) << QByteArrayList{"/*;*/;green"} << QByteArray("x /* a */ y")
                                 << QByteArray("2-8:8000");
        QTest::newRow("end overlaps begin") << int(dtBeginEnd) << QByteArrayList{"/*;*/"} << QByteArray("/*/*/")
                                            << QByteArray("0-4:ff");
        QTest::newRow("unterminated ends the scan") << int(dtBeginEnd) << QByteArrayList{"/*;*/", "<;>"}
                                                    << QByteArray("/* a <b>") << QByteArray();
        QTest::newRow("same position, lower slot") << int(dtBeginEnd) << QByteArrayList{"ab;x;blue", "a;y"}
                                                   << QByteArray("ab..x y") << QByteArray("0-4:ff0000");
        QTest::newRow("next begin after end key") << int(dtBeginEnd) << QByteArrayList{"a;a"} << QByteArray("aaa")
                                                  << QByteArray("0-1:ff");
        QTest::newRow("across lines") << int(dtBeginEnd) << QByteArrayList{"<;>"} << QByteArray("<a\r\nb> <")
                                      << QByteArray("0-5:ff");
        QTest::newRow("exact case") << int(dtBeginEnd) << QByteArrayList{"BEGIN;END"} << QByteArray("begin end")
                                    << QByteArray();
        QTest::newRow("keys cut to six") << int(dtBeginEnd) << QByteArrayList{"abcdefgh;zzzzzzzz"}
                                         << QByteArray("abcdef zzzzzz") << QByteArray("0-12:ff");
        QTest::newRow("table ends at entry without ';'") << int(dtBeginEnd) << QByteArrayList{"a;b", "c;d", "e", "f;g"}
                                                         << QByteArray("a.b c.d f.g") << QByteArray("0-2:ff 4-6:ff");
        QTest::newRow("table ends at leading ';'") << int(dtBeginEnd) << QByteArrayList{"a;b", ";c;d"}
                                                   << QByteArray("a.b ;c.d") << QByteArray("0-2:ff");
        QTest::newRow("';' key") << int(dtBeginLineEnd) << QByteArrayList{";;gray"}
                                 << QByteArray("a ;b\r\nc;d") << QByteArray("2-3:808080 7-8:808080");
        QTest::newRow("line comment") << int(dtBeginLineEnd) << QByteArrayList{"//;blue", "#"}
                                      << QByteArray("x // c\r\n#y\r\n") << QByteArray("2-5:ff0000 8-9:ff");
        QTest::newRow("one ';' first: whole key") << int(dtBeginLineEnd) << QByteArrayList{";x;red"}
                                                  << QByteArray("a;x;red b") << QByteArray("1-8:ff");
        QTest::newRow("empty entry ends table") << int(dtBeginLineEnd) << QByteArrayList{"", "#"}
                                                << QByteArray("#a") << QByteArray();
        QTest::newRow("key at the line break") << int(dtBeginLineEnd) << QByteArrayList{"\r"}
                                               << QByteArray("a\r\nb") << QByteArray();
    }

    void colours_key_pairs()
    {
        QFETCH(int, kind);
        QFETCH(QByteArrayList, entries);
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, runs);
        TDrawRules rules;
        TColorRule& rule = rules.Add();
        rule.SetKeyDrawingType(TKeyDrawingType(kind));
        (kind == dtBeginEnd ? rule.KeyBegEndLst() : rule.KeyLineEndLst()) = to_list(entries);
        QCOMPARE(colour(rules, text), runs);
    }

    void pair_lists_hold_forty_entries()
    {
        TStringList entries;
        for (int i = 0; i < 41; ++i)
            entries.push_back((i < 10 ? "k0" : "k") + std::to_string(i) + ";>");
        TDrawRules rules;
        TColorRule& rule = rules.Add();
        rule.SetKeyBegEndLst(entries);
        QCOMPARE(rule.KeyPairs().size(), KeyPairCount);
        QCOMPARE(QByteArray::fromStdString(rule.KeyPairs().back().BeginKey), QByteArray("k39"));
        QCOMPARE(colour(rules, "k40> k39>"), QByteArray("5-8:ff"));
    }

    void event_draw_offsets_and_z_order()
    {
        // The z3 rule colours region bytes 0-5 red, the z5 rule bytes 3-8 blue: z5 wins on the
        // shared bytes whichever rule comes first.
        for (const bool z5_first : {false, true}) {
            TDrawRules rules;
            for (const int z : z5_first ? QList<int>{5, 3} : QList<int>{3, 5}) {
                TColorRule& rule = rules.Add();
                rule.SetKeyDrawingType(dtEventDraw);
                rule.SetZOrder(std::uint8_t(z));
            }
            QByteArray seen;
            const TDrawEvent on_draw = [&](TColorRule& sender, std::string_view from, std::span<TKeyDescr> items,
                                           std::int32_t& count) {
                seen = QByteArray(from.data(), qsizetype(from.size()));
                QVERIFY(items[0].StartPos == 0 && items[0].KeyColor == 0);
                items[0] = sender.ZOrder() == 3 ? TKeyDescr{0, 5, 0xFF} : TKeyDescr{3, 8, 0xFF0000};
                count = 1;
            };
            QCOMPARE(colour(rules, "0123456789", 10, on_draw), QByteArray("10-12:ff 13-18:ff0000"));
            QCOMPARE(seen, QByteArray("0123456789"));
        }

        // An item's own KeyZOrder beats the rule's; items beyond the buffer, outside the region or
        // without an end are dropped or cut to the region.
        TDrawRules rules;
        rules.Add().SetKeyDrawingType(dtEventDraw);
        const TDrawEvent on_draw = [](TColorRule&, std::string_view, std::span<TKeyDescr> items, std::int32_t& count) {
            items[0] = {0, 9, 0xFF};
            items[1] = {2, 3, 0xFF00, 7};
            items[2] = {8, 2000000000, 0xFF0000};
            items[3] = {-5, KeyPosFree, 0xAA};
            count = 1000;
        };
        QCOMPARE(colour(rules, "0123456789", 100, on_draw), QByteArray("100-101:ff 102-103:ff00 104-107:ff 108-109:ff0000"));
        QCOMPARE(colour(rules, "0123456789", 100), QByteArray());
    }

    void handler_adding_rules_during_the_scan()
    {
        // The handler grows the collection well past its storage while the scan is inside it;
        // the rules after the event rule are still scanned, and so is the one it added.
        TDrawRules rules;
        rules.Add().SetKeyDrawingType(dtEventDraw);
        const auto add_keyword_rule = [&rules](const TStringList& keywords) {
            TColorRule& rule = rules.Add();
            rule.SetKeyDrawingType(dtKeyShow);
            rule.SetKeywords(keywords);
        };
        add_keyword_rule({"error"});
        int calls = 0;
        const TDrawEvent on_draw = [&](TColorRule&, std::string_view, std::span<TKeyDescr>, std::int32_t& count) {
            if (++calls == 1) {
                for (int i = 0; i < 63; ++i)
                    rules.Add().SetEnabled(false);
                add_keyword_rule({"warn;lime"});
            }
            count = 0;
        };
        QCOMPARE(colour(rules, "error warn", 0, on_draw), QByteArray("0-4:ffk 6-9:ff00k"));
        QCOMPARE(calls, 1);
        QCOMPARE(rules.Count(), 66);
    }

    void merge_by_priority_and_order_data()
    {
        QTest::addColumn<QList<QList<uint>>>("descrs");  // start, end, colour, z, is_key
        QTest::addColumn<QByteArray>("runs");
        QTest::newRow("later wins at equal z") << QList<QList<uint>>{{0, 9, 1, 0, 0}, {3, 5, 2, 0, 0}}
                                               << QByteArray("0-2:1 3-5:2 6-9:1");
        QTest::newRow("higher z wins") << QList<QList<uint>>{{3, 5, 2, 5, 0}, {0, 9, 1, 4, 0}}
                                       << QByteArray("0-2:1 3-5:2 6-9:1");
        QTest::newRow("ordered by position") << QList<QList<uint>>{{10, 12, 1, 0, 0}, {0, 2, 2, 0, 0}}
                                             << QByteArray("0-2:2 10-12:1");
        QTest::newRow("equal neighbours join") << QList<QList<uint>>{{0, 2, 1, 0, 0}, {3, 5, 1, 0, 0}, {6, 6, 1, 0, 1}}
                                               << QByteArray("0-5:1 6-6:1k");
        QTest::newRow("black z0 keeps its place") << QList<QList<uint>>{{0, 2, 0, 0, 0}, {6, 7, 0xFF, 0, 0}, {9, 9, 0, 0, 0}}
                                                  << QByteArray("0-2:0 6-7:ff 9-9:0");
        QTest::newRow("unusable ignored")
            << QList<QList<uint>>{{uint(KeyPosFree), 3, 1, 0, 0}, {5, uint(KeyPosFree), 1, 0, 0}, {5, 4, 1, 0, 0}}
            << QByteArray();
    }

    void merge_by_priority_and_order()
    {
        QFETCH(QList<QList<uint>>, descrs);
        QFETCH(QByteArray, runs);
        TColorPass pass;
        pass.BeginPass();
        for (const QList<uint>& d : descrs)
            pass.Add({std::int32_t(d[0]), std::int32_t(d[1]), d[2], std::uint8_t(d[3]), d[4] != 0});
        MergeRuns(pass);
        QCOMPARE(runs_text(pass), runs);
    }

    void merge_matches_cell_by_cell_painting()
    {
        // Few offsets, colours and z-orders, so that descriptors overlap, tie and join; black
        // z-order 0 runs, unusable descriptors and ones appended outside the extent mixed in.
        // One pass object for all rounds, as the memo reuses its records.
        QRandomGenerator random(20261208);
        TColorPass pass;
        const std::uint8_t z_orders[] = {0, 0, 1, 2, 255};
        for (int round = 0; round < 3000; ++round) {
            pass.BeginPass();
            const int count = random.bounded(30);
            for (int i = 0; i < count; ++i) {
                TKeyDescr d{random.bounded(60), 0, static_cast<TColor>(random.bounded(3)),
                            z_orders[random.bounded(5)], random.bounded(4) == 0};
                d.EndPos = d.StartPos + random.bounded(-2, 15);
                switch (random.bounded(12)) {
                case 0:
                    d.StartPos = KeyPosFree;
                    break;
                case 1:
                    d.EndPos = KeyPosFree;
                    break;
                case 2:
                    d.StartPos -= 70;
                    d.EndPos += 70;
                    pass.KeyDescrs().Append(d);
                    continue;
                default:
                    break;
                }
                pass.Add(d);
            }
            const QByteArray expected = describe(merged_cell_by_cell(pass));
            MergeRuns(pass);
            QVERIFY2(describe(pass.Runs()) == expected,
                     qPrintable(QStringLiteral("round %1: %2 instead of %3")
                                    .arg(round)
                                    .arg(QString::fromLatin1(describe(pass.Runs())), QString::fromLatin1(expected))));
        }
    }

    void runs_reuse_records_and_end_with_free_entry()
    {
        TColorPass pass;
        pass.BeginPass();
        pass.Add({0, 9, 1});
        pass.Add({2, 2, 2});
        pass.Add({5, 5, 2});
        MergeRuns(pass);
        QCOMPARE(runs_text(pass), QByteArray("0-1:1 2-2:2 3-4:1 5-5:2 6-9:1"));
        QCOMPARE(pass.KeyDescrs().Count(), std::size_t(5));

        pass.BeginPass();
        pass.Add({4, 6, 3});
        MergeRuns(pass);
        QCOMPARE(runs_text(pass), QByteArray("4-6:3"));
        QCOMPARE(pass.KeyDescrs().Count(), std::size_t(5));
        QCOMPARE(pass.KeyDescrs()[1].StartPos, KeyPosFree);
    }

    void in_place_keyword_edits_take_effect_by_second_pass()
    {
        // The log window's highlight rule, edited the way the alert editor does it.
        TDrawRules rules;
        TColorRule& rule = rules.Add();
        rule.SetKeyDrawingType(dtKeyShow);
        rule.SetPartWord(true);
        const QByteArray line("an Error and a warning");
        QCOMPARE(colour(rules, line), QByteArray());  // empty rules recompile every pass

        QVERIFY(add_keyword(rule.Keywords(), "error"));
        QVERIFY(!add_keyword(rule.Keywords(), "ERROR"));
        QCOMPARE(colour(rules, line), QByteArray("3-7:ffk"));

        QVERIFY(blank_keyword(rule.Keywords(), "eRRor"));
        QCOMPARE(rule.Keywords(), TStringList{""});
        QCOMPARE(colour(rules, line), QByteArray("3-7:ffk"));  // compiled one pass ago, none due
        QCOMPARE(colour(rules, line), QByteArray());

        QVERIFY(add_keyword(rule.Keywords(), "Warning"));
        QCOMPARE(keyword_index(rule.Keywords(), "WARNING"), 1);
        QCOMPARE(keyword_index(rule.Keywords(), "error"), -1);
        QCOMPARE(colour(rules, line), QByteArray());
        QCOMPARE(colour(rules, line), QByteArray("15-21:ffk"));
    }

    void copied_rules_colour_at_once()
    {
        TDrawRules source;
        TColorRule& line_end = source.Add();
        line_end.SetKeyDrawingType(dtBeginLineEnd);
        line_end.SetZOrder(9);
        line_end.SetKeyLineEndLst({"#;lime"});
        line_end.SetKeyBegEndLst({"<;>"});
        TColorRule& keywords = source.Add();
        keywords.SetKeyDrawingType(dtKeyShow);
        keywords.SetKeyCase(true);
        keywords.SetDefKeyColor(0xFF0000);
        keywords.SetKeywords({"x"});

        TDrawRules copy;
        copy.Assign(source);
        QCOMPARE(copy.Count(), 2);
        QCOMPARE(copy.Items(0).ZOrder(), std::uint8_t(9));
        QCOMPARE(copy.Items(1).KeySearchStr(), std::string("*x*+\x01*"));
        TColorPass pass;
        pass.BeginPass();
        copy.ScanAll(pass, "a x <b> #c X", 0);  // without a CompileAll: the copies are compiled
        MergeRuns(pass);
        QCOMPARE(runs_text(pass), QByteArray("2-2:ff0000k 8-11:ff00"));
    }
};

QTEST_APPLESS_MAIN(TestColorRules)
#include "test_colorrules.moc"
