#pragma once
// One alert configuration of a log window, as held in memory.

#include <QString>

#include <string>
#include <vector>

namespace alerts {

// Catchwords are bytes, as received lines are; the alert set's collection owns its items.
struct tAlert {
    bool color_titlebar = false;
    std::vector<std::string> catchwords;
    QString sound;
    QString name;
    QString command;
    bool active = false;
    // A firing line shows a desktop notification.
    bool notify = false;
};

}  // namespace alerts
