// What the view shows of where lines came from: each syslog severity in its colours, and the
// sender address strip beside the text, which clicks and the caret account for.

#include "colormemo/severity_colors.h"
#include "memo_window.h"

#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

using memo_test::first_ink_column;
using memo_test::Window;

namespace {

platform::PeerAddress address(const char* text)
{
    sockaddr_in6 socket_address{};
    socket_address.sin6_family = AF_INET6;
    inet_pton(AF_INET6, text, &socket_address.sin6_addr);
    return platform::PeerAddress::from_socket_address(reinterpret_cast<const sockaddr&>(socket_address));
}

// The colour most pixels of the area have, leaving out `except`.
QRgb most_frequent(const QImage& image, QRect area, std::optional<QRgb> except = std::nullopt)
{
    std::map<QRgb, int> counts;
    area &= image.rect();
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixel(x, y) != except)
                ++counts[image.pixel(x, y)];
    const auto most = std::max_element(counts.begin(), counts.end(),
                                       [](const auto& a, const auto& b) { return a.second < b.second; });
    return most == counts.end() ? 0 : most->first;
}

}  // namespace

class TestLineOriginsView : public QObject {
    Q_OBJECT

private slots:
    void each_severity_is_drawn_in_its_colours_data()
    {
        QTest::addColumn<QColor>("background");
        QTest::addColumn<QColor>("text");
        QTest::addColumn<int>("severity");  // -1: a line without a priority
        const QColor light_text(0x10, 0x10, 0x10), dark_text(0xD4, 0xD4, 0xD4);
        for (const auto& [name, background, text] : {std::tuple{"light", QColor(Qt::white), light_text},
                                                     std::tuple{"dark", QColor(0x1E, 0x1E, 0x1E), dark_text}})
            for (int severity = -1; severity < 8; ++severity)
                QTest::addRow("%s, severity %d", name, severity) << background << text << severity;
    }

    void each_severity_is_drawn_in_its_colours()
    {
        QFETCH(QColor, background);
        QFETCH(QColor, text);
        QFETCH(int, severity);
        Window window("");
        window.memo->SetColor(platform::color_from_rgb(background.red(), background.green(), background.blue()));
        window.memo->SetFontColor(platform::color_from_rgb(text.red(), text.green(), text.blue()));
        // Without antialiasing every inked pixel is the text colour itself.
        QFont font = window.memo->font();
        font.setStyleStrategy(QFont::NoAntialias);
        window.memo->setFont(font);
        // Line k has severity k (the facility above it), the last line none.
        std::vector<std::string> texts;
        std::vector<std::uint8_t> priorities;
        for (int k = 0; k < 8; ++k) {
            texts.push_back("<" + std::to_string(k) + "> the message of severity " + std::to_string(k) + " ======");
            priorities.push_back(static_cast<std::uint8_t>(3 * 8 + k));
        }
        window.lines.clear();
        window.lines.append(std::vector<std::string_view>(texts.begin(), texts.end()), lines::Arrival{0, {}, priorities});
        window.lines.append(std::vector<std::string_view>{"a plain line ======"});

        const int line = severity < 0 ? 8 : severity;
        const colormemo::SeverityColors expected =
            severity < 0 ? colormemo::SeverityColors{} : colormemo::severity_colors(severity, background);
        // The band spans the line's whole width; the glyphs' ink is the text colour.
        const QRgb band = expected.band.value_or(background).rgb();
        const QImage shown = window.shot();
        const QRect row = window.row(line);
        QCOMPARE(most_frequent(shown, row), band);
        QCOMPARE(most_frequent(shown, row, band), expected.text.value_or(text).rgb());
        // Only info shares the memo's text colour, and only the gravest three have a band.
        QCOMPARE(expected.text.has_value(), severity >= 0 && severity != 6);
        QCOMPARE(expected.band.has_value(), severity >= 0 && severity <= 2);
    }

    // The sender strip: addresses left of the text, the strip as wide as an IPv4 address and
    // wider for an IPv6 one, and clicks that find the character painted under them.
    void the_sender_strip_shows_addresses_left_of_the_text()
    {
        Window window("");
        TColorMemo& memo = *window.memo;
        window.lines.clear();
        const platform::PeerAddress senders[] = {address("::ffff:192.168.1.5")};
        window.lines.append(std::vector<std::string_view>{"first line"}, lines::Arrival{lines::no_arrival_time, senders, {}});
        window.lines.append(std::vector<std::string_view>{"typed"});
        const int height = memo.line_height();
        const auto text_left = [&] { return memo.position_of_offset(memo.line_start(0)).x(); };
        // The byte of `line` a click at its first ink right of the strips puts the caret before.
        const auto click_first_ink = [&](int line) {
            const int ink = first_ink_column(window.shot(), QRect(text_left(), line * height, 500, height));
            QTest::mouseClick(memo.viewport(), Qt::LeftButton, {}, QPoint(ink + 1, line * height + 2));
            return memo.caret_offset() - memo.line_start(line);
        };
        const int plain_left = text_left();
        memo.set_shows_sender_addresses(true);
        const int ipv4_left = text_left();
        QVERIFY(ipv4_left - plain_left > memo.string_width("255.255.255.255"));
        QCOMPARE(click_first_ink(0), lines::TextOffset{0});
        // Ink (in a muted colour: anything but the background) beside the line from
        // 192.168.1.5, none beside the typed one.
        const auto marked = [&](int line, int from, int to) {
            const QImage shown = window.shot();
            return most_frequent(shown, QRect(from, line * height, to - from, height), shown.pixel(0, 0)) != 0;
        };
        QVERIFY(marked(0, 0, ipv4_left - 2) && !marked(1, 0, ipv4_left - 2));

        // An IPv6 sender on screen widens the strip. The times go before the addresses: the
        // address of the line without a time starts right of the time strip.
        const platform::PeerAddress wide[] = {address("2001:db8:85a3::8a2e:370:7334")};
        window.lines.append(std::vector<std::string_view>{"from far away"}, lines::Arrival{1000, wide, {}});
        window.shot();
        const int ipv6_left = text_left();
        QVERIFY(ipv6_left - plain_left > memo.string_width("2001:db8:85a3::8a2e:370:7334"));
        memo.set_shows_arrival_times(true);
        const int times_width = text_left() - ipv6_left;
        QVERIFY(times_width > memo.string_width("00:00:00.000"));
        QVERIFY(!marked(0, 0, times_width) && marked(0, times_width, text_left() - 2) && marked(2, 0, times_width));
        QCOMPARE(click_first_ink(0), lines::TextOffset{0});
    }
};

QTEST_MAIN(TestLineOriginsView)
#include "test_line_origins_view.moc"
