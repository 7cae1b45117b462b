// The gradient title bar on a bare MDI area: where it draws, when it repaints, and what a
// grabbed window shows through an alert and its acknowledgement.

#include "alerts/tgradientcaption.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QtTest>

namespace {

class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

bool near(QColor a, QColor b, int tolerance = 0)
{
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance && std::abs(a.blue() - b.blue()) <= tolerance;
}

int count_pixels(const QImage& image, QColor color)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += image.pixelColor(x, y) == color ? 1 : 0;
    return count;
}

}  // namespace

class TestGradientCaption : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void strip_covers_title_left_of_buttons();
    void setters_repaint_only_when_needed_data();
    void setters_repaint_only_when_needed();
    void activation_changes_drive_window_active();
    void alert_and_acknowledgement_as_seen_on_screen();
    void frame_title_bar_stays_with_window_manager();
    void component_and_window_go_in_either_order();

private:
    QWidget* strip() const { return window->findChild<QWidget*>("gradient_caption_strip"); }
    QImage grab_title() { return window->grab(caption->caption_rect()).toImage(); }
    void activate_again();  // an activation change for the sub-window under test

    QMdiArea* area = nullptr;
    QMdiSubWindow* window = nullptr;
    QMdiSubWindow* other = nullptr;
    TGradientCaption* caption = nullptr;
};

void TestGradientCaption::init()
{
    area = new QMdiArea;
    area->resize(700, 500);
    // As a log window does: the component is made with the window, before the window joins
    // the area.
    window = new QMdiSubWindow;
    window->setWidget(new QLabel(QStringLiteral("log")));
    caption = new TGradientCaption(window);
    caption->SetStartColor(platform::clBlack);
    caption->SetFormCaption(QStringLiteral("Form2"));
    area->addSubWindow(window);
    window->resize(420, 250);
    other = area->addSubWindow(new QLabel(QStringLiteral("other")));
    other->setGeometry(300, 200, 300, 200);
    area->show();
    QVERIFY(QTest::qWaitForWindowExposed(area));
    area->setActiveSubWindow(window);
    QTRY_VERIFY(strip() != nullptr && strip()->isVisible());
}

void TestGradientCaption::cleanup()
{
    delete area;
}

void TestGradientCaption::activate_again()
{
    area->setActiveSubWindow(other);
    QTRY_VERIFY(!caption->window_active());
    area->setActiveSubWindow(window);
    QTRY_VERIFY(caption->window_active());
}

void TestGradientCaption::strip_covers_title_left_of_buttons()
{
    const QRect title = caption->caption_rect();
    QCOMPARE(strip()->geometry(), title);
    QVERIFY(title.top() >= 0 && title.bottom() < window->contentsMargins().top());
    QVERIFY(title.right() < window->width() - 3 * 12);  // three caption buttons stay visible
    QVERIFY(title.width() > window->width() / 2);

    // Presses go through to the sub-window: dragging the title still moves it.
    const QPoint start = window->pos();
    const QPoint grip = title.center() + QPoint(40, 0);
    QCOMPARE(window->childAt(grip), nullptr);
    QTest::mouseMove(window, grip);  // the sub-window picks its operation on hover
    QTest::mousePress(window, Qt::LeftButton, {}, grip);
    QTest::mouseMove(window, grip + QPoint(30, 20));
    QTest::mouseRelease(window, Qt::LeftButton, {}, grip + QPoint(30, 20));
    QTRY_VERIFY(window->pos() != start);

    // The strip follows resizing, maximizing, mirroring and losing the title bar.
    const int width = strip()->width();
    window->resize(window->width() + 100, window->height());
    QTRY_COMPARE(strip()->width(), width + 100);
    window->showMaximized();
    QTRY_COMPARE(strip()->geometry(), caption->caption_rect());
    QVERIFY(strip()->width() > width + 100);
    window->showNormal();
    window->setLayoutDirection(Qt::RightToLeft);  // the buttons move to the left end
    QTRY_COMPARE(strip()->geometry(), caption->caption_rect());
    QVERIFY(strip()->x() > 3 * 12 && strip()->geometry().right() >= window->width() - 6);
    window->setWindowFlags(Qt::FramelessWindowHint);
    window->show();
    QTRY_VERIFY(!strip()->isVisible());
    QVERIFY(caption->caption_rect().isEmpty());
}

void TestGradientCaption::setters_repaint_only_when_needed_data()
{
    QTest::addColumn<QString>("property");
    QTest::addColumn<bool>("same_value");
    QTest::addColumn<bool>("drawn_active");  // window_active when the setter runs
    QTest::addColumn<bool>("repaints");

    QTest::newRow("FormCaption changed") << "FormCaption" << false << false << true;
    QTest::newRow("FormCaption same") << "FormCaption" << true << false << false;
    QTest::newRow("StartColor changed") << "StartColor" << false << true << true;
    QTest::newRow("StartColor same") << "StartColor" << true << true << false;
    QTest::newRow("FontInactiveColor, drawn inactive") << "FontInactiveColor" << false << false << true;
    QTest::newRow("FontInactiveColor, drawn active") << "FontInactiveColor" << false << true << false;
    QTest::newRow("GradientSteps, no gradient drawn") << "GradientSteps" << false << false << false;
    QTest::newRow("GradientSteps, gradient drawn") << "GradientSteps" << false << true << true;
    QTest::newRow("GradientActive, drawn inactive") << "GradientActive" << false << false << false;
    QTest::newRow("GradientInactive, drawn inactive") << "GradientInactive" << false << false << true;
    QTest::newRow("Active same") << "Active" << true << false << false;
}

