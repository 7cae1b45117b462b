// Integer conversion, the default error report and the modal message box.

#include "platform/error_report.h"
#include "platform/int_conversion.h"
#include "platform/message_box.h"
#include "platform/real_message_box.h"
#include "platform/system_colors.h"

#include <QApplication>
#include <QAbstractButton>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

#include <stdexcept>

using namespace platform;

namespace {

struct RecordedBox {
    QString text;
    QString caption;
    MessageIcon icon;
};

}  // namespace

class TestPlatform : public QObject {
    Q_OBJECT

private:
    QList<RecordedBox> boxes;

    void record_boxes()
    {
        boxes.clear();
        set_message_box_handler([this](const QString& text, const QString& caption, MessageIcon icon) {
            boxes.append({text, caption, icon});
            return MessageAnswer::Ok;
        });
    }

private Q_SLOTS:
    void initTestCase() { use_real_message_boxes(); }
    void cleanup() { set_message_box_handler({}); }

    void a_recorder_stands_in_for_the_real_box_until_it_is_removed()
    {
        QStringList real_boxes;
        set_real_message_box([&](const QString& text, const QString&, MessageIcon) {
            real_boxes << text;
            return MessageAnswer::Yes;
        });
        record_boxes();
        QCOMPARE(show_message(QStringLiteral("recorded"), QStringLiteral("Test"), MessageIcon::Question),
                 MessageAnswer::Ok);
        QCOMPARE(boxes.size(), 1);
        QVERIFY(real_boxes.isEmpty());

        set_message_box_handler({});
        QCOMPARE(show_message(QStringLiteral("shown"), QStringLiteral("Test"), MessageIcon::Question),
                 MessageAnswer::Yes);
        QCOMPARE(real_boxes, QStringList{QStringLiteral("shown")});

        // Without a real box (a program without widgets) a question is answered as a closed box.
        set_real_message_box({});
        QCOMPARE(show_message(QStringLiteral("nowhere"), QStringLiteral("Test"), MessageIcon::Question),
                 MessageAnswer::No);
        QCOMPARE(show_message(QStringLiteral("nowhere"), QStringLiteral("Test"), MessageIcon::Error),
                 MessageAnswer::Ok);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(real_boxes.size(), 1);
        use_real_message_boxes();
    }

