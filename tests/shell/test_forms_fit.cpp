// Every form of the program, shown as a user sees it in the font and display scale of the run:
// no text is cut, no text control leaves its parent or lies over another control, and no two
// controls answer to the same Alt key.

#include "help/help_viewer.h"
#include "help/helpsys.h"
#include "logwin/log_window.h"
#include "logwin/save_configuration_dialog.h"
#include "loopback.h"
#include "newwin/new_window_dialog.h"
#include "open_window.h"
#include "platform/form_layout.h"
#include "platform/message_box.h"
#include "platform/text_fit.h"
#include "shell/startup.h"
#include "shell/about_dialog.h"
#include "shell/main_window.h"
#include "shell/options_dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

QString text_of(const QWidget* control)
{
    if (const auto* label = qobject_cast<const QLabel*>(control))
        return label->text();
    if (const auto* box = qobject_cast<const QGroupBox*>(control))
        return box->title();
    if (const auto* button = qobject_cast<const QAbstractButton*>(control))
        return button->text();
    return {};
}

// The letter after a single '&', lower-cased; none when the text has no mnemonic.
QChar mnemonic_of(const QString& text)
{
    for (qsizetype index = 0; index + 1 < text.size(); ++index) {
        if (text[index] != QLatin1Char('&'))
            continue;
        if (text[index + 1] != QLatin1Char('&'))
            return text[index + 1].toLower();
        ++index;  // "&&" is a shown '&'
    }
    return {};
}

QList<QWidget*> shown_children(const QWidget* parent, const QWidget* form)
{
    QList<QWidget*> children = parent->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    children.removeIf([form](const QWidget* child) { return child->isWindow() || !child->isVisibleTo(form); });
    return children;
}

// What is wrong with the text controls of a shown form, one line each.
QStringList faults_of(const QWidget* form)
{
    QStringList faults;
    const QList<QWidget*> controls = form->findChildren<QWidget*>();
    // Alt and a letter two controls share moves the focus between them instead of pressing one.
    QHash<QChar, QString> mnemonics;
    for (const QWidget* control : controls) {
        const QChar letter = mnemonic_of(text_of(control));
        if (letter.isNull() || control->isWindow() || !control->isVisibleTo(form))
            continue;
        const QString name = QStringLiteral("%1 \"%2\"").arg(control->objectName(), text_of(control));
        if (mnemonics.contains(letter))
            faults << QStringLiteral("%1 and %2 share Alt+%3").arg(mnemonics[letter], name, letter.toUpper());
        else
            mnemonics.insert(letter, name);
    }
    for (const QWidget* control : controls) {
        const int needed = platform::text_width_needed(control);
        if (needed == 0 || control->isWindow() || !control->isVisibleTo(form))
            continue;
        const QString name = QStringLiteral("%1 \"%2\"").arg(control->objectName(), text_of(control));
        if (needed > control->width())
            faults << QStringLiteral("%1 needs %2 px, has %3").arg(name).arg(needed).arg(control->width());
        const QWidget* parent = control->parentWidget();
        if (!parent->rect().contains(control->geometry()))
            faults << QStringLiteral("%1 leaves %2").arg(name, parent->objectName());
        for (const QWidget* sibling : shown_children(parent, form))
            if (sibling != control && sibling->geometry().intersects(control->geometry()))
                faults << QStringLiteral("%1 lies over %2 \"%3\"").arg(name, sibling->objectName(), text_of(sibling));
    }
    // A tab bar too narrow for its captions scrolls them out of sight.
    for (const QTabBar* bar : form->findChildren<QTabBar*>())
        for (int index = 0; bar->isVisibleTo(form) && index < bar->count(); ++index)
            if (!bar->rect().contains(bar->tabRect(index)))
                faults << QStringLiteral("%1 cuts the tab \"%2\"").arg(bar->parentWidget()->objectName(), bar->tabText(index));
    // A tool bar too narrow for its buttons hides the last ones behind its extension button.
    for (const QToolBar* bar : form->findChildren<QToolBar*>())
        for (QAction* action : bar->actions())
            if (action->isVisible() && !bar->widgetForAction(action)->isVisibleTo(form))
                faults << QStringLiteral("%1 hides \"%2\"").arg(bar->objectName(), action->text());
    return faults;
}

}  // namespace

