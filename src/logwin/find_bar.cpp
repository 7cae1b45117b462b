// The find bar: its widgets, find as you type, next and previous, and the status of the count.

#include "logwin/find_bar.h"

#include "colormemo/tcolormemo.h"
#include "help/helpsys.h"
#include "platform/error_report.h"
#include "platform/form_layout.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QShortcut>

namespace logwin {

using platform::named;

QString count_text(std::int64_t count)
{
    // Counts read the way the help and the README show them, "1,204", on every system.
    static const QLocale english(QLocale::English, QLocale::UnitedStates);
    return english.toString(static_cast<qlonglong>(count));
}

FindBar::FindBar(QWidget* parent)
    : QWidget(parent), search_work_([this](platform::SlicedWork::Clock::time_point deadline) {
          // A failed slice ends the search's slices.
          bool done = true;
          platform::guarded([&] { done = search_slice(deadline); });
          return done;
      })
{
    setObjectName(QStringLiteral("FindBar"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(4, 4, 4, 4);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(3);

    find_label = named(new QLabel(QStringLiteral("Find:"), this), "find_label");
    find_edit = named(new QLineEdit(this), "find_edit");
    find_edit->setClearButtonEnabled(true);
    find_label->setBuddy(find_edit);
    next_button = named(new QPushButton(QStringLiteral("&Next"), this), "next_button");
    previous_button = named(new QPushButton(QStringLiteral("&Previous"), this), "previous_button");
    find_status = named(new QLabel(this), "find_status");
    close_button = named(new QPushButton(QStringLiteral("Clo&se"), this), "close_button");
    close_button->setToolTip(QStringLiteral("Close the find bar and end the filter (Esc)"));

    filter_label = named(new QLabel(QStringLiteral("Filter:"), this), "filter_label");
    filter_edit = named(new QLineEdit(this), "filter_edit");
    filter_edit->setClearButtonEnabled(true);
    filter_label->setBuddy(filter_edit);
    filter_mode = named(new QComboBox(this), "filter_mode");
    filter_mode->addItem(QStringLiteral("show matching"));
    filter_mode->addItem(QStringLiteral("hide matching"));
    filter_status = named(new QLabel(this), "filter_status");

    severity_label = named(new QLabel(QStringLiteral("Severit&y at least:"), this), "severity_label");
    severity_combo = named(new QComboBox(this), "severity_combo");
    const char* const severities[] = {"emergency", "alert", "critical", "error", "warning", "notice", "info", "debug"};
    for (int severity = lines::least_urgent_severity; severity >= 0; --severity)
        severity_combo->addItem(QString::fromLatin1(severities[severity]), severity);
    severity_label->setBuddy(severity_combo);
    help::set_help_context(severity_combo, help::context_syslog);
    severity_label->hide();
    severity_combo->hide();

    match_case = named(new QCheckBox(QStringLiteral("Match &case"), this), "match_case");
    regular_expression = named(new QCheckBox(QStringLiteral("Regular e&xpression"), this), "regular_expression");

    // Fields and buttons above, the options and what the searches found below them, so the
    // fields keep their room in a narrow window.
    grid->addWidget(find_label, 0, 0);
    grid->addWidget(find_edit, 0, 1);
    grid->addWidget(next_button, 0, 2);
    grid->addWidget(previous_button, 0, 3);
    grid->addWidget(close_button, 0, 4);
    grid->addWidget(filter_label, 1, 0);
    grid->addWidget(filter_edit, 1, 1);
    grid->addWidget(filter_mode, 1, 2, 1, 3);
    auto* options_row = new QHBoxLayout;
    options_row->addWidget(match_case);
    options_row->addWidget(regular_expression);
    options_row->addSpacing(12);
    options_row->addWidget(severity_label);
    options_row->addWidget(severity_combo);
    options_row->addStretch(1);
    options_row->addWidget(find_status);
    options_row->addSpacing(12);
    options_row->addWidget(filter_status);
    grid->addLayout(options_row, 2, 1, 1, 4);
    grid->setColumnStretch(1, 1);

    connect(find_edit, &QLineEdit::textEdited, this, [this] { platform::guarded([this] { restart_search(); }); });
    const auto options_changed = [this] {
        platform::guarded([this] {
            restart_search();
            emit filter_edited();
        });
    };
    connect(match_case, &QCheckBox::toggled, this, options_changed);
    connect(regular_expression, &QCheckBox::toggled, this, options_changed);
    connect(next_button, &QPushButton::clicked, this, [this] { platform::guarded([this] { find_next(); }); });
    connect(previous_button, &QPushButton::clicked, this, [this] { platform::guarded([this] { find_previous(); }); });
    connect(close_button, &QPushButton::clicked, this, [this] { platform::guarded([this] { close_bar(); }); });
    connect(filter_edit, &QLineEdit::textChanged, this, [this] { emit filter_edited(); });
    connect(filter_mode, &QComboBox::currentIndexChanged, this, [this] { emit filter_edited(); });
    connect(severity_combo, &QComboBox::currentIndexChanged, this, [this] { emit filter_edited(); });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, this, [this] { platform::guarded([this] { close_bar(); }); });
    find_edit->installEventFilter(this);

    connect(&search_work_, &platform::SlicedWork::sliced, this,
            [this] { platform::guarded([this] { update_status(); }); });
    hide();
}

FindBar::~FindBar() = default;

find::PatternOptions FindBar::options() const
{
    return {match_case->isChecked(), regular_expression->isChecked()};
}

void FindBar::set_shows_severity(bool on)
{
    severity_label->setVisible(on);
    severity_combo->setVisible(on);
}

int FindBar::least_severity() const
{
    return severity_combo->isVisibleTo(this) ? severity_combo->currentData().toInt() : lines::least_urgent_severity;
}

void FindBar::set_memo(TColorMemo* memo)
{
    if (memo_ == memo)
        return;
    if (memo_) {
        memo_->set_find_marks(nullptr);
        disconnect(memo_, nullptr, this, nullptr);
    }
    memo_ = memo;
    // Lines keep arriving: once the count is through, the new ones are counted too.
    connect(memo_, &colormemo::TextView::text_changed, this, [this] {
        if (navigator_)
            search_work_.resume();
    });
    origin_offset_ = memo_->selection_start();
    if (isVisible())
        restart_search();
}

void FindBar::open()
{
    if (memo_ && memo_->selection_length() > 0) {
        const lines::TextOffset start = memo_->selection_start();
        const int line = memo_->line_of_offset(start);
        const lines::TextOffset end = start + memo_->selection_length();
        constexpr lines::TextOffset longest_taken = 1000;
        if (end <= memo_->line_start(line) + memo_->line_length(line) && end - start <= longest_taken) {
            const std::string_view bytes = memo_->source().line_view(line).substr(
                static_cast<std::size_t>(start - memo_->line_start(line)), static_cast<std::size_t>(end - start));
            find_edit->setText(QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size())));
        }
    }
    const bool was_visible = isVisible();
    show();
    find_edit->setFocus(Qt::ShortcutFocusReason);
    find_edit->selectAll();
    if (memo_)
        origin_offset_ = memo_->selection_start();
    if (!was_visible || !navigator_)
        restart_search();
}

