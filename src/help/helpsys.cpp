// The help object, help contexts on widgets and menu items, and the application's F1 handling
// that turns a key press into a help event for the installed help handler.

#include "help/helpsys.h"

#include "help/helpsys_funcs.h"
#include "platform/error_report.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QWidget>

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace help {

namespace {

// Widgets and actions keep their help context as a dynamic property, so any form can carry
// one without deriving from a common base.
constexpr const char* help_context_property = "vesmiraHelpContext";

HelpHandler application_handler;
// Help objects alive, the newest last; it is the one show_help_context() asks. A handler
// saved by a newer object may outlive the older object it calls, so calls check this list.
std::vector<THookHelpSystem*> help_systems;

bool is_alive(const THookHelpSystem* help_system)
{
    return std::find(help_systems.begin(), help_systems.end(), help_system) != help_systems.end();
}

// The framework's half of context help: F1 anywhere in the application becomes one help
// event for the installed handler.
class F1Filter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress || !application_handler)
            return false;
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_F1 || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            return false;
        // The window system hands the key to its window object before the widget; act once,
        // on the widget that is to receive it.
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget == nullptr)
            return false;
        if (!key->isAutoRepeat()) {
            if (const auto context = context_for(widget))
                raise_help(*context);
        }
        return true;
    }

private:
    static std::optional<int> context_for(QWidget* receiver)
    {
        // A menu with a highlighted item asks about that item, whatever its context is.
        if (auto* menu = qobject_cast<QMenu*>(receiver)) {
            if (QAction* item = menu->activeAction())
                return help_context(item);
            return std::nullopt;
        }
        if (auto* bar = qobject_cast<QMenuBar*>(receiver)) {
            if (QAction* item = bar->activeAction())
                return help_context(item);
        }
        // Otherwise the focused control and its parents up to its form; a pop-up (a combo
        // box's list) belongs to the control that opened it.
        for (QWidget* widget = receiver; widget != nullptr; widget = widget->parentWidget()) {
            if (const int context = help_context(widget); context != 0)
                return context;
            if (widget->isWindow() && widget->windowType() != Qt::Popup)
                break;
        }
        return std::nullopt;
    }

    static void raise_help(int context)
    {
        // Copied: the handler may be replaced while it runs (a help object destroyed from a
        // nested event loop).
        const HelpHandler handler = application_handler;
        platform::guarded([&] {
            bool call_help = false;
            handler(help_command_context, context, call_help);
            // With call_help set the framework would try its own help file; there is none.
        });
    }
};

QPointer<F1Filter> f1_filter;

void ensure_f1_filter()
{
    if (!f1_filter.isNull() || QCoreApplication::instance() == nullptr)
        return;
    // A child of the application object, so it goes with the application.
    f1_filter = new F1Filter(QCoreApplication::instance());
    QCoreApplication::instance()->installEventFilter(f1_filter);
}

}  // namespace

HelpHandler set_application_help_handler(HelpHandler handler)
{
    if (handler)
        ensure_f1_filter();
    return std::exchange(application_handler, std::move(handler));
}

void set_help_context(QWidget* widget, int context)
{
    if (widget != nullptr)
        widget->setProperty(help_context_property, context);
}

void set_help_context(QAction* action, int context)
{
    if (action != nullptr)
        action->setProperty(help_context_property, context);
}

int help_context(const QWidget* widget)
{
    return widget == nullptr ? 0 : widget->property(help_context_property).toInt();
}

int help_context(const QAction* action)
{
    return action == nullptr ? 0 : action->property(help_context_property).toInt();
}

void show_help_context(int context)
{
    if (!help_systems.empty())
        help_systems.back()->ShowHelpContext(context);
}

THookHelpSystem::THookHelpSystem(const QString& help_file, const QString& window_definition, int viewer_kind)
    : help_file_(help_file), window_definition_(window_definition)
{
    previous_handler_ = set_application_help_handler([this](int command, int data, bool& call_help) {
        return is_alive(this) && HelpHook(command, data, call_help);
    });
    help_systems.push_back(this);
    debug_log(QStringLiteral("THookHelpSystem.Create(\"%1\",\"%2\", %3)")
                  .arg(help_file_, window_definition_)
                  .arg(viewer_kind));
}

THookHelpSystem::~THookHelpSystem()
{
    set_application_help_handler(std::move(previous_handler_));
    help_systems.erase(std::find(help_systems.begin(), help_systems.end(), this));
    debug_log(QStringLiteral("THookHelpSystem.Destroy"));
}

int THookHelpSystem::ShowHelpContext(int context_id)
{
    const int code = HHHelpContext(help_file_, context_id, window_definition_, viewer_html_help);
    HHShowError(code);
    return code;
}

bool THookHelpSystem::HelpHook(int command, int data, bool& call_help)
{
    debug_log(QStringLiteral("THookHelpSystem.HelpHook(%1, %2)").arg(command).arg(data));
    if (command == help_command_context || command == help_command_context_popup) {
        call_help = false;
        ShowHelpContext(data);
    } else {
        call_help = true;
    }
    return true;
}

}  // namespace help