void TestGradientCaption::setters_repaint_only_when_needed()
{
    QFETCH(QString, property);
    QFETCH(bool, same_value);
    QFETCH(bool, drawn_active);
    QFETCH(bool, repaints);

    if (drawn_active)
        activate_again();
    else
        caption->SetFormCaption(QStringLiteral("drawn inactive from here"));
    QCoreApplication::processEvents();
    PaintCounter counter;
    strip()->installEventFilter(&counter);
    if (property == "FormCaption")
        caption->SetFormCaption(same_value ? caption->FormCaption() : QStringLiteral("port 514"));
    else if (property == "StartColor")
        caption->SetStartColor(same_value ? caption->StartColor() : platform::clRed);
    else if (property == "FontInactiveColor")
        caption->SetFontInactiveColor(platform::clRed);
    else if (property == "GradientSteps")
        caption->SetGradientSteps(16);
    else if (property == "GradientActive")
        caption->SetGradientActive(false);
    else if (property == "GradientInactive")
        caption->SetGradientInactive(true);
    else
        caption->SetActive(true);
    // A repaint is synchronous: no event loop has run since the setter.
    QCOMPARE(counter.paints > 0, repaints);
    QCOMPARE(caption->window_active(), drawn_active && !repaints);
}

void TestGradientCaption::activation_changes_drive_window_active()
{
    activate_again();
    // A repainting setter starts over in the inactive style although the sub-window is still
    // the active one: it is not a top-level window.
    caption->SetStartColor(platform::clRed);
    QVERIFY(!caption->window_active());
    QCOMPARE(area->activeSubWindow(), window);

    // The active sub-window's title follows its frame's activation.
    activate_again();
    QWidget elsewhere;
    elsewhere.show();
    QApplication::setActiveWindow(&elsewhere);
    QTRY_VERIFY(!caption->window_active());
    QApplication::setActiveWindow(area);
    QTRY_VERIFY(caption->window_active());
}

// What the alert engine does to a log window's title, and its acknowledgement.
void TestGradientCaption::alert_and_acknowledgement_as_seen_on_screen()
{
    const QColor red(255, 0, 0);
    const QColor active_caption = platform::resolve_color(platform::clActiveCaption);
    const QColor inactive_caption = platform::resolve_color(platform::clInactiveCaption);
    const auto fifth_from = [&](QColor start) {
        const auto step = [](int from, int to) { return from + (to - from) / 5; };
        return QColor(step(start.red(), active_caption.red()),
                      step(start.green(), active_caption.green()),
                      step(start.blue(), active_caption.blue()));
    };

    caption->SetStartColor(platform::clRed);
    caption->SetFontInactiveColor(platform::clRed);
    QImage title = grab_title();
    const int mid = title.height() / 2;
    const int right = title.width() - 1;
    QVERIFY(near(title.pixelColor(1, mid), inactive_caption));  // flat: drawn inactive
    QVERIFY(near(title.pixelColor(right, mid), inactive_caption));
    QVERIFY2(count_pixels(title, red) > 5, "caption text in red");

    // Activated: red into the active caption colour, the left edge a fifth of the way along.
    activate_again();
    title = grab_title();
    QVERIFY(near(title.pixelColor(1, mid), fifth_from(red), 12));
    QVERIFY(near(title.pixelColor(right, mid), active_caption));

    caption->SetFontInactiveColor(platform::clInactiveCaptionText);
    caption->SetActive(false);
    QVERIFY(!strip()->isVisible());  // the style's own title bar shows
    PaintCounter counter;
    strip()->installEventFilter(&counter);
    caption->SetStartColor(platform::clBlack);
    QCOMPARE(counter.paints, 0);  // stored, not drawn
    caption->SetActive(true);
    QVERIFY(strip()->isVisible());
    title = grab_title();
    QVERIFY(near(title.pixelColor(1, mid), inactive_caption));
    QCOMPARE(count_pixels(title, red), 0);

    activate_again();
    title = grab_title();
    QVERIFY(near(title.pixelColor(1, mid), fifth_from(QColor(0, 0, 0)), 12));
    QVERIFY(near(title.pixelColor(right, mid), active_caption));
}

void TestGradientCaption::frame_title_bar_stays_with_window_manager()
{
    QMainWindow frame;
    frame.setWindowTitle(QStringLiteral("VESMIRA"));
    auto* frame_caption = new TGradientCaption(&frame);
    frame_caption->SetFormCaption(QStringLiteral("VESMIRA"));
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    frame_caption->SetStartColor(platform::clRed);
    QCOMPARE(frame.findChild<QWidget*>("gradient_caption_strip"), nullptr);
    QCOMPARE(frame.windowTitle(), QStringLiteral("VESMIRA"));
}

void TestGradientCaption::component_and_window_go_in_either_order()
{
    QPointer<QWidget> old_strip = strip();
    delete caption;
    QVERIFY(old_strip.isNull());
    window->resize(300, 200);  // no filter of the deleted component may run
    QCoreApplication::processEvents();

    (new TGradientCaption(other))->SetStartColor(platform::clRed);
    delete other;  // takes its component with it
    QCoreApplication::processEvents();
}

QTEST_MAIN(TestGradientCaption)
#include "test_gradientcaption.moc"