void FindBar::close_bar()
{
    stop_search();
    find_status->clear();
    // Closing ends the filter; the field says so.
    filter_edit->clear();
    hide();
    if (memo_)
        memo_->setFocus(Qt::OtherFocusReason);
    emit closed();
}

void FindBar::stop_search()
{
    navigator_.reset();
    request_.reset();
    current_.reset();
    search_work_.cancel();
    if (memo_)
        memo_->set_find_marks(nullptr);
}

void FindBar::restart_search()
{
    stop_search();
    if (!memo_ || !isVisible())
        return;
    const std::string needle = find_edit->text().toStdString();
    find::Pattern pattern(needle, options());
    if (!pattern.valid()) {
        find_status->setText(QString::fromStdString(pattern.error()));
        return;
    }
    if (pattern.empty()) {
        find_status->clear();
        return;
    }
    memo_->set_find_marks(std::make_shared<const find::Pattern>(needle, options()));
    navigator_ = std::make_unique<Navigator>(memo_->source(), std::move(pattern));
    search_work_.start();
    // Typing on extends the match where it is, so the search starts where typing began.
    const int line = memo_->line_of_offset(origin_offset_);
    const auto byte = static_cast<std::size_t>(
        std::clamp<lines::TextOffset>(origin_offset_ - memo_->line_start(line), 0, memo_->line_length(line)));
    request_ = Request{Direction::next, line, byte};
    if (try_answer())
        update_status();
}