using FormMaker = std::function<QWidget*()>;
Q_DECLARE_METATYPE(FormMaker)

class TestFormsFit : public QObject {
    Q_OBJECT

private:
    QTemporaryDir folder;
    std::unique_ptr<shell::MainWindow> frame;
    std::vector<std::unique_ptr<QWidget>> dialogs;

    QWidget* log_window_at(int tab)
    {
        if (frame->log_window_count() == 0)
            open_test_window(*frame, loopback::free_port(), QString(), QStringLiteral("Fit"), QString(),
                                   QStringLiteral("unsaved"));
        logwin::LogWindow* window = frame->log_window(0);
        window->findChild<QTabWidget*>(QStringLiteral("PageControl1"))->setCurrentIndex(tab);
        return window;
    }
    template <typename Dialog>
    QWidget* dialog()
    {
        dialogs.push_back(std::make_unique<Dialog>());
        return dialogs.back().get();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(folder.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder.filePath(QStringLiteral("config"))));
        QVERIFY(QFile::copy(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("vesmira.chm")),
                            folder.filePath(QStringLiteral("vesmira.chm"))));
        help::initialize_help(folder.path());
        platform::set_message_box_handler(
            [](const QString&, const QString&, platform::MessageIcon) { return platform::MessageAnswer::Ok; });
        // A run for a font must get that font, or it proves nothing about it.
        const QString family = QString::fromUtf8(qgetenv("VESMIRA_TEST_FONT"));
        if (!family.isEmpty()) {
            QCOMPARE(QFontInfo(platform::interface_font(10)).family(), family);
            QApplication::setFont(QFont(family));
            QCOMPARE(QFontInfo(QApplication::font()).family(), family);
        }
        frame = shell::create_main_windows();
        frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
    }
    void cleanupTestCase()
    {
        dialogs.clear();
        for (int index = frame->log_window_count() - 1; index >= 0; --index)
            frame->log_window(index)->shut_down();
        frame.reset();
    }

    void form_shows_whole_texts_data()
    {
        QTest::addColumn<FormMaker>("make");
        // The status bar with its longest text.
        QTest::newRow("frame") << FormMaker([this] {
            frame->note_alert_raised();
            return static_cast<QWidget*>(frame.get());
        });
        QTest::newRow("log window, view") << FormMaker([this] { return log_window_at(0); });
        QTest::newRow("log window, alerts") << FormMaker([this] { return log_window_at(1); });
        QTest::newRow("New window") << FormMaker([this] { return dialog<newwin::NewWindowDialog>(); });
        // With the fingerprint it shows once opened.
        QTest::newRow("Global options") << FormMaker([this] {
            auto* options = static_cast<shell::OptionsDialog*>(dialog<shell::OptionsDialog>());
            options->load_certificate();
            return options;
        });
        QTest::newRow("Save configuration") << FormMaker([this] { return dialog<logwin::SaveConfigurationDialog>(); });
        QTest::newRow("About") << FormMaker([this] { return dialog<shell::AboutDialog>(); });
        QTest::newRow("help viewer") << FormMaker([] {
            return help::html_help(QStringLiteral("vesmira.chm"), help::HH_HELP_CONTEXT, help::context_new_window_dialog);
        });
    }
    void form_shows_whole_texts()
    {
        QFETCH(FormMaker, make);
        QWidget* form = make();
        QVERIFY(form != nullptr);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form->window()));
        // Each form has texts to check, or the walk proves nothing.
        QVERIFY(std::ranges::any_of(form->findChildren<QWidget*>(), [form](const QWidget* control) {
            return control->isVisibleTo(form) && platform::text_width_needed(control) > 0;
        }));
        const QStringList faults = faults_of(form);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("\n  "))));
    }
};

QTEST_MAIN(TestFormsFit)
#include "test_forms_fit.moc"
