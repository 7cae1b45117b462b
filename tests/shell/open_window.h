#pragma once
// Opens a log window in the frame as the New action would, from a port and the texts a test
// chooses; an empty saved_name opens an unsaved window.

#include "config/window_config.h"
#include "shell/main_window.h"

#include <QString>

#include <cstdint>

inline void open_test_window(shell::MainWindow& frame, std::int32_t port, const QString& saved_name,
                             const QString& caption, const QString& command, const QString& label, bool local_only = false,
                             net::Protocol protocol = net::Protocol::lines)
{
    config::WindowConfiguration configuration;
    configuration.port = port;
    configuration.command = command;
    configuration.local_only = local_only;
    configuration.protocol = protocol;
    frame.open_log_window(configuration, saved_name, {caption, label});
}
