// The log window: layout, its log channel, closing, the actions of its alerts and the alert
// editor on the "&Alert" tab.

#include "logwin/log_window.h"

#include "alerts/tgradientcaption.h"
#include "alerts/tmediaplayer.h"
#include "colormemo/tcolormemo.h"
#include "help/helpsys.h"
#include "logwin/anchored_layout.h"
#include "logwin/find_bar.h"
#include "logwin/save_configuration_dialog.h"
#include "logwin/window_images.h"
#include "net/socket_errors.h"
#include "platform/bring_to_front.h"
#include "platform/error_report.h"
#include "platform/form_layout.h"
#include "platform/message_box.h"
#include "platform/shell_open.h"
#include "platform/text_fit.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCollator>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>
#include <string>

namespace logwin {

using platform::interface_font;
using platform::named;

namespace {

constexpr int opening_client_width = 543;
constexpr int opening_client_height = 410;

// The window's client area; its size hint is the size the window opens with.
class WindowContents : public QWidget {
public:
    using QWidget::QWidget;
    QSize sizeHint() const override { return {opening_client_width, opening_client_height}; }
};

// Entries of the check list keep the form's item height.
class ItemHeightDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        return {QStyledItemDelegate::sizeHint(option, index).width(), 13};
    }
};

QLabel* new_label(const char* text, const char* name, QWidget* parent)
{
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

// Where the check list keeps name: alphabetical without regard to case, as the user reads.
bool sorts_before(const QCollator& collator, const QString& left, const QString& right)
{
    const int order = collator.compare(left, right);
    return order != 0 ? order < 0 : left < right;
}

}  // namespace

LogWindow::LogWindow(AlertCounter* counter, QWidget* parent)
    : QMdiSubWindow(parent),
      log_channel(new channel::LogChannel(*this, this)),
      alerts(log_channel->alerts()),
      alert_counter(counter)
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
    build_log_file_button();
    layout->addWidget(ToolBar1);

    PageControl1 = new QTabWidget(contents);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    auto* view_layout = new QVBoxLayout(TabSheet1);
    view_layout->setContentsMargins(0, 0, 0, 0);
    memo1 = new TColorMemo(TabSheet1);
    memo1->setObjectName(QStringLiteral("memo1"));
    memo1->set_lines(log_channel->lines());
    // Rule 0: the catchwords of the active alerts, drawn in red.
    memo1->add_highlight_rule();
    view_layout->addWidget(memo1);
    build_find_bar(TabSheet1);
    build_view_controls();
    PageControl1->addTab(TabSheet1, view_tab_image(), QStringLiteral("&View"));

    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    help::set_help_context(TabSheet2, help::context_alert_tab);
    build_alert_tab();
    PageControl1->addTab(TabSheet2, alert_tab_image(), QStringLiteral("&Alert"));
    PageControl1->setCurrentIndex(0);
    layout->addWidget(PageControl1, 1);

    setWidget(contents);
    setMinimumSize(346, 369);
    resize(sizeHint());

    connect(log_channel, &channel::LogChannel::alert_fired, this,
            [this](const std::vector<alerts::AlertActions>& fired, std::string_view line) {
                run_fired_alerts(fired, line);
            });
    connect(log_channel, &channel::LogChannel::receive_failed, this, [] {
        platform::show_error_box(QStringLiteral("Can't add text to editfield. Possibly it's full."),
                                 QStringLiteral("Oops"), platform::ErrorSource::Network);
    });
    connect(log_channel, &channel::LogChannel::logging_failed, this,
            [this](const QString& message) { logging_failed(message); });

    medplay = new TMediaPlayer(this);
    medplay->setObjectName(QStringLiteral("medplay"));
    medplay->OnNotify = [this](QObject*) { platform::guarded([this] { medplayNotify(); }); };

    GradientCaption1 = new TGradientCaption(this);
    GradientCaption1->setObjectName(QStringLiteral("GradientCaption1"));
    GradientCaption1->SetStartColor(platform::clBlack);
    GradientCaption1->SetFormCaption(QStringLiteral("Form2"));
    platform::fit_text(this);
}

