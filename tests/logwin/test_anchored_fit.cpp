// A form laid out by anchors, fitted to its font: grown controls push their row and their
// column keeps together, and what is held at the right edge stays there as the form grows.

#include "logwin/anchored_layout.h"
#include "platform/text_fit.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace logwin;

class TestAnchoredFit : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void grown_rows_keep_their_anchors()
    {
        QWidget form;
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(12);
        form.setFont(font);
        form.resize(300, 100);
        auto* layout = new AnchoredLayout(&form, {300, 100});
        // The label takes its width from its text and reaches into the field after it.
        auto* label = new QLabel(QStringLiteral("Name of the alert:"), &form);
        layout->add(label, {7, 10, 0, 0}, akLeftTop);
        auto* name = new QLineEdit(&form);
        layout->add(name, {60, 6, 200, 22}, akLeftTop | akRight);
        auto* browse = new QPushButton(QStringLiteral("..."), &form);
        layout->add(browse, {266, 6, 26, 22}, akTop | akRight);
        // Two check boxes on a row that ends at the right margin; the first is cut.
        auto* color = new QCheckBox(QStringLiteral("&Color titlebar"), &form);
        layout->add(color, {60, 40, 40, 18}, akLeftTop);
        auto* notify = new QCheckBox(QStringLiteral("&Notify"), &form);
        const int notify_width = platform::text_width_needed(notify);
        layout->add(notify, {292 - notify_width, 40, notify_width, 18}, akLeftTop);
        const int cut = platform::text_width_needed(color) - 40;
        QVERIFY(cut > 0);

        platform::fit_text(&form);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));

        // The name field moves past its label, and the check box below it stays in its column.
        QVERIFY(name->x() > label->geometry().right());
        const int shift = name->x() - 60;
        QCOMPARE(color->x(), name->x());
        QCOMPARE(color->width(), 40 + cut);
        QCOMPARE(notify->x(), 292 - notify_width + shift + cut);
        QCOMPARE(form.width(), 300 + shift + cut);
        for (const int width : {form.width(), form.width() + 50}) {
            form.resize(width, 100);
            QTRY_COMPARE(browse->geometry().right(), width - 9);
            QCOMPARE(browse->x() - (name->x() + name->width()), 6);
            QCOMPARE(notify->x(), 292 - notify_width + shift + cut);
        }
    }
};

QTEST_MAIN(TestAnchoredFit)
#include "test_anchored_fit.moc"
