#pragma once
// What the tests of whole start-ups share: the help system on a folder of its own, a private
// configuration store for every test, and every message box recorded instead of shown.

#include "help/helpsys.h"
#include "platform/message_box.h"

#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class StartUpFixture {
protected:
    QTemporaryDir help_folder;
    std::unique_ptr<QTemporaryDir> config_folder;
    QStringList boxes;  // "caption|text" of every message shown

    void start_help() { help::initialize_help(help_folder.path()); }
    void begin_test()
    {
        config_folder = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CONFIG_HOME", config_folder->path().toUtf8());
        boxes.clear();
        platform::set_message_box_handler([this](const QString& text, const QString& caption, platform::MessageIcon) {
            boxes.append(caption + QLatin1Char('|') + text);
            return platform::MessageAnswer::Ok;
        });
    }
    static void end_test() { platform::set_message_box_handler({}); }
};
