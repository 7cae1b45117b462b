// Program start-up: the application, its frame window and the event loop.

#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vesmira"));
    QApplication::setApplicationDisplayName(QStringLiteral("Vesmira"));

    QMainWindow frame;
    frame.setWindowTitle(QStringLiteral("VESMIRA"));
    frame.resize(681, 519);
    frame.show();
    return QApplication::exec();
}
