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

void LogWindow::build_find_bar(QWidget* view_tab)
{
    auto* view_layout = static_cast<QVBoxLayout*>(view_tab->layout());
    filter_memo = new TColorMemo(view_tab);
    filter_memo->setObjectName(QStringLiteral("filter_memo"));
    filter_memo->hide();
    view_layout->addWidget(filter_memo);
    filter_memo->set_source(log_channel->filter().index());

    find_bar = new FindBar(view_tab);
    help::set_help_context(find_bar, help::context_find_bar);
    view_layout->addWidget(find_bar);
    find_bar->set_memo(memo1);
    connect(find_bar, &FindBar::filter_edited, this, [this] { platform::guarded([this] { apply_filter(); }); });
    connect(find_bar, &FindBar::closed, this, [this] { platform::guarded([this] { end_filter(); }); });

    auto* status_timer = new QTimer(this);
    status_timer->setSingleShot(true);
    status_timer->setInterval(filter_status_interval_ms);
    connect(status_timer, &QTimer::timeout, this, [this] { platform::guarded([this] { update_filter_status(); }); });
    const auto status_soon = [status_timer] {
        if (!status_timer->isActive())
            status_timer->start();
    };
    connect(&log_channel->filter(), &channel::LineFilter::changed, this, status_soon);
    connect(memo1, &colormemo::TextView::text_changed, this, [this, status_soon] {
        if (log_channel->filter().active())
            status_soon();
    });
}

TColorMemo* LogWindow::shown_memo() const { return log_channel->filter().active() ? filter_memo : memo1; }

void LogWindow::set_text_limit(std::int64_t bytes)
{
    log_channel->set_text_limit(bytes);
}

void LogWindow::open_find_bar()
{
    PageControl1->setCurrentWidget(TabSheet1);
    find_bar->open();
}

void LogWindow::find_next()
{
    PageControl1->setCurrentWidget(TabSheet1);
    find_bar->find_next();
}

void LogWindow::find_previous()
{
    PageControl1->setCurrentWidget(TabSheet1);
    find_bar->find_previous();
}

void LogWindow::apply_filter()
{
    const std::string needle = find_bar->filter_edit->text().toStdString();
    find::Pattern pattern(needle, find_bar->options());
    if (pattern.empty() || !pattern.valid()) {
        end_filter();
        find_bar->filter_status->setText(QString::fromStdString(pattern.error()));
        return;
    }
    const auto mode = find_bar->filter_mode->currentIndex() == 0 ? find::SearchMode::show_matching
                                                                 : find::SearchMode::hide_matching;
    // The filtered view looks as the whole one; it only shows, since a user types into the log.
    filter_memo->setFont(memo1->font());
    filter_memo->SetColor(memo1->Color());
    filter_memo->SetFontColor(memo1->FontColor());
    filter_memo->SetWantTabs(memo1->WantTabs());
    filter_memo->SetHotSpot(memo1->HotSpot());
    filter_memo->SetColorRules(memo1->ColorRules());
    // An unfinished last line is filtered when it is complete, as every line after it.
    log_channel->filter().start(std::move(pattern), mode, log_channel->complete_end());
    if (memo1->isVisible() || !filter_memo->isVisible()) {
        const bool had_focus = memo1->hasFocus();
        memo1->hide();
        filter_memo->show();
        if (had_focus)
            filter_memo->setFocus(Qt::OtherFocusReason);
    }
    find_bar->set_memo(filter_memo);
    follow_button->setChecked(filter_memo->follows());
    update_filter_status();
}

void LogWindow::end_filter()
{
    find_bar->filter_status->clear();
    channel::LineFilter& filter = log_channel->filter();
    if (!filter.active())
        return;
    const lines::FilterIndex& shown = filter.index();
    const int top_line = filter_memo->first_visible_line();
    const std::int64_t top = top_line < shown.line_count() ? shown.log_number(top_line)
                                                           : log_channel->lines().first_line_number();
    filter.stop();
    const bool had_focus = filter_memo->hasFocus();
    filter_memo->hide();
    memo1->show();
    const std::int64_t first = log_channel->lines().first_line_number();
    memo1->verticalScrollBar()->setValue(static_cast<int>(std::clamp<std::int64_t>(top - first, 0, memo1->line_count())));
    if (had_focus)
        memo1->setFocus(Qt::OtherFocusReason);
    find_bar->set_memo(memo1);
    follow_button->setChecked(memo1->follows());
}

void LogWindow::update_filter_status()
{
    const channel::LineFilter& filter = log_channel->filter();
    if (!filter.active())
        return;
    if (filter.progress_due()) {
        find_bar->filter_status->setText(
            QStringLiteral("Filtering… %1%").arg(static_cast<int>(filter.build_progress() * 100)));
        return;
    }
    find_bar->filter_status->setText(QStringLiteral("%1 of %2 lines shown, read-only")
                                         .arg(count_text(filter_memo->line_count()), count_text(memo1->line_count())));
}

}  // namespace logwin
