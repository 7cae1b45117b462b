// The alert editor on a log window's "&Alert" tab.

#include "logwin/alert_editor.h"

#include "help/helpsys.h"
#include "logwin/anchored_layout.h"
#include "logwin/save_configuration_dialog.h"
#include "platform/error_report.h"
#include "platform/form_layout.h"
#include "platform/message_box.h"

#include <QCheckBox>
#include <QCollator>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QSplitter>
#include <QStyledItemDelegate>

#include <algorithm>
#include <optional>

namespace logwin {

using platform::interface_font;
using platform::named;

namespace {

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

AlertEditor::AlertEditor(alerts::AlertSet& alert_set, AlertEditorHost& window, QWidget* parent)
    : QWidget(parent), alerts(alert_set), host(window)
{
    setObjectName(QStringLiteral("TabSheet2"));
    help::set_help_context(this, help::context_alert_tab);

    // The conditions come between the check boxes and the catchwords, and make the tab taller
    // by what they need in the font at hand.
    QGroupBox* conditions = build_conditions();
    conditions_height_ = conditions->sizeHint().height() + 8;
    const int grown_by = conditions_height_;
    // Positions and sizes as the form gives them, for a tab of 535 x 342, and the conditions.
    auto* tab_layout = new AnchoredLayout(this, {535, 342 + grown_by});
    tab_layout->add(new_label("This configuration is", "Label1", this), {7, 13, 0, 0}, akLeftTop);
    configuration_label = new_label("", "Label2", this);
    configuration_label->setFont(interface_font(11));
    QPalette label_palette = configuration_label->palette();
    label_palette.setColor(QPalette::WindowText, Qt::blue);
    configuration_label->setPalette(label_palette);
    tab_layout->add(configuration_label, {111, 13, 0, 0}, akLeftTop);

    auto* panel = named(new QFrame(this), "SecretPanel1");
    panel->setFrameShape(QFrame::NoFrame);
    tab_layout->add(panel, {0, 32, 530, 271 + grown_by}, akAll);
    auto* panel_layout = new QHBoxLayout(panel);
    panel_layout->setContentsMargins(0, 0, 0, 0);
    auto* splitter = named(new QSplitter(Qt::Horizontal, panel), "Splitter1");
    splitter->setHandleWidth(5);
    splitter->setChildrenCollapsible(false);
    panel_layout->addWidget(splitter);

    QGroupBox* saved_alerts = build_saved_alerts();
    QGroupBox* parameters = build_alert_parameters(conditions, grown_by);
    splitter->addWidget(saved_alerts);
    splitter->addWidget(parameters);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({152, 373});

    auto* help_button = named(new QPushButton(QStringLiteral("&Help"), this), "Button4");
    tab_layout->add(help_button, {8, 310 + grown_by, 80, 24}, akLeft | akBottom);
    connect(help_button, &QPushButton::clicked, this,
            [] { platform::guarded([] { help::show_help_context(help::context_alert_tab); }); });
}

QGroupBox* AlertEditor::build_saved_alerts()
{
    auto* box = named(new QGroupBox(QStringLiteral(" Saved alert configurations ")), "GroupBox1");
    // The splitter stops 150 pixels from the panel's left edge and 168 from its right edge.
    box->setMinimumWidth(150);
    auto* layout = new AnchoredLayout(box, {152, 271});
    alert_list = named(new QListWidget(box), "CheckListBox1");
    alert_list->setItemDelegate(new ItemHeightDelegate(alert_list));
    alert_list->setUniformItemSizes(true);
    alert_list->installEventFilter(this);
    layout->add(alert_list, {7, 20, 139, 213}, akAll);
    auto* remove_button = named(new QPushButton(QStringLiteral("Remove"), box), "Button3");
    layout->add(remove_button, {8, 240, 80, 24}, akLeft | akBottom);

    connect(remove_button, &QPushButton::clicked, this, [this] { remove_selected_alert(); });
    // The list's own changes are made with its signals blocked, so these are the user's.
    connect(alert_list, &QListWidget::itemChanged, this,
            [this](QListWidgetItem* item) { alert_check_changed(alert_list->row(item)); });
    connect(alert_list, &QListWidget::itemSelectionChanged, this, [this] { show_selected_alert(); });
    return box;
}

QGroupBox* AlertEditor::build_alert_parameters(QGroupBox* conditions, int grown_by)
{
    auto* box = named(new QGroupBox(QStringLiteral(" Alert configuration parameters ")), "GroupBox2");
    box->setMinimumWidth(168);
    auto* layout = new AnchoredLayout(box, {373, 271 + grown_by});
    // Created in tab order.
    layout->add(new_label("Name:", "Label3", box), {7, 26, 0, 0}, akLeftTop);
    name_edit = named(new QLineEdit(box), "Edit1");
    layout->add(name_edit, {65, 20, 297, 21}, akLeftTop | akRight);
    layout->add(new_label("Sound:", "Label4", box), {7, 52, 0, 0}, akLeftTop);
    sound_edit = named(new QLineEdit(box), "Edit3");
    layout->add(sound_edit, {65, 46, 273, 21}, akLeftTop | akRight);
    auto* sound_browse_button = named(new QPushButton(QStringLiteral("..."), box), "Button2");
    layout->add(sound_browse_button, {341, 46, 20, 20}, akTop | akRight);
    layout->add(new_label("Command:", "Label5", box), {7, 78, 0, 0}, akLeftTop);
    command_edit = named(new QLineEdit(box), "Edit2");
    layout->add(command_edit, {65, 72, 297, 21}, akLeftTop | akRight);
    color_titlebar_box = named(new QCheckBox(QStringLiteral("&Color titlebar"), box), "CheckBox1");
    color_titlebar_box->setChecked(true);
    // At least the form's 79 x 14, and wide enough for the caption in the fonts found here.
    const int titlebar_width = std::max(79, color_titlebar_box->sizeHint().width());
    layout->add(color_titlebar_box, {65, 104, titlebar_width, 14}, akLeftTop);
    notify_box = named(new QCheckBox(QStringLiteral("&Notify"), box), "CheckBox2");
    layout->add(notify_box, {65 + titlebar_width + 16, 104, notify_box->sizeHint().width(), 14}, akLeftTop);
    layout->add(conditions, {7, 124, 355, grown_by - 6}, akLeftTop | akRight);
    layout->add(new_label("Catchwords (one per line): ", "Label6", box), {7, 134 + grown_by, 0, 0}, akLeftTop);
    catchwords_edit = named(new QPlainTextEdit(box), "Memo2");
    catchwords_edit->setTabChangesFocus(true);
    layout->add(catchwords_edit, {7, 150 + grown_by, 355, 83}, akAll);
    save_button = named(new QPushButton(QStringLiteral("&Save"), box), "Button1");
    save_button->setEnabled(false);
    layout->add(save_button, {283, 239 + grown_by, 80, 24}, akRight | akBottom);
    // Tab order: the conditions after the check boxes, as they stand.
    setTabOrder(notify_box, regex_box);
    setTabOrder(silence_spin, catchwords_edit);

    connect(name_edit, &QLineEdit::textChanged, this, [this] { update_save_button(); });
    connect(catchwords_edit, &QPlainTextEdit::textChanged, this, [this] { update_save_button(); });
    connect(severity_combo, &QComboBox::currentIndexChanged, this, [this] { update_save_button(); });
    connect(silence_box, &QCheckBox::toggled, this, [this] { update_save_button(); });
    connect(save_button, &QPushButton::clicked, this, [this] { save_alert(); });
    connect(sound_browse_button, &QPushButton::clicked, this, [this] { choose_sound_file(); });
    return box;
}

QGroupBox* AlertEditor::build_conditions()
{
    // Narrow enough for the tab's design width: the burst's sentence takes two rows.
    auto* box = named(new QGroupBox(QStringLiteral("Conditions"), this), "conditions_group");
    auto* rows = new QGridLayout(box);
    regex_box = named(new QCheckBox(QStringLiteral("Catchwords are &regular expressions"), box), "regex_box");
    rows->addWidget(regex_box, 0, 0, 1, 3);

    auto* severity_label = new_label("Severit&y at least:", "severity_label", box);
    severity_combo = named(new QComboBox(box), "severity_combo");
    severity_combo->addItem(QStringLiteral("(any)"));
    for (const char* severity : {"emergency", "alert", "critical", "error", "warning", "notice", "info", "debug"})
        severity_combo->addItem(QString::fromLatin1(severity));
    severity_label->setBuddy(severity_combo);
    severity_note = new_label("not for text lines", "severity_note", box);
    severity_note->setEnabled(false);
    severity_note->setToolTip(QStringLiteral("This window receives text lines, which have no severity: the alert "
                                             "never fires while a severity is chosen."));
    rows->addWidget(severity_label, 1, 0);
    rows->addWidget(severity_combo, 1, 1);
    rows->addWidget(severity_note, 1, 2);

    // Without an Alt key: those of its words are taken in the window.
    auto* burst_label = new_label("Only when", "burst_label", box);
    burst_count_spin = named(new QSpinBox(box), "burst_count_spin");
    burst_count_spin->setRange(1, 10'000);
    burst_seconds_spin = named(new QSpinBox(box), "burst_seconds_spin");
    burst_seconds_spin->setRange(1, 86'400);
    burst_seconds_spin->setValue(config::default_burst_seconds);
    rows->addWidget(burst_label, 2, 0);
    rows->addWidget(burst_count_spin, 2, 1);
    rows->addWidget(new_label("matching lines", "burst_lines_label", box), 2, 2);
    rows->addWidget(new_label("arrive within", "burst_within_label", box), 3, 0);
    rows->addWidget(burst_seconds_spin, 3, 1);
    rows->addWidget(new_label("seconds", "burst_seconds_label", box), 3, 2);

    auto* silence_row = new QHBoxLayout;
    silence_box = named(new QCheckBox(QStringLiteral("Also &when no line arrives for"), box), "silence_box");
    silence_spin = named(new QSpinBox(box), "silence_spin");
    silence_spin->setRange(10, 604'800);
    silence_spin->setValue(300);
    silence_spin->setEnabled(false);
    silence_row->addWidget(silence_box);
    silence_row->addWidget(silence_spin);
    silence_row->addWidget(new_label("seconds", "silence_seconds_label", box));
    silence_row->addStretch(1);
    rows->addLayout(silence_row, 4, 0, 1, 3);
    rows->setColumnStretch(2, 1);

    // A burst of one line is every match: its time says nothing then.
    const auto follow_burst = [this] { burst_seconds_spin->setEnabled(burst_count_spin->value() > 1); };
    follow_burst();
    connect(burst_count_spin, &QSpinBox::valueChanged, this, follow_burst);
    connect(silence_box, &QCheckBox::toggled, silence_spin, &QWidget::setEnabled);
    return box;
}

config::AlertFields AlertEditor::entered_fields() const
{
    config::AlertFields fields;
    fields.sound = sound_edit->text();
    fields.command = command_edit->text();
    fields.catchwords = config::catchwords_for_store(catchwords_edit->toPlainText());
    fields.color_titlebar = color_titlebar_box->isChecked();
    fields.notify = notify_box->isChecked();
    fields.regex = regex_box->isChecked();
    fields.min_severity = severity_combo->currentIndex() - 1;
    fields.burst_count = burst_count_spin->value();
    fields.burst_seconds = burst_seconds_spin->value();
    fields.silence = silence_box->isChecked() ? silence_spin->value() : 0;
    return fields;
}

void AlertEditor::show_fields(const config::AlertFields& fields)
{
    sound_edit->setText(fields.sound);
    command_edit->setText(fields.command);
    catchwords_edit->setPlainText(config::shown_catchwords(fields.catchwords));
    color_titlebar_box->setChecked(fields.color_titlebar);
    notify_box->setChecked(fields.notify);
    // As the alert set takes them: what the store holds beyond the boxes' ranges is bounded.
    const alerts::AlertConditions conditions = alerts::conditions_of(fields);
    regex_box->setChecked(conditions.regex);
    severity_combo->setCurrentIndex(conditions.min_severity + 1);
    burst_count_spin->setValue(conditions.burst_count);
    burst_seconds_spin->setValue(static_cast<int>(conditions.burst_ms / 1000));
    silence_box->setChecked(conditions.silence_ms != 0);
    if (conditions.silence_ms != 0)
        silence_spin->setValue(static_cast<int>(conditions.silence_ms / 1000));
}

void AlertEditor::showEvent(QShowEvent* event)
{
    severity_note->setVisible(!host.lines_have_severity());
    QWidget::showEvent(event);
}

void AlertEditor::set_configuration_label(const QString& text)
{
    configuration_label->setText(text);
}

bool AlertEditor::eventFilter(QObject* watched, QEvent* event)
{
    // A character typed in the list fills the fields before the list acts on it (incremental
    // search, the space bar's check), as the key-press handler of the form does.
    if (watched == alert_list && event->type() == QEvent::KeyPress
        && !static_cast<QKeyEvent*>(event)->text().isEmpty())
        show_selected_alert();
    return QWidget::eventFilter(watched, event);
}

void AlertEditor::update_save_button()
{
    platform::guarded([this] {
        // An alert on a severity or on silence needs no catchwords.
        const bool fires_without_words = severity_combo->currentIndex() != 0 || silence_box->isChecked();
        save_button->setEnabled(!name_edit->text().isEmpty()
                                && (fires_without_words || !catchwords_edit->toPlainText().isEmpty()));
    });
}

QString AlertEditor::ask_configuration_name()
{
    SaveConfigurationDialog* dialog = save_configuration_dialog();
    if (dialog == nullptr)
        return {};
    const config::WindowConfiguration unsaved = host.configuration_to_save();
    dialog->port_edit->setText(QString::number(unsaved.port));
    dialog->command_edit->setText(unsaved.command);
    if (dialog->exec() != QDialog::Accepted)
        return {};
    return dialog->name_edit->text();
}

void AlertEditor::save_alert()
{
    platform::guarded([this] {
        if (regex_box->isChecked()) {
            if (const std::optional<QString> problem =
                    alerts::AlertSet::expression_problem(config::catchwords_for_store(catchwords_edit->toPlainText()))) {
                platform::show_message(*problem, QStringLiteral("Warning"), platform::MessageIcon::Warning);
                return;
            }
        }
        // Asked before anything is written: the store is not held while the user decides.
        QString config = host.configuration_name();
        std::optional<config::WindowConfiguration> new_configuration;
        if (!host.configuration_saved()) {
            config = ask_configuration_name();
            if (config.isEmpty())
                return;
            new_configuration = host.configuration_to_save();
        }
        const QString sound = sound_edit->text();
        if (!sound.isEmpty() && !QFileInfo(sound).isFile())
            platform::show_message(QStringLiteral("The given soundfile doesn't exist."), QStringLiteral("Warning"),
                                   platform::MessageIcon::Warning);

        // The fields as they are now: the warning's loop may have let the user go on typing.
        const QString name = name_edit->text();
        const config::AlertFields fields = entered_fields();
        const bool created = alerts.save(config, name, fields, new_configuration);
        if (new_configuration)
            host.configuration_saved_as(config);
        if (created)
            add_alert_entry(name, true);
    });
}

void AlertEditor::load_alerts()
{
    if (!host.configuration_saved())
        return;
    // Also when the store can't give an alert: the list shows those loaded before it.
    auto list = qScopeGuard([this] { list_alerts(); });
    if (!alerts.load(host.configuration_name()))
        list.dismiss();
}

void AlertEditor::alert_check_changed(int row)
{
    platform::guarded([this, row] {
        const QListWidgetItem* entry = alert_list->item(row);
        if (entry != nullptr)
            alerts.set_active(host.configuration_name(), entry->text(), entry->checkState() == Qt::Checked);
    });
}

void AlertEditor::show_selected_alert()
{
    platform::guarded([this] {
        const QListWidgetItem* entry = alert_list->currentItem();
        if (alert_list->count() == 0 || entry == nullptr || !entry->isSelected())
            return;
        const QString name = entry->text();
        name_edit->setText(name);
        show_fields(alerts.read(host.configuration_name(), name));
    });
}

void AlertEditor::remove_selected_alert()
{
    platform::guarded([this] {
        const QListWidgetItem* entry = alert_list->currentItem();
        if (entry == nullptr || !entry->isSelected())
            return;
        const QString name = entry->text();
        if (platform::show_message(QStringLiteral("Are you sure you want to remove the alert\r\nentry ") + name
                                       + QLatin1Char('?'),
                                   QStringLiteral("Question"), platform::MessageIcon::Question)
            != platform::MessageAnswer::Yes)
            return;
        alerts.remove(host.configuration_name(), name);
        // Listed without it even when the reload below finds no alerts key to list from.
        list_alerts();
        load_alerts();
    });
}

void AlertEditor::choose_sound_file()
{
    platform::guarded([this] {
        if (sound_dialog == nullptr) {
            sound_dialog = new QFileDialog(this, QStringLiteral("Choose audio-file"));
            sound_dialog->setObjectName(QStringLiteral("OpenDialog1"));
            sound_dialog->setNameFilter(QStringLiteral("Audio-Dateien (*.wav)"));
            sound_dialog->setFileMode(QFileDialog::ExistingFile);
            sound_dialog->setAcceptMode(QFileDialog::AcceptOpen);
        }
        if (sound_dialog->exec() != QDialog::Accepted || sound_dialog->selectedFiles().isEmpty())
            return;
        sound_edit->setText(sound_dialog->selectedFiles().front());
    });
}

void AlertEditor::add_alert_entry(const QString& name, bool checked)
{
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    int row = 0;
    while (row < alert_list->count() && !sorts_before(collator, name, alert_list->item(row)->text()))
        ++row;
    const QSignalBlocker quiet(alert_list);
    auto* entry = new QListWidgetItem(name);
    entry->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    entry->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    alert_list->insertItem(row, entry);
}

void AlertEditor::list_alerts()
{
    {
        const QSignalBlocker quiet(alert_list);
        alert_list->clear();
    }
    for (std::size_t index = 0; index < alerts.size(); ++index)
        add_alert_entry(alerts[index].name, alerts[index].active);
}

}  // namespace logwin