LogWindow::~LogWindow()
{
    // The channel goes first: its listener's events reach into the window, and the views let go
    // of its lines before.
    memo1->clear_source();
    filter_memo->clear_source();
    delete log_channel;
    medplay->OnNotify = nullptr;
}

LogWindow::SetUp LogWindow::set_up(const WindowConfiguration& config, const QString& caption, const QString& label_text)
{
    try {
        log_channel->listen(config.port, config.local_only);
    } catch (const net::ESocketError& error) {
        listen_error = error.code();
        return SetUp::not_listening;
    } catch (...) {
        listen_error = 0;
        return SetUp::not_listening;
    }
    listen_port = config.port;
    local_only = config.local_only;
    is_saved = config.saved;
    config_name = config.name;
    GradientCaption1->SetFormCaption(caption);
    setWindowTitle(caption);
    Label2->setText(label_text);
    if (is_saved) {
        load_alerts();
        restore_window_choices();
    }
    if (config.command.isEmpty())
        return SetUp::done;
    const auto parts = platform::split_command(config.command);
    // Found as a shell finds it, so "ssh -N ..." needs no full path; no shell runs it.
    const QString program = platform::find_command_program(parts.program);
    if (!program.isEmpty())
        process_handle =
            platform::ChildProcess::start(program, parts.params, platform::ChildProcess::Lifetime::ends_with_us);
    if (!process_handle)
        return SetUp::command_not_started;
    command_program = parts.program;
    command_params = parts.params;
    return SetUp::done;
}

void LogWindow::FormClose()
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
    stop_logging();
    log_channel->close();
}

void LogWindow::ToolButton1Click()
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

void LogWindow::medplayNotify()
{
    medplay->SetNotifyNext(false);
    medplay->SetWaitNext(true);
    medplay->CloseDevice();
}

void LogWindow::run_fired_alerts(const std::vector<alerts::AlertActions>& fired, std::string_view line)
{
    // What to do was taken before anything is done: an action may let other handlers run, and
    // those may change the alerts or match further lines.
    bool notify = false;
    for (const alerts::AlertActions& actions : fired) {
        run_alert_actions(actions);
        notify = notify || actions.notify;
    }
    if (notify)
        notify_line(line);
}

void LogWindow::notify_line(std::string_view line)
{
    if (notifier == nullptr)
        return;
    // The notifier calls back only while this window lives.
    notifier->notify(this, windowTitle(), QString::fromUtf8(line.data(), qsizetype(line.size())),
                     [this] { show_from_notification(); });
}

void LogWindow::show_from_notification()
{
    platform::guarded([this] {
        platform::bring_to_front(this);
        if (isMinimized())
            showNormal();
        if (QMdiArea* area = mdiArea())
            area->setActiveSubWindow(this);
    });
}

void LogWindow::run_alert_actions(const alerts::AlertActions& actions)
{
    if (!alert_raised) {
        if (alert_counter != nullptr)
            alert_counter->note_alert_raised();
        alert_raised = true;
    }
    if (actions.color_titlebar) {
        GradientCaption1->SetStartColor(platform::clRed);
        GradientCaption1->SetFontInactiveColor(platform::clRed);
    }
    if (!actions.sound.isEmpty())
        play_sound(actions.sound);
    if (!actions.command.isEmpty())
        open_alert_command(actions.command);
}

void LogWindow::play_sound(const QString& sound)
{
    if (sound == last_sound && last_sound_started.isValid() &&
        last_sound_started.elapsed() < sound_restart_interval_ms)
        return;
    last_sound = sound;
    last_sound_started.start();
    medplay->SetFileName(sound);
    medplay->SetWaitNext(true);
    medplay->SetNotifyNext(false);
    try {
        medplay->OpenDevice();
        medplay->SetWaitNext(false);
        medplay->SetNotifyNext(true);
        medplay->StartPlayback();
    } catch (...) {
        // A sound is an optional action: no file, no device or a format the back end can't
        // play leave the alert's other actions to run, without a word.
    }
}

