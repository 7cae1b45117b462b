#pragma once
// The log window: a child window of the frame that listens on one TCP port and shows, line by
// line, whatever senders write to it; it owns the listener, the text view and the alert state.

#include "logwin/alert_counter.h"
#include "logwin/line_assembly.h"
#include "logwin/talert.h"
#include "platform/process.h"

#include <QMdiSubWindow>
#include <QString>

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

class QCloseEvent;
class QLabel;
class QTabWidget;
class QToolBar;
class QToolButton;
class QWidget;
class TColorMemo;
class TGradientCaption;
class TMediaPlayer;

namespace net {
class TCustomWinSocket;
class TServerSocket;
class TServerWinSocket;
}  // namespace net

namespace logwin {

class TForm2 : public QMdiSubWindow {
    Q_OBJECT

public:
    // counter: the frame, told about raised and acknowledged alerts; may be null (no frame).
    explicit TForm2(AlertCounter* counter, QWidget* parent = nullptr);
    ~TForm2() override;

    // --- Fields; open_log_window fills them after creation. ---
    std::vector<tAlert> alerts;
    // The process started for the window command; null when none runs.
    std::unique_ptr<platform::ChildProcess> process_handle;
    bool is_saved = false;
    QString config_name;
    QString command_program;
    // Begins with its separating blank.
    QString command_params;
    std::int32_t listen_port = 0;
    bool alert_raised = false;
    // A fragment is shown whose line feed hasn't arrived yet (kept by the line assembly).
    bool last_line_open() const { return line_assembly.last_line_open(); }

    // The command the window was opened with: its two parts joined directly, since the
    // parameter part already begins with its blank.
    QString window_command() const { return command_program + command_params; }

    // --- Components, owned by the window; each widget carries its name as objectName. ---
    net::TServerSocket* ServerSocket1 = nullptr;
    TColorMemo* memo1 = nullptr;
    TMediaPlayer* medplay = nullptr;
    TGradientCaption* GradientCaption1 = nullptr;
    QToolBar* ToolBar1 = nullptr;
    QToolButton* ToolButton1 = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr;
    QWidget* TabSheet2 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;

    // --- Handlers and operations. ---
    // Reads everything pending on the connection and hands it to add_received_text.
    void ServerSocket1ClientRead(net::TServerWinSocket& Sender, net::TCustomWinSocket& Socket);
    void ServerSocket1ClientDisconnect(net::TServerWinSocket& Sender, net::TCustomWinSocket& Socket);
    // Turns one chunk received on `connection` into lines shown in memo1.
    void add_received_text(const net::TCustomWinSocket& connection, std::string_view text);
    // Terminates the window's process and closes its listener. The frame runs it directly at
    // quit; a user's close runs it and then destroys the window.
    void FormClose();
    // The acknowledge button: restores the title bar and tells the frame.
    void ToolButton1Click();
    // The media player's end-of-playback notification: releases the sound device.
    void medplayNotify();
    // The alert check of one completed line, before it is shown.
    void check_line_for_alerts(std::string_view line);
    // Fills the alert list and collection of a saved window from the store.
    void load_alerts();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    class MemoTarget;

    AlertCounter* alert_counter;
    LineAssembly line_assembly;
    std::unique_ptr<MemoTarget> memo_target;
};

}  // namespace logwin
