// Gradient band arithmetic and caption shortening, checked against hand-worked figures.

#include "alerts/caption_drawing.h"

#include <QFontMetrics>
#include <QtTest>

class TestCaptionDrawing : public QObject {
    Q_OBJECT
private slots:
    void worked_example();
    void band_count_limits_data();
    void band_count_limits();
    void shorten_text_data();
    void shorten_text();
};

// Title area 400 × 18: the background runs from -100 to 400, 64 bands of 7, 52 columns left.
void TestCaptionDrawing::worked_example()
{
    const auto bands = gradient_bands(-100, 400, QColor(255, 0, 0), QColor(0, 0, 128), 64);
    QCOMPARE(bands.size(), std::size_t{65});
    const auto check = [&](std::size_t i, int left, int right, QRgb rgb) {
        QCOMPARE(bands[i].left, left);
        QCOMPARE(bands[i].right, right);
        QCOMPARE(bands[i].color.rgb(), rgb);
    };
    check(0, -100, -93, qRgb(255, 0, 0));
    check(1, -93, -86, qRgb(251, 0, 2));
    check(14, -2, 5, qRgb(198, 0, 28));  // the visible left edge
    check(63, 341, 348, qRgb(0, 0, 128));
    check(64, 348, 400, qRgb(0, 0, 128));  // remainder in the end colour

    // Halves round away from zero: three bands stepping half a unit per channel.
    const auto halves = gradient_bands(0, 3, QColor(1, 0, 5), QColor(0, 1, 4), 3);
    QCOMPARE(halves[1].color, QColor(0, 1, 4));
}

void TestCaptionDrawing::band_count_limits_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("steps");
    QTest::addColumn<int>("bands");
    QTest::addColumn<int>("band_width");
    QTest::addColumn<int>("remainder");

    QTest::newRow("0 steps: one flat band") << 500 << 0 << 1 << 500 << 0;
    QTest::newRow("1 step: one flat band") << 500 << 1 << 1 << 500 << 0;
    QTest::newRow("256 wraps to 0") << 500 << 256 << 1 << 500 << 0;
    QTest::newRow("narrower than the steps") << 10 << 64 << 10 << 1 << 0;
    QTest::newRow("remainder") << 130 << 64 << 64 << 2 << 2;
    QTest::newRow("zero width draws nothing") << 0 << 64 << 0 << 0 << 0;
    QTest::newRow("negative width draws nothing") << -5 << 64 << 0 << 0 << 0;
}

void TestCaptionDrawing::band_count_limits()
{
    QFETCH(int, width);
    QFETCH(int, steps);
    QFETCH(int, bands);
    QFETCH(int, band_width);
    QFETCH(int, remainder);

    const QColor start(10, 200, 30);
    const QColor end(250, 0, 90);
    const auto result = gradient_bands(0, width, start, end, steps);
    QCOMPARE(static_cast<int>(result.size()), bands + (remainder > 0 ? 1 : 0));
    if (result.empty())
        return;
    int x = 0;
    for (const GradientBand& band : result) {
        QCOMPARE(band.left, x);
        x = band.right;
    }
    QCOMPARE(x, width);
    QCOMPARE(result.front().right - result.front().left, band_width);
    QCOMPARE(result.front().color, start);
    QCOMPARE(result.back().color, bands > 1 || remainder > 0 ? end : start);
}

void TestCaptionDrawing::shorten_text_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("room_change");  // added to the text's own width
    QTest::addColumn<QString>("expected");  // empty: a shortened prefix is expected

    QTest::newRow("fits exactly") << "Form2 on port 514" << 0 << "Form2 on port 514";
    QTest::newRow("one pixel short") << "Form2 on port 514" << -1 << "";
    QTest::newRow("far too long") << "a rather long caption for a log window" << -150 << "";
    QTest::newRow("no room at all") << "Form2" << -1000 << "...";
}

void TestCaptionDrawing::shorten_text()
{
    QFETCH(QString, text);
    QFETCH(int, room_change);
    QFETCH(QString, expected);

    const QFontMetrics metrics(QFont(QStringLiteral("DejaVu Sans"), 9, QFont::Bold));
    const int room = metrics.horizontalAdvance(text) + room_change;
    const QString result = ::shorten_text(text, room, metrics);
    if (!expected.isEmpty()) {
        QCOMPARE(result, expected);
        return;
    }
    QVERIFY(result.endsWith(QStringLiteral("...")));
    const QString prefix = result.chopped(3);
    QVERIFY(text.startsWith(prefix));
    QVERIFY2(prefix.size() <= text.size() - 2, qPrintable(result));
    QVERIFY(metrics.horizontalAdvance(result) <= room);
    if (prefix.size() < text.size() - 2)  // the longest prefix that fits
        QVERIFY(metrics.horizontalAdvance(text.left(prefix.size() + 1) + "...") > room);
}

QTEST_MAIN(TestCaptionDrawing)
#include "test_caption_drawing.moc"