    void converts_integers_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("value");
        QTest::newRow("plain") << QByteArray("8080") << true << 8080;
        QTest::newRow("leading blanks") << QByteArray("  80") << true << 80;
        QTest::newRow("negative") << QByteArray("-1") << true << -1;
        QTest::newRow("plus sign") << QByteArray("+7") << true << 7;
        QTest::newRow("hex dollar") << QByteArray("$FF") << true << 255;
        QTest::newRow("hex 0x") << QByteArray("0x10") << true << 16;
        QTest::newRow("hex x") << QByteArray("x1f") << true << 31;
        QTest::newRow("hex all bits") << QByteArray("$FFFFFFFF") << true << -1;
        QTest::newRow("largest") << QByteArray("2147483647") << true << 2147483647;
        QTest::newRow("smallest") << QByteArray("-2147483648") << true << int(-2147483647 - 1);
        QTest::newRow("five digits") << QByteArray("99999") << true << 99999;
        QTest::newRow("too large") << QByteArray("2147483648") << false << 0;
        QTest::newRow("hex too large") << QByteArray("$100000000") << false << 0;
        QTest::newRow("blank between digits") << QByteArray("8 0") << false << 0;
        QTest::newRow("trailing blank") << QByteArray("80 ") << false << 0;
        QTest::newRow("empty") << QByteArray("") << false << 0;
        QTest::newRow("sign only") << QByteArray("-") << false << 0;
        QTest::newRow("hex prefix only") << QByteArray("$") << false << 0;
        QTest::newRow("letters") << QByteArray("abc") << false << 0;
        QTest::newRow("hex digit in decimal") << QByteArray("12a") << false << 0;
    }

    void converts_integers()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, valid);
        QFETCH(int, value);
        const std::string input = text.toStdString();
        if (valid) {
            QCOMPARE(str_to_int(input), value);
        } else {
            try {
                str_to_int(input);
                QFAIL("no error raised");
            } catch (const EConvertError& error) {
                QCOMPARE(QString::fromUtf8(error.what()),
                         QStringLiteral("'%1' ist kein gültiger Integerwert").arg(QString::fromStdString(input)));
            }
        }
    }

    void report_appends_full_stop_only_after_dot()
    {
        QCOMPARE(error_report_text("Asynchroner Socket-Fehler 104"), QStringLiteral("Asynchroner Socket-Fehler 104."));
        QCOMPARE(error_report_text("Already done."), QStringLiteral("Already done."));
        QCOMPARE(error_report_text("Question?"), QStringLiteral("Question?."));
        QCOMPARE(error_report_text("Stop!"), QStringLiteral("Stop!"));
        QCOMPARE(error_report_text("ends in a blank "), QStringLiteral("ends in a blank "));
        QCOMPARE(error_report_text(""), QString());
        QCOMPARE(error_report_text("gültig"), QStringLiteral("gültig."));
    }

    void guard_reports_and_skips_the_rest_of_the_handler()
    {
        record_boxes();
        bool rest_ran = false;
        guarded([&] {
            throw std::runtime_error("Konnte Daten für 'x' nicht holen");
            rest_ran = true;
        });
        QVERIFY(!rest_ran);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].text, QStringLiteral("Konnte Daten für 'x' nicht holen."));
        QCOMPARE(boxes[0].caption, QStringLiteral("Vesmira"));
        QCOMPARE(boxes[0].icon, MessageIcon::Error);

        guarded([] {});
        QCOMPARE(boxes.size(), 1);
    }

    void network_errors_never_nest_boxes()
    {
        // A reset arriving while the first report is open must not open a box inside it.
        int nested_boxes = 0;
        int depth = 0;
        set_message_box_handler([&](const QString&, const QString&, MessageIcon) {
            ++depth;
            nested_boxes = std::max(nested_boxes, depth);
            if (depth == 1) {
                for (int i = 0; i < 3; ++i)
                    guarded([] { throw std::runtime_error("Asynchroner Socket-Fehler 104"); }, ErrorSource::Network);
            }
            --depth;
            return MessageAnswer::Ok;
        });
        guarded([] { throw std::runtime_error("Asynchroner Socket-Fehler 104"); }, ErrorSource::Network);
        QCOMPARE(nested_boxes, 1);

        // A user-raised error inside still gets its own box.
        nested_boxes = 0;
        set_message_box_handler([&](const QString&, const QString&, MessageIcon) {
            ++depth;
            nested_boxes = std::max(nested_boxes, depth);
            if (depth == 1)
                guarded([] { throw std::runtime_error("inner"); }, ErrorSource::User);
            --depth;
            return MessageAnswer::Ok;
        });
        guarded([] { throw std::runtime_error("outer"); }, ErrorSource::Network);
        QCOMPARE(nested_boxes, 2);
    }

    void one_guard_for_every_error_box_of_a_network_event()
    {
        // The log window's "Oops" box and the error report share one guard: while either is
        // open, a network event's box of the other kind doesn't open inside it.
        QStringList captions;
        set_message_box_handler([&](const QString&, const QString& caption, MessageIcon) {
            captions.append(caption);
            if (captions.size() == 1) {
                guarded([] { throw std::runtime_error("Asynchroner Socket-Fehler 104"); }, ErrorSource::Network);
                show_error_box(QStringLiteral("full"), QStringLiteral("Oops"), ErrorSource::Network);
            }
            return MessageAnswer::Ok;
        });
        show_error_box(QStringLiteral("full"), QStringLiteral("Oops"), ErrorSource::Network);
        QCOMPARE(captions, QStringList{QStringLiteral("Oops")});
        guarded([] { throw std::runtime_error("reset"); }, ErrorSource::Network);
        QCOMPARE(captions, (QStringList{QStringLiteral("Oops"), QStringLiteral("Vesmira")}));
    }

    void real_box_shows_text_caption_and_icon()
    {
        QString seen_text;
        QString seen_caption;
        QMessageBox::Icon seen_icon = QMessageBox::NoIcon;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            seen_text = box->text();
            seen_caption = box->windowTitle();
            seen_icon = box->icon();
            box->button(QMessageBox::No)->click();
        });
        const MessageAnswer answer =
            show_message(QStringLiteral("Remove it?"), QStringLiteral("Question"), MessageIcon::Question);
        QCOMPARE(answer, MessageAnswer::No);
        QCOMPARE(seen_text, QStringLiteral("Remove it?"));
        QCOMPARE(seen_caption, QStringLiteral("Question"));
        QCOMPARE(seen_icon, QMessageBox::Question);
    }

    void resolves_plain_and_system_colours()
    {
        QCOMPARE(resolve_color(clRed), QColor(255, 0, 0));
        QCOMPARE(resolve_color(color_from_rgb(1, 2, 3)), QColor(1, 2, 3));
        QCOMPARE(resolve_color(clWindow), QGuiApplication::palette().color(QPalette::Active, QPalette::Base));
        QCOMPARE(resolve_color(clInactiveCaptionText), QColor(212, 208, 200));
    }
};

QTEST_MAIN(TestPlatform)
#include "test_platform.moc"
