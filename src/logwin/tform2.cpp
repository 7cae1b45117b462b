// The log window: layout, reception of text from its listener, closing.

#include "logwin/tform2.h"

#include "alerts/tgradientcaption.h"
#include "alerts/tmediaplayer.h"
#include "colormemo/tcolormemo.h"
#include "help/helpsys.h"
#include "logwin/window_images.h"
#include "net/tserversocket.h"
#include "platform/error_report.h"
#include "platform/message_box.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <string>

namespace logwin {

namespace {

constexpr int opening_client_width = 543;
constexpr int opening_client_height = 410;

// The window's client area; its size hint is the size the window opens with.
class WindowContents : public QWidget {
public:
    using QWidget::QWidget;
    QSize sizeHint() const override { return {opening_client_width, opening_client_height}; }
};

QFont interface_font(int pixels)
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(pixels);
    return font;
}

// The most one read event takes from a connection. The listener offers the rest in further
// read events, so the event loop gets a turn between them: a sender that filled a large socket
// buffer (Linux lets it grow to tens of MiB) can't hold up painting, input or other senders.
constexpr std::int32_t read_limit = 256 * 1024;

// Everything pending on the connection, up to read_limit bytes; fails as ReadAvailableText does.
std::string read_pending_text(net::TCustomWinSocket& connection)
{
    const std::int32_t pending = std::min(connection.AvailableByteCount(), read_limit);
    std::string text(static_cast<std::size_t>(std::max(pending, 0)), '\0');
    const std::int32_t received = connection.ReadBytes(text.data(), pending);
    text.resize(static_cast<std::size_t>(std::max(received, 0)));
    return text;
}

// While one "Oops" box is open, its nested loop keeps serving reads; a run of failing reads
// must not stack one nested box per read, so further ones go to standard error.
int open_oops_boxes = 0;

void report_text_not_added()
{
    const QString text = QStringLiteral("Can't add text to editfield. Possibly it's full.");
    if (open_oops_boxes > 0) {
        std::fprintf(stderr, "vesmira: %s\n", text.toLocal8Bit().constData());
        return;
    }
    ++open_oops_boxes;
    struct Closed {
        ~Closed() { --open_oops_boxes; }
    } closed;
    platform::show_message(text, QStringLiteral("Oops"), platform::MessageIcon::Error);
}

}  // namespace

// Line assembly's view of the window: memo1's line list and the alert check.
class TForm2::MemoTarget final : public LineTarget {
public:
    explicit MemoTarget(TForm2& owner) : window(owner) {}

    int line_count() const override { return window.memo1->line_count(); }
    bool line_holds(int index, std::string_view text) const override
    {
        return index >= 0 && index < window.memo1->line_count() && window.memo1->store().line_view(index) == text;
    }
    void append_lines(std::span<const std::string_view> lines) override { window.memo1->append_lines(lines); }
    void replace_line(int index, std::string_view text) override { window.memo1->replace_line(index, text); }
    void check_line(std::string_view line) override { window.check_line_for_alerts(line); }

private:
    TForm2& window;
};

