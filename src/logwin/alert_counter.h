#pragma once
// How a log window tells the frame about its alerts, without knowing the frame.

namespace logwin {

// Implemented by the frame, which counts the log windows with a pending alert. It outlives
// every log window it is handed to.
class AlertCounter {
public:
    // The window's first alert since its last acknowledgement.
    virtual void note_alert_raised() = 0;
    // Every press of a window's acknowledge button, whether or not it had an alert pending.
    virtual void note_alert_acknowledged() = 0;

protected:
    ~AlertCounter() = default;
};

}  // namespace logwin
