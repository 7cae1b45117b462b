// The help object as the program uses it: "&Help" buttons, F1 in forms and menus, the
// diagnostic log, the missing-viewer warning, and the viewer showing the requested topic.

#include "help/help_viewer.h"
#include "help/helpsys.h"
#include "help/helpsys_funcs.h"
#include "platform/message_box.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QToolBar>
#include <QVBoxLayout>

#include <memory>

#include <unistd.h>

using namespace help;

namespace {

struct ShownBox {
    QString text, caption;
    platform::MessageIcon icon;
    QStringList log_at_the_time;
};

const QString created = R"(THookHelpSystem.Create("vesmira.chm","", 0))";

QStringList request_lines(int context, int code = 0)
{
    return {QString(R"(HHHelpContext("vesmira.chm", %1, "", 0))").arg(context), R"(ShowContext("vesmira.chm", 0))",
            QString("  returned - %1").arg(code)};
}

QTextBrowser* viewer_browser()
{
    QWidget* viewer = help_viewer_window();
    return viewer ? viewer->findChild<QTextBrowser*>("help_browser") : nullptr;
}

}  // namespace

class TestHelpSystem : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> run_dir;
    QList<ShownBox> boxes;

    // The log's messages, each without the tab and time stamp behind it.
    QStringList log() const
    {
        QFile file(QDir(run_dir->path()).filePath("HHDebug.txt"));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList messages;
        for (const QString& line : QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts))
            messages << line.left(line.lastIndexOf('\t'));
        return messages;
    }

    void start_in_run_dir()
    {
        run_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QFile::copy(QDir(QCoreApplication::applicationDirPath()).filePath("vesmira.chm"),
                            run_dir->filePath("vesmira.chm")));
        initialize_help(run_dir->path());
    }