void FindBar::request(Direction direction)
{
    if (!isVisible())
        open();
    if (!navigator_ || !memo_ || memo_->line_count() == 0)
        return;
    lines::TextOffset from = memo_->selection_start();
    if (direction == Direction::next) {
        from += memo_->selection_length();
        // An empty match would be found again where it is: go on from the next byte.
        if (memo_->selection_length() == 0 && current_)
            ++from;
    }
    const int line = memo_->line_of_offset(from);
    const lines::TextOffset line_start = memo_->line_start(line);
    const auto byte =
        static_cast<std::size_t>(std::clamp<lines::TextOffset>(from - line_start, 0, memo_->line_length(line)));
    search_work_.start();
    request_ = Request{direction, line, byte};
    try_answer();
    update_status();
}

void FindBar::find_next()
{
    platform::guarded([this] { request(Direction::next); });
}

void FindBar::find_previous()
{
    platform::guarded([this] { request(Direction::previous); });
}

bool FindBar::try_answer()
{
    if (!request_ || !navigator_)
        return true;
    const Request asked = *request_;
    const Navigator::Result result = asked.direction == Direction::next ? navigator_->next(asked.line, asked.byte)
                                                                        : navigator_->previous(asked.line, asked.byte);
    if (result.status == Navigator::Status::pending)
        return false;
    request_.reset();
    if (result.status == Navigator::Status::found)
        select_match(result.found, asked.direction);
    else
        current_.reset();
    return true;
}

void FindBar::select_match(const Navigator::Found& found, Direction direction)
{
    const lines::TextOffset start = memo_->line_start(found.line) + static_cast<lines::TextOffset>(found.match.start);
    // The start first, then the end: a long match shows from its beginning where it fits.
    memo_->set_selection(start, 0);
    memo_->ensure_caret_visible();
    memo_->set_selection(start, static_cast<lines::TextOffset>(found.match.length));
    memo_->ensure_caret_visible();
    origin_offset_ = start;
    QString wrap_note;
    if (found.wrapped)
        wrap_note = direction == Direction::next ? QStringLiteral(", wrapped to the top")
                                                 : QStringLiteral(", wrapped to the bottom");
    current_ = Current{memo_->source().first_line_number() + found.line, found.match, wrap_note};
}

bool FindBar::search_settled() const { return !request_ && (!navigator_ || navigator_->counting_done()); }

bool FindBar::search_slice(platform::SlicedWork::Clock::time_point deadline)
{
    if (!navigator_)
        return true;
    const bool done = navigator_->step(deadline);
    try_answer();
    return done && !request_;
}

void FindBar::update_status()
{
    if (!navigator_)
        return;
    const bool counting = !navigator_->counting_done();
    if ((request_ || counting) && search_work_.progress_due()) {
        const std::int64_t total = std::max<std::int64_t>(navigator_->lines_total(), 1);
        const auto percent = static_cast<int>(navigator_->lines_done() * 100 / total);
        find_status->setText(QStringLiteral("Searching… %1%").arg(percent));
        return;
    }
    if (request_)
        return;
    const QString total = count_text(navigator_->match_count()) + (counting ? QStringLiteral("…") : QString());
    if (!current_) {
        // Nothing selected, though lines that arrived since may hold matches.
        const std::int64_t count = navigator_->match_count();
        if (count == 0)
            find_status->setText(counting ? QString() : QStringLiteral("No match"));
        else
            find_status->setText(count == 1 ? QStringLiteral("1 match") : QStringLiteral("%1 matches").arg(total));
        return;
    }
    const int line = static_cast<int>(current_->number - memo_->source().first_line_number());
    const std::optional<std::int64_t> place = line >= 0 ? navigator_->ordinal(line, current_->match) : std::nullopt;
    QString text = place ? QStringLiteral("%1 of %2").arg(count_text(*place), total) : total;
    find_status->setText(text + current_->wrap_note);
}

bool FindBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == find_edit && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (key->modifiers() & Qt::ShiftModifier)
                find_previous();
            else
                find_next();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace logwin
