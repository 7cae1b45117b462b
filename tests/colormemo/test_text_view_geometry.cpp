// The text view's column and x arithmetic: where each byte of a line goes, which byte a point
// hits, and the walk over the pieces between tabs that painting follows.

#include "colormemo/text_view_geometry.h"

#include <QtTest>

#include <cmath>
#include <string>

using colormemo::LineGeometry;
using colormemo::LinePieces;

namespace {

QFont pixel_font(const QString& family)
{
    QFont font(family);
    font.setPixelSize(15);
    return font;
}

std::string bytes_of(const QByteArray& data) { return std::string(data.constData(), static_cast<std::size_t>(data.size())); }

}  // namespace

class TestTextViewGeometry : public QObject {
    Q_OBJECT

private slots:
    void cells_and_tab_stops_data()
    {
        // Byte boundaries and the column each starts at, in the memo's fixed-pitch font.
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QList<QPoint>>("columns");
        QTest::newRow("plain") << QByteArray("abc") << QList<QPoint>{{0, 0}, {1, 1}, {2, 2}, {3, 3}};
        QTest::newRow("tab") << QByteArray("a\tb") << QList<QPoint>{{0, 0}, {1, 1}, {2, 8}, {3, 9}};
        QTest::newRow("tab on a stop") << QByteArray("abcdefgh\tx") << QList<QPoint>{{8, 8}, {9, 16}, {10, 17}};
        QTest::newRow("tabs only") << QByteArray("\t\t") << QList<QPoint>{{0, 0}, {1, 8}, {2, 16}};
        QTest::newRow("trailing tab") << QByteArray("tail\t") << QList<QPoint>{{4, 4}, {5, 8}};
        QTest::newRow("two-byte character") << QByteArray("\xC3\xA9\tx") << QList<QPoint>{{0, 0}, {2, 1}, {3, 8}, {4, 9}};
        QTest::newRow("empty") << QByteArray() << QList<QPoint>{{0, 0}};
    }

    void cells_and_tab_stops()
    {
        QFETCH(QByteArray, line);
        QFETCH(QList<QPoint>, columns);
        const LineGeometry geometry(pixel_font(QStringLiteral("Courier")));
        const qreal cell = geometry.char_width();
        const std::string text = bytes_of(line);
        for (const QPoint& boundary : columns) {
            const auto byte = static_cast<std::size_t>(boundary.x());
            const qreal x = boundary.y() * cell;
            QCOMPARE(geometry.x_of(text, byte), x);
            // A point a quarter cell either side still hits the same boundary.
            QCOMPARE(geometry.byte_at_x(text, x + cell / 4), byte);
            QCOMPARE(geometry.byte_at_x(text, x - cell / 4), byte);
        }
        QCOMPARE(geometry.byte_at_x(text, 1000 * cell), text.size());
        QCOMPARE(geometry.byte_at_x(text, -cell), std::size_t(0));
    }

    void a_tab_follows_the_painted_width_data()
    {
        // Kerned pairs and combining marks: the characters' own advances can add up to more
        // than the stretch measures when drawn, with kerning here past the next tab stop.
        QTest::addColumn<QByteArray>("before_tab");
        QTest::newRow("kerning") << QByteArray("AV WA To");
        QTest::newRow("combining marks") << QByteArray("comb e\xCC\x81\xCC\x81");
        QTest::newRow("plain") << QByteArray("plain");
    }

    void a_tab_follows_the_painted_width()
    {
        QFETCH(QByteArray, before_tab);
        const QFont font = pixel_font(QStringLiteral("DejaVu Serif"));
        const LineGeometry geometry(font);
        const QFontMetricsF metrics(font);
        const qreal tab = 8 * metrics.horizontalAdvance(QLatin1Char(' '));
        const qreal drawn = metrics.horizontalAdvance(QString::fromUtf8(before_tab));
        const qreal after_tab = (std::floor(drawn / tab) + 1) * tab;

        const std::string line = bytes_of(before_tab + "\tLT");
        const std::size_t l = before_tab.size() + 1;
        QCOMPARE(geometry.x_of(line, l), after_tab);
        QCOMPARE(geometry.byte_at_x(line, after_tab + 1), l);
        QCOMPARE(geometry.x_of(line, line.size()), after_tab + metrics.horizontalAdvance(QStringLiteral("L")) +
                                                         metrics.horizontalAdvance(QStringLiteral("T")));
    }

    void pieces_run_between_tabs()
    {
        const LineGeometry geometry(pixel_font(QStringLiteral("Courier")));
        const qreal cell = geometry.char_width();
        const std::string line = "ab\tcd\t\te";
        QList<QPoint> pieces;
        QList<qreal> starts;
        LinePieces piece(geometry, line);
        for (; !piece.at_end(); piece.next()) {
            pieces << QPoint(int(piece.from()), int(piece.to()));
            starts << piece.x();
            QCOMPARE(piece.text(), QString::fromStdString(line.substr(piece.from(), piece.to() - piece.from())));
            QCOMPARE(piece.width(), qreal(piece.to() - piece.from()) * cell);
        }
        QCOMPARE(pieces, (QList<QPoint>{{0, 2}, {3, 5}, {6, 6}, {7, 8}}));
        QCOMPARE(starts, (QList<qreal>{0, 8 * cell, 16 * cell, 24 * cell}));
        QCOMPARE(piece.x(), 25 * cell);
        QCOMPARE(piece.x(), geometry.x_of(line, line.size()));
    }
};

QTEST_MAIN(TestTextViewGeometry)
#include "test_text_view_geometry.moc"
