#pragma once
// How a log window shows a firing alert outside the frame, without knowing how the desktop does it.

#include <QString>

#include <functional>

class QObject;

namespace alerts {

class Notifier {
public:
    // Tells the user about a firing line of `source` (a log window): summary and body are plain
    // text. A source's notification replaces the one it showed before, and a burst is shown as
    // one, so a flood of matching lines never floods the desktop. `activate` runs when the user
    // clicks the notification, as long as `source` lives. Never fails and never reports.
    virtual void notify(QObject* source, const QString& summary, const QString& body,
                        std::function<void()> activate) = 0;

protected:
    ~Notifier() = default;
};

}  // namespace alerts
