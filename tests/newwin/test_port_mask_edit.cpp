// The port field: what it reads back after typing and setting, and one notification per real change.

#include "newwin/port_mask_edit.h"

#include <QtTest>

using newwin::PortMaskEdit;

class TestPortMaskEdit : public QObject {
    Q_OBJECT

private:
    // Runs a script of steps separated by '|': "at:N" puts the cursor before position N,
    // "type:T" types T, "key:backspace", "key:delete", "selectall", "set:T" calls SetText(T).
    static void run(PortMaskEdit& field, const QString& script)
    {
        for (const QString& step : script.split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
            const QString argument = step.section(QLatin1Char(':'), 1);
            if (step.startsWith(QLatin1String("at:")))
                field.setCursorPosition(argument.toInt());
            else if (step.startsWith(QLatin1String("type:")))
                QTest::keyClicks(&field, argument);
            else if (step == QLatin1String("key:backspace"))
                QTest::keyClick(&field, Qt::Key_Backspace);
            else if (step == QLatin1String("key:delete"))
                QTest::keyClick(&field, Qt::Key_Delete);
            else if (step == QLatin1String("selectall"))
                field.selectAll();
            else if (step.startsWith(QLatin1String("set:")))
                field.SetText(argument);
            else
                QFAIL(qPrintable(QStringLiteral("unknown step ") + step));
        }
    }

private Q_SLOTS:
    void starts_with_five_blanks()
    {
        PortMaskEdit field;
        QCOMPARE(field.Text(), QStringLiteral("     "));
        QCOMPARE(field.maxLength(), 5);
    }

    void reads_back_five_positions_data()
    {
        QTest::addColumn<QString>("before");  // steps run before counting starts
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("changes");

        QTest::newRow("typed 80 from the start") << "" << "at:0|type:80" << "80   " << 2;
        QTest::newRow("digits in second and fourth position")
            << "" << "at:1|type:1|at:3|type:2" << " 1 2 " << 2;
        QTest::newRow("five digits fill every position") << "" << "at:0|type:65535" << "65535" << 5;
        QTest::newRow("a sixth digit is refused") << "set:12345" << "at:5|type:6" << "12345" << 0;
        QTest::newRow("letters and signs are refused") << "" << "at:0|type:a-x." << "     " << 0;
        QTest::newRow("a digit typed over the same digit") << "set:80" << "at:0|type:8" << "80   " << 0;
        QTest::newRow("a digit typed over another digit") << "set:80" << "at:0|type:9" << "90   " << 1;
        QTest::newRow("backspace blanks a position") << "set:8080" << "at:4|key:backspace" << "808  " << 1;
        QTest::newRow("delete on a blank changes nothing") << "set:80" << "at:3|key:delete" << "80   " << 0;
        QTest::newRow("deleting everything") << "set:8080" << "selectall|key:delete" << "     " << 1;
        QTest::newRow("set a number") << "" << "set:8080" << "8080 " << 1;
        QTest::newRow("set the text it already shows") << "set:8080" << "set:8080" << "8080 " << 0;
        // QLineEdit::text() is "12" both before and after; the five positions differ.
        QTest::newRow("set the same digits at other positions")
            << "at:1|type:1|at:3|type:2" << "set:12" << "12   " << 1;
        QTest::newRow("set with blanks keeps their positions") << "" << "set: 1 2 " << " 1 2 " << 1;
        QTest::newRow("set a longer number keeps five digits") << "" << "set:123456" << "12345" << 1;
        QTest::newRow("set empty") << "set:80" << "set:" << "     " << 1;
        QTest::newRow("set then type") << "" << "set:80|at:2|type:8" << "808  " << 2;
    }

    void reads_back_five_positions()
    {
        QFETCH(QString, before);
        QFETCH(QString, steps);
        QFETCH(QString, expected);
        QFETCH(int, changes);

        PortMaskEdit field;
        field.show();
        field.setFocus();
        run(field, before);
        int notified = 0;
        QString text_when_notified;
        field.OnChange = [&] {
            ++notified;
            text_when_notified = field.Text();
        };
        run(field, steps);
        QCOMPARE(field.Text(), expected);
        QCOMPARE(notified, changes);
        if (changes > 0)
            QCOMPARE(text_when_notified, expected);  // raised after the change, not before
    }
};

QTEST_MAIN(TestPortMaskEdit)
#include "test_port_mask_edit.moc"
