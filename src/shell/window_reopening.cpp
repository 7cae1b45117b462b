// Recording and reopening the windows open at quit.

#include "shell/window_reopening.h"

#include "config/global_options.h"
#include "config/window_config.h"
#include "platform/error_report.h"

#include <optional>

namespace shell {

void record_open_windows(const std::vector<OpenWindowRecord>& windows)
{
    QStringList names;
    for (const OpenWindowRecord& window : windows) {
        if (window.is_saved)
            names.append(window.config_name);
    }
    config::record_open_windows(names);
}

void reopen_recorded_windows(const newwin::OpenLogWindow& open_log_window)
{
    for (const QString& name : config::read_recorded_windows()) {
        // One unreadable configuration must not keep the others from opening.
        platform::guarded([&] {
            const std::optional<config::WindowConfiguration> stored =
                config::read_window_configuration(name, config::Reading::to_open);
            if (!stored)
                return;  // removed since it was recorded
            open_log_window(*stored, name, config::saved_window_titles(name));
        });
    }
}

}  // namespace shell
