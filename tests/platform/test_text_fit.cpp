// Fitting a form placed at fixed positions to its font: what grows, what moves along, what stays.

#include "platform/text_fit.h"

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

namespace {

// A dialog as the forms lay one out: a radio button with an edit field after it on its row, a
// label over the edit's row below, a narrow "..." button, and a button row with "Help" at the
// left and "OK" and "Cancel" at the right edge.
struct Form {
    QDialog dialog;
    QRadioButton* radio = new QRadioButton(QStringLiteral("Pre-Configured:"), &dialog);
    QLineEdit* edit = new QLineEdit(&dialog);
    QLabel* label = new QLabel(QStringLiteral("Command:"), &dialog);
    QLineEdit* command = new QLineEdit(&dialog);
    QPushButton* browse = new QPushButton(QStringLiteral("..."), &dialog);
    QPushButton* help = new QPushButton(QStringLiteral("&Help"), &dialog);
    QPushButton* ok = new QPushButton(QStringLiteral("OK"), &dialog);
    QPushButton* cancel = new QPushButton(QStringLiteral("Cancel"), &dialog);

    // radio_cut: how much narrower than its text the radio button is made; edit_end: where the
    // edit field after it ends (the button row ends at 292, 8 pixels from the form's edge).
    Form(int radio_cut, int edit_end)
    {
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(12);
        dialog.setFont(font);
        dialog.setFixedSize(300, 120);
        const int radio_width = platform::text_width_needed(radio) - radio_cut;
        radio->setGeometry(8, 8, radio_width, 18);
        edit->setGeometry(8 + radio_width + 6, 6, edit_end - (8 + radio_width + 6), 22);
        label->adjustSize();
        label->move(8, 44);
        command->setGeometry(8 + label->width() + 6, 40, 100, 22);
        browse->setGeometry(command->x() + command->width() + 3, 40, 20, 22);
        help->setGeometry(8, 90, 80, 24);
        ok->setGeometry(128, 90, 80, 24);
        cancel->setGeometry(212, 90, 80, 24);
        platform::fit_text(&dialog);
    }

    QList<QRect> places() const
    {
        QList<QRect> rects;
        for (const QWidget* control : dialog.findChildren<QWidget*>())
            rects.append(control->geometry());
        return rects;
    }
};

void show(QDialog& dialog)
{
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
}

}  // namespace

class TestTextFit : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void a_form_made_for_its_font_keeps_every_place()
    {
        Form form(0, 250);
        const QList<QRect> before = form.places();
        show(form.dialog);
        QCOMPARE(form.places(), before);
        QCOMPARE(form.dialog.size(), QSize(300, 120));
        // Narrower than the style's least push button, yet wide enough for "...".
        QCOMPARE(form.browse->width(), 20);
    }

    void a_cut_control_grows_and_its_row_moves_along_data()
    {
        QTest::addColumn<int>("edit_end");
        QTest::addColumn<int>("form_growth");
        QTest::newRow("room left on the row") << 250 << 0;
        QTest::newRow("row at the form's margin") << 292 << 15;
    }
    void a_cut_control_grows_and_its_row_moves_along()
    {
        QFETCH(int, edit_end);
        QFETCH(int, form_growth);
        const int cut = 15;
        Form form(cut, edit_end);
        const QRect edit = form.edit->geometry();
        const QRect command = form.command->geometry();
        const QRect help = form.help->geometry();
        const QRect ok = form.ok->geometry();
        const QRect cancel = form.cancel->geometry();
        show(form.dialog);

        QCOMPARE(form.radio->width(), platform::text_width_needed(form.radio));
        QCOMPARE(form.edit->geometry(), edit.translated(cut, 0));
        QCOMPARE(form.command->geometry(), command);
        QCOMPARE(form.dialog.size(), QSize(300 + form_growth, 120));
        // The button row keeps to the right edge; "Help" stays at the left.
        QCOMPARE(form.help->geometry(), help);
        QCOMPARE(form.ok->geometry(), ok.translated(form_growth, 0));
        QCOMPARE(form.cancel->geometry(), cancel.translated(form_growth, 0));
    }

    void a_label_wider_than_its_place_pushes_the_fields_after_it()
    {
        Form form(0, 250);
        // The label sized itself to a longer text: it now reaches into the field after it.
        form.label->setText(QStringLiteral("Command to run:"));
        form.label->adjustSize();
        QVERIFY(form.label->geometry().intersects(form.command->geometry()));
        const QRect radio = form.radio->geometry();
        show(form.dialog);
        QVERIFY(form.command->x() > form.label->geometry().right());
        QCOMPARE(form.command->width(), 100);
        QCOMPARE(form.browse->x() - (form.command->x() + form.command->width()), 3);
        QCOMPARE(form.radio->geometry(), radio);
    }

    void a_larger_font_fits_again()
    {
        Form form(0, 150);
        show(form.dialog);
        QFont larger = form.dialog.font();
        larger.setPixelSize(18);
        form.dialog.setFont(larger);
        for (const QWidget* control : form.dialog.findChildren<QWidget*>())
            QVERIFY2(platform::text_width_needed(control) <= control->width(), qPrintable(control->objectName()));
        QVERIFY(form.ok->geometry().right() < form.cancel->x());
        QVERIFY(form.cancel->geometry().right() < form.dialog.width());
    }
};

QTEST_MAIN(TestTextFit)
#include "test_text_fit.moc"