private slots:
    void init()
    {
        boxes.clear();
        platform::set_message_box_handler([this](const QString& text, const QString& caption, platform::MessageIcon icon) {
            boxes.append({text, caption, icon, log()});
            return platform::MessageAnswer::Ok;
        });
        start_in_run_dir();
    }
    void cleanup() { platform::set_message_box_handler({}); }

    void help_button_shows_its_topic_without_a_help_event()
    {
        THookHelpSystem help_system("vesmira.chm", "", 0);
        QDialog dialog;
        set_help_context(&dialog, context_new_window_dialog);
        auto* button = new QPushButton("&Help", &dialog);
        connect(button, &QPushButton::clicked, [] { show_help_context(context_new_window_dialog); });
        dialog.setWindowModality(Qt::ApplicationModal);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTest::mouseClick(button, Qt::LeftButton);

        QCOMPARE(log(), QStringList{created} + request_lines(1500));
        QVERIFY(boxes.isEmpty());
        QVERIFY(viewer_browser());
        QCOMPARE(viewer_browser()->documentTitle(), QString("The New window dialog"));
        QVERIFY(help_viewer_window()->isVisible());
        QTRY_VERIFY(help_viewer_window()->isActiveWindow());

        // The modal dialog stays open, yet the viewer takes clicks from the window system.
        auto* contents = help_viewer_window()->findChild<QToolBar*>()->widgetForAction(
            help_viewer_window()->findChild<QAction*>("help_contents"));
        QVERIFY(QTest::qWaitForWindowExposed(help_viewer_window()));
        QTest::mouseClick(help_viewer_window()->windowHandle(), Qt::LeftButton, {},
                          contents->mapTo(help_viewer_window(), contents->rect().center()));
        QTRY_COMPARE(viewer_browser()->documentTitle(), QString("Vesmira Help"));
    }

    void f1_asks_for_the_nearest_context_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("context");  // 0: no help event at all
        QTest::newRow("field in a dialog") << "dialog_field" << 1500;
        QTest::newRow("dialog itself") << "dialog" << 1500;
        QTest::newRow("control with its own context") << "own_context_field" << 1700;
        QTest::newRow("about dialog has none") << "about_ok" << 0;
        QTest::newRow("alert tab") << "alert_field" << 1900;
        QTest::newRow("view tab of a log window") << "memo1" << 1800;
        QTest::newRow("frame") << "frame_button" << 1400;
    }
    void f1_asks_for_the_nearest_context()
    {
        QFETCH(QString, target);
        QFETCH(int, context);
        THookHelpSystem help_system("vesmira.chm", "", 0);

        QWidget frame;
        frame.setObjectName("frame");
        set_help_context(&frame, context_frame);
        auto* frame_layout = new QVBoxLayout(&frame);
        frame_layout->addWidget(new QPushButton("frame", &frame));
        frame_layout->itemAt(0)->widget()->setObjectName("frame_button");
        auto* log_window = new QWidget(&frame);
        set_help_context(log_window, context_log_window);
        frame_layout->addWidget(log_window);
        auto* pages = new QTabWidget(log_window);
        auto* memo = new QPlainTextEdit;
        memo->setObjectName("memo1");
        pages->addTab(memo, "&View");
        auto* alert_tab = new QWidget;
        set_help_context(alert_tab, context_alert_tab);
        (new QLineEdit(alert_tab))->setObjectName("alert_field");
        pages->addTab(alert_tab, "&Alert");

        // Dialogs are parented to the frame, yet F1 stops at their own border.
        auto* dialog = new QDialog(&frame);
        dialog->setObjectName("dialog");
        set_help_context(dialog, context_new_window_dialog);
        (new QLineEdit(dialog))->setObjectName("dialog_field");
        auto* own = new QLineEdit(dialog);
        own->setObjectName("own_context_field");
        set_help_context(own, context_save_configuration);
        auto* about = new QDialog(&frame);
        (new QPushButton("OK", about))->setObjectName("about_ok");

        frame.show();
        dialog->show();
        about->show();
        pages->setCurrentWidget(target == "memo1" ? static_cast<QWidget*>(memo) : alert_tab);
        auto* widget = frame.findChild<QWidget*>(target);
        if (target == "dialog")
            widget = dialog;
        QVERIFY(widget);
        QTest::keyClick(widget, Qt::Key_F1);

        const QStringList expected = context == 0
            ? QStringList{created}
            : QStringList{created, QString("THookHelpSystem.HelpHook(1, %1)").arg(context)} + request_lines(context);
        QCOMPARE(log(), expected);
    }

    void f1_on_a_menu_item_sends_its_context_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<int>("context");
        QTest::addColumn<QString>("title");
        QTest::newRow("New") << "&New" << 1001 << "Opening a log window";
        QTest::newRow("Quit has none") << "&Quit" << 0 << "Vesmira Help";
    }
    void f1_on_a_menu_item_sends_its_context()
    {
        QFETCH(QString, item);
        QFETCH(int, context);
        QFETCH(QString, title);
        THookHelpSystem help_system("vesmira.chm", "", 0);
        QMenu menu("&Vesmira");
        set_help_context(menu.addAction("&New"), context_new_action);
        menu.addSeparator();
        menu.addAction("&Quit");
        menu.popup(QPoint(10, 10));
        QTRY_VERIFY(menu.isVisible());
        for (QAction* action : menu.actions()) {
            if (action->text() == item)
                menu.setActiveAction(action);
        }
        QTest::keyClick(&menu, Qt::Key_F1);

        QCOMPARE(log(), QStringList({created, QString("THookHelpSystem.HelpHook(1, %1)").arg(context)}) +
                            request_lines(context));
        // A context the file doesn't map opens the contents page.
        QCOMPARE(viewer_browser()->documentTitle(), title);
        menu.close();
    }

    void destroying_the_help_object_restores_the_previous_handler()
    {
        QList<QPair<int, int>> earlier_handler_calls;
        set_application_help_handler([&](int command, int data, bool& call_help) {
            earlier_handler_calls.append({command, data});
            call_help = false;
            return true;
        });
        QDialog dialog;
        set_help_context(&dialog, context_global_options);
        dialog.show();
        {
            THookHelpSystem help_system("vesmira.chm", "", 0);
            QTest::keyClick(&dialog, Qt::Key_F1);
        }
        QCOMPARE(log().last(), QString("THookHelpSystem.Destroy"));
        QVERIFY(earlier_handler_calls.isEmpty());

        const int lines = static_cast<int>(log().size());
        QTest::keyClick(&dialog, Qt::Key_F1);
        show_help_context(context_contents);  // no help object: nothing happens
        QCOMPARE(earlier_handler_calls, (QList<QPair<int, int>>{{1, 1600}}));
        QCOMPARE(log().size(), lines);
        set_application_help_handler({});
    }

    void start_up_deletes_the_previous_log_data()
    {
        QTest::addColumn<bool>("marker");
        QTest::newRow("without debug.debug") << false;
        QTest::newRow("with debug.debug") << true;
    }
    void start_up_deletes_the_previous_log()
    {
        QFETCH(bool, marker);
        QFile old(run_dir->filePath("HHDebug.txt"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("a line of the previous run\t1.1.00 00:00\n");
        old.close();
        if (marker) {
            QFile file(run_dir->filePath("debug.debug"));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        initialize_help(run_dir->path() + "/");

        const QString dashes(80, '-');
        const QString version = help_module_state()._hhVerStr;
        QVERIFY(!version.isEmpty());
        const QStringList header{
            QString(R"(_RunDir = "%1")").arg(run_dir->path()),
            dashes,
            "_hhInstalled = YES",
            "_hhVerStr = " + version,
            "_hhFriendlyVerStr = " + help_module_state()._hhFriendlyVerStr,
            dashes,
            "_ieInstalled = YES",
            "_ieVerStr = " + help_module_state()._ieVerStr,
            "_ieFriendlyVerStr = " + help_module_state()._ieFriendlyVerStr,
            dashes,
        };
        QCOMPARE(log(), marker ? header : QStringList{});
        QCOMPARE(QFile::exists(run_dir->filePath("HHDebug.txt")), marker);
    }

    void help_file_and_log_follow_where_the_program_runs_data()
    {
        QTest::addColumn<bool>("installed");
        QTest::addColumn<QByteArray>("beside");  // the file beside the program, if any
        QTest::addColumn<bool>("read_only");
        QTest::addColumn<bool>("logs_beside");
        QTest::addColumn<bool>("help_shown");
        const QByteArray none;
        const QByteArray broken("not a help file");
        QTest::newRow("build tree") << false << QByteArray("chm") << false << true << true;
        QTest::newRow("installed") << true << none << false << false << true;
        QTest::newRow("installed, a file beside it wins") << true << broken << false << false << false;
        QTest::newRow("build tree the user can't write") << false << QByteArray("chm") << true << false << true;
    }
    void help_file_and_log_follow_where_the_program_runs()
    {
        QFETCH(bool, installed);
        QFETCH(QByteArray, beside);
        QFETCH(bool, read_only);
        QFETCH(bool, logs_beside);
        QFETCH(bool, help_shown);
        if (read_only && geteuid() == 0)
            QSKIP("root may write to any folder, so no folder is read-only to this test");

        const QString built_help = QDir(QCoreApplication::applicationDirPath()).filePath("vesmira.chm");
        QTemporaryDir prefix;
        const QString bin = prefix.filePath("bin");
        QVERIFY(QDir().mkpath(bin));
        if (installed) {
            const QString data = QDir::cleanPath(QDir(bin).filePath(VESMIRA_DATA_FROM_BINDIR));
            QVERIFY(QDir().mkpath(data));
            QVERIFY(QFile::copy(built_help, QDir(data).filePath("vesmira.chm")));
        }
        if (beside == "chm") {
            QVERIFY(QFile::copy(built_help, QDir(bin).filePath("vesmira.chm")));
        } else if (!beside.isEmpty()) {
            QFile file(QDir(bin).filePath("vesmira.chm"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(beside);
        }
        // Where an installed program logs; kept out of the home folder of whoever runs the tests.
        qputenv("XDG_STATE_HOME", prefix.filePath("state").toUtf8());
        const QString state = prefix.filePath("state/vesmira");
        const QString log_folder = logs_beside ? bin : state;
        QVERIFY(QDir().mkpath(log_folder));
        QFile marker(QDir(log_folder).filePath("debug.debug"));
        QVERIFY(marker.open(QIODevice::WriteOnly));
        marker.close();
        if (read_only)
            QVERIFY(QFile::setPermissions(bin, QFile::ReadOwner | QFile::ExeOwner));
        const auto writable_again = qScopeGuard([&] {
            QFile::setPermissions(bin, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        });

        initialize_help(bin);
        THookHelpSystem help_system("vesmira.chm", "", 0);
        QCOMPARE(help_system.ShowHelpContext(context_contents), 0);

        QCOMPARE(debug_log_path(), QDir(log_folder).filePath("HHDebug.txt"));
        QFile log(debug_log_path());
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(log.readLine().startsWith(QString(R"(_RunDir = "%1")").arg(bin).toUtf8()));
        QCOMPARE(QFile::exists(QDir(logs_beside ? state : bin).filePath("HHDebug.txt")), false);
        if (help_shown)
            QCOMPARE(viewer_browser()->documentTitle(), QString("Vesmira Help"));
        else
            QVERIFY(viewer_browser()->toPlainText().contains(QDir(bin).filePath("vesmira.chm")));
    }

    void without_a_viewer_each_request_warns()
    {
        set_viewer_installed_for_testing(false);
        THookHelpSystem help_system("vesmira.chm", "", 0);
        QDialog dialog;
        set_help_context(&dialog, context_save_configuration);
        dialog.show();
        QCOMPARE(help_system.ShowHelpContext(context_save_configuration), 1);
        QTest::keyClick(&dialog, Qt::Key_F1);

        const QString message = "MS Html Help is not installed on this PC.";
        const QString error_line = QString(R"(HHShowError(1), "%1")").arg(message);
        QCOMPARE(boxes.size(), 2);
        for (const ShownBox& box : boxes) {
            QCOMPARE(box.text, message);
            QCOMPARE(box.caption, QString("Warnung"));
            QCOMPARE(box.icon, platform::MessageIcon::Warning);
        }
        // The error line follows the box, once it is closed.
        QCOMPARE(boxes[0].log_at_the_time, QStringList{created} + request_lines(1700, 1));
        QCOMPARE(log(), QStringList{created} + request_lines(1700, 1) + QStringList{error_line} +
                            QStringList{"THookHelpSystem.HelpHook(1, 1700)"} + request_lines(1700, 1) +
                            QStringList{error_line});
    }

    void error_codes_show_their_message_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("0") << 0 << "";
        QTest::newRow("2") << 2 << "System file KeyHH.EXE was not found in the Windows folder.";
        QTest::newRow("4") << 4 << "HH.EXE does not support help by context Id";
        QTest::newRow("5") << 5 << "Unknown error returned by HHHelpContext";
    }
    void error_codes_show_their_message()
    {
        QFETCH(int, code);
        QFETCH(QString, message);
        HHShowError(code);
        if (code == 0) {
            QVERIFY(boxes.isEmpty());
            QCOMPARE(log(), QStringList{});
        } else {
            QCOMPARE(boxes.size(), 1);
            QCOMPARE(boxes[0].text, message);
            QCOMPARE(log(), QStringList{QString(R"(HHShowError(%1), "%2")").arg(code).arg(message)});
        }
    }

    void help_paths_are_formatted_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("topic");
        QTest::addColumn<QString>("window");
        QTest::addColumn<int>("prefix");
        QTest::addColumn<QString>("path");
        QTest::newRow("file only") << " vesmira.chm " << "" << "" << 0 << "vesmira.chm";
        QTest::newRow("topic") << "a.chm" << " dir\\page.htm " << "" << 0 << "a.chm::/dir/page.htm";
        QTest::newRow("rooted topic") << "a.chm" << "/page.htm" << "main" << 0 << "a.chm::/page.htm>main";
        QTest::newRow("ms-its") << "a.chm" << "p.htm" << "" << 1 << "ms-its:a.chm::/p.htm";
        QTest::newRow("mk") << "a.chm" << "" << "" << 2 << "mk:@MSITStore:a.chm";
    }
    void help_paths_are_formatted()
    {
        QFETCH(QString, file);
        QFETCH(QString, topic);
        QFETCH(QString, window);
        QFETCH(int, prefix);
        QFETCH(QString, path);
        QCOMPARE(FormatHelpPath(file, topic, window, static_cast<HelpPathPrefix>(prefix)), path);
    }

    void log_lines_carry_the_local_time_and_are_dropped_when_unwritable()
    {
        const QDateTime before = QDateTime::currentDateTime();
        debug_log("-");
        const QDateTime after = QDateTime::currentDateTime();
        QFile file(run_dir->filePath("HHDebug.txt"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString line = QString::fromUtf8(file.readAll());
        QVERIFY(line.startsWith(QString(80, '-') + '\t'));
        QVERIFY(line.endsWith('\n'));
        const QString stamp = line.mid(81).chopped(1);
        const QLocale locale = QLocale::system();
        QVERIFY2(stamp == locale.toString(before, QLocale::ShortFormat) ||
                     stamp == locale.toString(after, QLocale::ShortFormat),
                 qPrintable(stamp));
        file.close();

        // A directory in the log's place can't be opened for appending; help goes on.
        QVERIFY(QFile::remove(run_dir->filePath("HHDebug.txt")));
        QVERIFY(QDir(run_dir->path()).mkdir("HHDebug.txt"));
        THookHelpSystem help_system("vesmira.chm", "", 0);
        QCOMPARE(help_system.ShowHelpContext(context_alert_tab), 0);
        QCOMPARE(viewer_browser()->documentTitle(), QString("The Alert tab"));
        QVERIFY(boxes.isEmpty());
    }

    void the_viewer_follows_links_and_survives_a_missing_file()
    {
        THookHelpSystem help_system("vesmira.chm", "", 0);
        help_system.ShowHelpContext(context_contents);
        QTextBrowser* browser = viewer_browser();
        QCOMPARE(browser->documentTitle(), QString("Vesmira Help"));
        QVERIFY(help_viewer_window()->windowTitle().contains("Vesmira Help"));

        // The first link of the contents page, chosen and followed with the keyboard.
        browser->setFocus();
        QTest::keyClick(browser, Qt::Key_Tab);
        QTest::keyClick(browser, Qt::Key_Return);
        QTRY_COMPARE(browser->documentTitle(), QString("Opening a log window"));
        QCOMPARE(help_viewer_window()->windowTitle(), QString("Vesmira Help - Opening a log window"));
        browser->backward();
        QCOMPARE(browser->documentTitle(), QString("Vesmira Help"));

        QWidget* window = help_viewer_window();
        help_system.ShowHelpContext(context_log_window);
        QCOMPARE(help_viewer_window(), window);  // one viewer, reused
        QCOMPARE(browser->documentTitle(), QString("The log window"));

        THookHelpSystem missing("nothing_here.chm", "", 0);
        QCOMPARE(missing.ShowHelpContext(context_log_window), 0);
        QVERIFY(boxes.isEmpty());
        QVERIFY(viewer_browser()->toPlainText().contains("could not be opened"));
    }
};

QTEST_MAIN(TestHelpSystem)
#include "test_help_system.moc"