void LogWindow::open_alert_command(const QString& command)
{
    // Matching lines come from the network, so a peer decides how often this runs: only so
    // many commands of this window may run at once, and the rest are skipped like failures.
    std::erase_if(alert_commands, [](const std::unique_ptr<platform::ChildProcess>& child) { return !child->running(); });
    if (alert_commands.size() >= max_running_alert_commands)
        return;
    const auto parts = platform::split_command(command);
    if (auto child = platform::shell_open(parts.program, parts.params))
        alert_commands.push_back(std::move(child));
}

// ---------------------------------------------------------------------------------------
// The alert editor.

void LogWindow::build_alert_tab()
{
    // Positions and sizes as the form gives them, for a tab of 535 x 342.
    auto* tab_layout = new AnchoredLayout(TabSheet2, {535, 342});
    Label1 = new_label("This configuration is", "Label1", TabSheet2);
    tab_layout->add(Label1, {7, 13, 0, 0}, akLeftTop);
    Label2 = new_label("", "Label2", TabSheet2);
    Label2->setFont(interface_font(11));
    QPalette label_palette = Label2->palette();
    label_palette.setColor(QPalette::WindowText, Qt::blue);
    Label2->setPalette(label_palette);
    tab_layout->add(Label2, {111, 13, 0, 0}, akLeftTop);

    SecretPanel1 = named(new QFrame(TabSheet2), "SecretPanel1");
    SecretPanel1->setFrameShape(QFrame::NoFrame);
    tab_layout->add(SecretPanel1, {0, 32, 530, 271}, akAll);
    auto* panel_layout = new QHBoxLayout(SecretPanel1);
    panel_layout->setContentsMargins(0, 0, 0, 0);
    Splitter1 = named(new QSplitter(Qt::Horizontal, SecretPanel1), "Splitter1");
    Splitter1->setHandleWidth(5);
    Splitter1->setChildrenCollapsible(false);
    panel_layout->addWidget(Splitter1);

    GroupBox1 = named(new QGroupBox(QStringLiteral(" Saved alert configurations ")), "GroupBox1");
    // The splitter stops 150 pixels from the panel's left edge and 168 from its right edge.
    GroupBox1->setMinimumWidth(150);
    auto* saved_layout = new AnchoredLayout(GroupBox1, {152, 271});
    CheckListBox1 = named(new QListWidget(GroupBox1), "CheckListBox1");
    CheckListBox1->setItemDelegate(new ItemHeightDelegate(CheckListBox1));
    CheckListBox1->setUniformItemSizes(true);
    CheckListBox1->installEventFilter(this);
    saved_layout->add(CheckListBox1, {7, 20, 139, 213}, akAll);
    Button3 = named(new QPushButton(QStringLiteral("Remove"), GroupBox1), "Button3");
    saved_layout->add(Button3, {8, 240, 80, 24}, akLeft | akBottom);

    GroupBox2 = named(new QGroupBox(QStringLiteral(" Alert configuration parameters ")), "GroupBox2");
    GroupBox2->setMinimumWidth(168);
    auto* parameters = new AnchoredLayout(GroupBox2, {373, 271});
    // Created in tab order.
    parameters->add(new_label("Name:", "Label3", GroupBox2), {7, 26, 0, 0}, akLeftTop);
    Edit1 = named(new QLineEdit(GroupBox2), "Edit1");
    parameters->add(Edit1, {65, 20, 297, 21}, akLeftTop | akRight);
    parameters->add(new_label("Sound:", "Label4", GroupBox2), {7, 52, 0, 0}, akLeftTop);
    Edit3 = named(new QLineEdit(GroupBox2), "Edit3");
    parameters->add(Edit3, {65, 46, 273, 21}, akLeftTop | akRight);
    Button2 = named(new QPushButton(QStringLiteral("..."), GroupBox2), "Button2");
    parameters->add(Button2, {341, 46, 20, 20}, akTop | akRight);
    parameters->add(new_label("Command:", "Label5", GroupBox2), {7, 78, 0, 0}, akLeftTop);
    Edit2 = named(new QLineEdit(GroupBox2), "Edit2");
    parameters->add(Edit2, {65, 72, 297, 21}, akLeftTop | akRight);
    CheckBox1 = named(new QCheckBox(QStringLiteral("&Color titlebar"), GroupBox2), "CheckBox1");
    CheckBox1->setChecked(true);
    // At least the form's 79 x 14, and wide enough for the caption in the fonts found here.
    const int titlebar_width = std::max(79, CheckBox1->sizeHint().width());
    parameters->add(CheckBox1, {65, 104, titlebar_width, 14}, akLeftTop);
    CheckBox2 = named(new QCheckBox(QStringLiteral("&Notify"), GroupBox2), "CheckBox2");
    parameters->add(CheckBox2, {65 + titlebar_width + 16, 104, CheckBox2->sizeHint().width(), 14}, akLeftTop);
    parameters->add(new_label("Catchwords (one per line): ", "Label6", GroupBox2), {7, 134, 0, 0}, akLeftTop);
    Memo2 = named(new QPlainTextEdit(GroupBox2), "Memo2");
    Memo2->setTabChangesFocus(true);
    parameters->add(Memo2, {7, 150, 355, 83}, akAll);
    Button1 = named(new QPushButton(QStringLiteral("&Save"), GroupBox2), "Button1");
    Button1->setEnabled(false);
    parameters->add(Button1, {283, 239, 80, 24}, akRight | akBottom);

    Splitter1->addWidget(GroupBox1);
    Splitter1->addWidget(GroupBox2);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({152, 373});

    Button4 = named(new QPushButton(QStringLiteral("&Help"), TabSheet2), "Button4");
    tab_layout->add(Button4, {8, 310, 80, 24}, akLeft | akBottom);

    connect(Edit1, &QLineEdit::textChanged, this, [this] { Edit1Change(); });
    connect(Memo2, &QPlainTextEdit::textChanged, this, [this] { Memo2Change(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    connect(Button4, &QPushButton::clicked, this, [this] { Button4Click(); });
    // The list's own changes are made with its signals blocked, so these are the user's.
    connect(CheckListBox1, &QListWidget::itemChanged, this,
            [this](QListWidgetItem* item) { CheckListBox1ClickCheck(CheckListBox1->row(item)); });
    connect(CheckListBox1, &QListWidget::itemSelectionChanged, this, [this] { CheckListBox1Click(); });
}

bool LogWindow::eventFilter(QObject* watched, QEvent* event)
{
    // A character typed in the list fills the fields before the list acts on it (incremental
    // search, the space bar's check), as the key-press handler of the form does.
    if (watched == CheckListBox1 && event->type() == QEvent::KeyPress
        && !static_cast<QKeyEvent*>(event)->text().isEmpty())
        CheckListBox1KeyPress();
    return QMdiSubWindow::eventFilter(watched, event);
}

void LogWindow::Edit1Change()
{
    platform::guarded([this] { Button1->setEnabled(!Edit1->text().isEmpty() && !Memo2->toPlainText().isEmpty()); });
}

void LogWindow::Memo2Change()
{
    Edit1Change();
}

QString LogWindow::ask_configuration_name()
{
    SaveConfigurationDialog* dialog = save_later_dialog();
    if (dialog == nullptr)
        return {};
    dialog->Edit2->setText(QString::number(listen_port));
    dialog->Edit3->setText(window_command());
    if (dialog->exec() != QDialog::Accepted)
        return {};
    return dialog->Edit1->text();
}

void LogWindow::Button1Click()
{
    platform::guarded([this] {
        // Asked before anything is written: the store is not held while the user decides.
        QString config = config_name;
        std::optional<config::WindowConfiguration> new_configuration;
        if (!is_saved) {
            config = ask_configuration_name();
            if (config.isEmpty())
                return;
            new_configuration = {listen_port, window_command(), local_only, {log_file_name(), shows_arrival_times()}};
        }
        const QString sound = Edit3->text();
        if (!sound.isEmpty() && !QFileInfo(sound).isFile())
            platform::show_message(QStringLiteral("The given soundfile doesn't exist."), QStringLiteral("Warning"),
                                   platform::MessageIcon::Warning);

        // The fields as they are now: the warning's loop may have let the user go on typing.
        const QString name = Edit1->text();
        const config::AlertFields fields{sound, Edit2->text(), config::catchwords_for_store(Memo2->toPlainText()),
                                         CheckBox1->isChecked(), CheckBox2->isChecked()};
        const bool created = alerts.save(config, name, fields, new_configuration);
        if (new_configuration) {
            is_saved = true;
            config_name = config;
        }
        if (created)
            add_alert_entry(name, true);
    });
}

void LogWindow::load_alerts()
{
    if (!is_saved)
        return;
    // Also when the store can't give an alert: the list shows those loaded before it.
    auto list = qScopeGuard([this] { list_alerts(); });
    if (!alerts.load(config_name))
        list.dismiss();
}

void LogWindow::add_keyword(std::string_view word)
{
    colormemo::add_keyword(memo1->ColorRules().Items(0).Keywords(), word);
}

void LogWindow::blank_keyword(std::string_view word)
{
    colormemo::blank_keyword(memo1->ColorRules().Items(0).Keywords(), word);
}

void LogWindow::keywords_changed()
{
    memo1->recompile_rules();
    if (log_channel->filter().active())
        filter_memo->SetColorRules(memo1->ColorRules());
}

void LogWindow::CheckListBox1ClickCheck(int index)
{
    platform::guarded([this, index] {
        const QListWidgetItem* entry = CheckListBox1->item(index);
        if (entry != nullptr)
            alerts.set_active(config_name, entry->text(), entry->checkState() == Qt::Checked);
    });
}

void LogWindow::CheckListBox1Click()
{
    platform::guarded([this] {
        const QListWidgetItem* entry = CheckListBox1->currentItem();
        if (CheckListBox1->count() == 0 || entry == nullptr || !entry->isSelected())
            return;
        const QString name = entry->text();
        Edit1->setText(name);
        const config::AlertFields fields = alerts.read(config_name, name);
        Edit3->setText(fields.sound);
        Edit2->setText(fields.command);
        Memo2->setPlainText(config::shown_catchwords(fields.catchwords));
        CheckBox1->setChecked(fields.color_titlebar);
        CheckBox2->setChecked(fields.notify);
    });
}

void LogWindow::CheckListBox1KeyPress()
{
    CheckListBox1Click();
}

void LogWindow::Button3Click()
{
    platform::guarded([this] {
        const QListWidgetItem* entry = CheckListBox1->currentItem();
        if (entry == nullptr || !entry->isSelected())
            return;
        const QString name = entry->text();
        if (platform::show_message(QStringLiteral("Are you sure you want to remove the alert\r\nentry ") + name
                                       + QLatin1Char('?'),
                                   QStringLiteral("Question"), platform::MessageIcon::Question)
            != platform::MessageAnswer::Yes)
            return;
        alerts.remove(config_name, name);
        // Listed without it even when the reload below finds no alerts key to list from.
        list_alerts();
        load_alerts();
    });
}

void LogWindow::Button2Click()
{
    platform::guarded([this] {
        if (OpenDialog1 == nullptr) {
            OpenDialog1 = new QFileDialog(this, QStringLiteral("Choose audio-file"));
            OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
            OpenDialog1->setNameFilter(QStringLiteral("Audio-Dateien (*.wav)"));
            OpenDialog1->setFileMode(QFileDialog::ExistingFile);
            OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
        }
        if (OpenDialog1->exec() != QDialog::Accepted || OpenDialog1->selectedFiles().isEmpty())
            return;
        Edit3->setText(OpenDialog1->selectedFiles().front());
    });
}

void LogWindow::Button4Click()
{
    platform::guarded([] { help::show_help_context(help::context_alert_tab); });
}

void LogWindow::add_alert_entry(const QString& name, bool checked)
{
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    int row = 0;
    while (row < CheckListBox1->count() && !sorts_before(collator, name, CheckListBox1->item(row)->text()))
        ++row;
    const QSignalBlocker quiet(CheckListBox1);
    auto* entry = new QListWidgetItem(name);
    entry->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    entry->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    CheckListBox1->insertItem(row, entry);
}

void LogWindow::list_alerts()
{
    {
        const QSignalBlocker quiet(CheckListBox1);
        CheckListBox1->clear();
    }
    for (std::size_t index = 0; index < alerts.size(); ++index)
        add_alert_entry(alerts[index].name, alerts[index].active);
}

void LogWindow::closeEvent(QCloseEvent* event)
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