TForm2::TForm2(AlertCounter* counter, QWidget* parent)
    : QMdiSubWindow(parent), alert_counter(counter), memo_target(std::make_unique<MemoTarget>(*this))
{
    setObjectName(QStringLiteral("Form2"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(interface_font(10));
    setWindowTitle(QStringLiteral("Form2"));
    help::set_help_context(this, help::context_log_window);

    auto* contents = new WindowContents;
    auto* layout = new QVBoxLayout(contents);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    ToolBar1 = new QToolBar(contents);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setFixedHeight(40);
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolButton1 = new QToolButton(ToolBar1);
    ToolButton1->setObjectName(QStringLiteral("ToolButton1"));
    ToolButton1->setText(QStringLiteral(" Ac&knowledge errors "));
    ToolButton1->setIcon(acknowledge_image());
    ToolButton1->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    ToolButton1->setAutoRaise(true);
    ToolButton1->setFixedSize(113, 36);
    ToolBar1->addWidget(ToolButton1);
    connect(ToolButton1, &QToolButton::clicked, this, [this] { ToolButton1Click(); });
    layout->addWidget(ToolBar1);

    PageControl1 = new QTabWidget(contents);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    auto* view_layout = new QVBoxLayout(TabSheet1);
    view_layout->setContentsMargins(0, 0, 0, 0);
    memo1 = new TColorMemo(TabSheet1);
    memo1->setObjectName(QStringLiteral("memo1"));
    view_layout->addWidget(memo1);
    PageControl1->addTab(TabSheet1, view_tab_image(), QStringLiteral("&View"));

    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    help::set_help_context(TabSheet2, help::context_alert_tab);
    auto* alert_layout = new QVBoxLayout(TabSheet2);
    alert_layout->setContentsMargins(7, 13, 7, 7);
    auto* configuration_row = new QHBoxLayout;
    configuration_row->setSpacing(0);
    Label1 = new QLabel(QStringLiteral("This configuration is"), TabSheet2);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFixedWidth(111 - 7);  // Label2 starts at 111, Label1 at 7
    Label2 = new QLabel(TabSheet2);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setFont(interface_font(11));
    QPalette label_palette = Label2->palette();
    label_palette.setColor(QPalette::WindowText, Qt::blue);
    Label2->setPalette(label_palette);
    configuration_row->addWidget(Label1);
    configuration_row->addWidget(Label2, 1);
    alert_layout->addLayout(configuration_row);
    // The alert editor takes the rest of this tab.
    alert_layout->addStretch(1);
    PageControl1->addTab(TabSheet2, alert_tab_image(), QStringLiteral("&Alert"));
    PageControl1->setCurrentIndex(0);
    layout->addWidget(PageControl1, 1);

    setWidget(contents);
    setMinimumSize(346, 369);
    resize(sizeHint());

    ServerSocket1 = new net::TServerSocket(this);
    ServerSocket1->setObjectName(QStringLiteral("ServerSocket1"));
    ServerSocket1->OnClientRead = [this](net::TServerWinSocket& sender, net::TCustomWinSocket& socket) {
        ServerSocket1ClientRead(sender, socket);
    };
    // Line assembly keeps a fragment per connection and must learn when one ends.
    ServerSocket1->OnClientDisconnect = [this](net::TServerWinSocket& sender, net::TCustomWinSocket& socket) {
        ServerSocket1ClientDisconnect(sender, socket);
    };

    medplay = new TMediaPlayer(this);
    medplay->setObjectName(QStringLiteral("medplay"));
    medplay->OnNotify = [this](QObject*) { platform::guarded([this] { medplayNotify(); }); };

    GradientCaption1 = new TGradientCaption(this);
    GradientCaption1->setObjectName(QStringLiteral("GradientCaption1"));
    GradientCaption1->SetStartColor(platform::clBlack);
    GradientCaption1->SetFormCaption(QStringLiteral("Form2"));
}

TForm2::~TForm2()
{
    // The listener goes first: its events reach into members that are about to go.
    ServerSocket1->OnClientRead = nullptr;
    ServerSocket1->OnClientDisconnect = nullptr;
    delete ServerSocket1;
    medplay->OnNotify = nullptr;
}

void TForm2::ServerSocket1ClientRead(net::TServerWinSocket&, net::TCustomWinSocket& Socket)
{
    platform::guarded(
        [&] {
            try {
                const std::string text = read_pending_text(Socket);
                add_received_text(Socket, text);
            } catch (...) {
                // The rest of the chunk is lost; the connection (if the read didn't close it)
                // and the window go on.
                report_text_not_added();
            }
        },
        platform::ErrorSource::Network);
}

void TForm2::ServerSocket1ClientDisconnect(net::TServerWinSocket&, net::TCustomWinSocket& Socket)
{
    line_assembly.connection_closed(&Socket);
}

void TForm2::add_received_text(const net::TCustomWinSocket& connection, std::string_view text)
{
    line_assembly.add_received_text(&connection, text, *memo_target);
}

void TForm2::FormClose()
{
    if (process_handle) {
        if (!process_handle->terminate())
            platform::show_message(
                QStringLiteral("Couldn't stop the running process. Next connect might\r\nfail if you are running ssh."),
                QStringLiteral("Error"), platform::MessageIcon::Error);
        // Killed or found ended: either way there is nothing left to hold, and a second close
        // must not report a failure again.
        process_handle.reset();
    }
    if (ServerSocket1->Active())
        ServerSocket1->SetActive(false);
    // Closing the listener destroyed every connection without telling anyone.
    line_assembly.reset();
}

void TForm2::ToolButton1Click()
{
    platform::guarded([this] {
        GradientCaption1->SetFontInactiveColor(platform::clInactiveCaptionText);
        GradientCaption1->SetActive(false);
        GradientCaption1->SetStartColor(platform::clBlack);
        GradientCaption1->SetActive(true);
        alert_raised = false;
        if (alert_counter != nullptr)
            alert_counter->note_alert_acknowledged();
    });
}

void TForm2::medplayNotify()
{
    medplay->SetNotifyNext(false);
    medplay->SetWaitNext(true);
    medplay->CloseDevice();
}

void TForm2::check_line_for_alerts(std::string_view line)
{
    // Placeholder until the alert engine: no alert configurations are loaded yet, so there is
    // nothing to match.
    (void)line;
}

void TForm2::load_alerts()
{
    // Placeholder until the alert editor, which reads a saved window's alerts from the store.
}

void TForm2::closeEvent(QCloseEvent* event)
{
    bool closed = false;
    platform::guarded([&] {
        FormClose();
        closed = true;
    });
    // A close handler that failed leaves the window open, as its error report says.
    if (!closed) {
        event->ignore();
        return;
    }
    QMdiSubWindow::closeEvent(event);
}

}  // namespace logwin
