// The log window's find bar and filter: which memo is on screen, and switching between the
// whole text and the filtered lines.

#include "colormemo/tcolormemo.h"
#include "help/helpsys.h"
#include "logwin/find_bar.h"
#include "logwin/log_window.h"
#include "platform/error_report.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace logwin {

namespace {

// The filter's status changes with every received line; it is told this often at most.
constexpr int filter_status_interval_ms = 200;

}  // namespace

void LogWindow::build_find_bar()
{
    auto* view_layout = static_cast<QVBoxLayout*>(view_tab->layout());
    filtered_view = new TColorMemo(view_tab);
    filtered_view->setObjectName(QStringLiteral("filter_memo"));
    filtered_view->hide();
    view_layout->addWidget(filtered_view);
    filtered_view->set_source(log_channel->filter().index());

    find_bar_ = new FindBar(view_tab);
    help::set_help_context(find_bar_, help::context_find_bar);
    view_layout->addWidget(find_bar_);
    find_bar_->set_memo(log_view_);
    connect(find_bar_, &FindBar::filter_edited, this, [this] { platform::guarded([this] { apply_filter(); }); });
    connect(find_bar_, &FindBar::closed, this, [this] { platform::guarded([this] { end_filter(); }); });

    auto* status_timer = new QTimer(this);
    status_timer->setSingleShot(true);
    status_timer->setInterval(filter_status_interval_ms);
    connect(status_timer, &QTimer::timeout, this, [this] { platform::guarded([this] { update_filter_status(); }); });
    const auto status_soon = [status_timer] {
        if (!status_timer->isActive())
            status_timer->start();
    };
    connect(&log_channel->filter(), &channel::LineFilter::changed, this, status_soon);
    connect(log_view_, &colormemo::TextView::text_changed, this, [this, status_soon] {
        if (log_channel->filter().active())
            status_soon();
    });
}

TColorMemo* LogWindow::shown_memo() const { return log_channel->filter().active() ? filtered_view : log_view_; }

void LogWindow::set_text_limit(std::int64_t bytes)
{
    log_channel->set_text_limit(bytes);
}

void LogWindow::open_find_bar()
{
    tabs->setCurrentWidget(view_tab);
    find_bar_->open();
}

void LogWindow::find_next()
{
    tabs->setCurrentWidget(view_tab);
    find_bar_->find_next();
}

void LogWindow::find_previous()
{
    tabs->setCurrentWidget(view_tab);
    find_bar_->find_previous();
}

void LogWindow::apply_filter()
{
    const std::string needle = find_bar_->filter_edit->text().toStdString();
    find::Pattern pattern(needle, find_bar_->options());
    const int least_severity = find_bar_->least_severity();
    const bool severity_only = pattern.empty() && least_severity < lines::least_urgent_severity;
    if ((pattern.empty() && !severity_only) || !pattern.valid()) {
        end_filter();
        find_bar_->filter_status->setText(QString::fromStdString(pattern.error()));
        return;
    }
    const auto mode = find_bar_->filter_mode->currentIndex() == 0 ? find::SearchMode::show_matching
                                                                 : find::SearchMode::hide_matching;
    // The filtered view looks as the whole one; it only shows, since a user types into the log.
    filtered_view->setFont(log_view_->font());
    filtered_view->SetColor(log_view_->Color());
    filtered_view->SetFontColor(log_view_->FontColor());
    filtered_view->SetWantTabs(log_view_->WantTabs());
    filtered_view->SetHotSpot(log_view_->HotSpot());
    filtered_view->SetColorRules(log_view_->ColorRules());
    // An unfinished last line is filtered when it is complete, as every line after it.
    log_channel->filter().start(std::move(pattern), mode, log_channel->complete_end(), least_severity);
    if (log_view_->isVisible() || !filtered_view->isVisible()) {
        const bool had_focus = log_view_->hasFocus();
        log_view_->hide();
        filtered_view->show();
        if (had_focus)
            filtered_view->setFocus(Qt::OtherFocusReason);
    }
    find_bar_->set_memo(filtered_view);
    follow_button->setChecked(filtered_view->follows());
    update_filter_status();
}

void LogWindow::end_filter()
{
    find_bar_->filter_status->clear();
    channel::LineFilter& filter = log_channel->filter();
    if (!filter.active())
        return;
    const lines::FilterIndex& shown = filter.index();
    const int top_line = filtered_view->first_visible_line();
    const std::int64_t top = top_line < shown.line_count() ? shown.log_number(top_line)
                                                           : log_channel->lines().first_line_number();
    filter.stop();
    const bool had_focus = filtered_view->hasFocus();
    filtered_view->hide();
    log_view_->show();
    const std::int64_t first = log_channel->lines().first_line_number();
    log_view_->verticalScrollBar()->setValue(
        static_cast<int>(std::clamp<std::int64_t>(top - first, 0, log_view_->line_count())));
    if (had_focus)
        log_view_->setFocus(Qt::OtherFocusReason);
    find_bar_->set_memo(log_view_);
    follow_button->setChecked(log_view_->follows());
}

void LogWindow::update_filter_status()
{
    const channel::LineFilter& filter = log_channel->filter();
    if (!filter.active())
        return;
    if (filter.progress_due()) {
        find_bar_->filter_status->setText(
            QStringLiteral("Filtering… %1%").arg(static_cast<int>(filter.build_progress() * 100)));
        return;
    }
    find_bar_->filter_status->setText(QStringLiteral("%1 of %2 lines shown, read-only")
                                          .arg(count_text(filtered_view->line_count()), count_text(log_view_->line_count())));
}

}  // namespace logwin
