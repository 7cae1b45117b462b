#pragma once
// The find bar under a log window's text: find as you type with next and previous, the
// count of matches, and the fields of the window's filter (which the window applies).

#include "lines/line_source.h"
#include "find/match_navigator.h"
#include "platform/sliced_work.h"

#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TColorMemo;

namespace logwin {

// A count as the bar's status shows it: "1,204".
QString count_text(std::int64_t count);

class FindBar : public QWidget {
    Q_OBJECT

public:
    explicit FindBar(QWidget* parent = nullptr);
    ~FindBar() override;

    // The memo searched and marked: the one on screen. A new memo starts the search anew.
    void set_memo(TColorMemo* memo);
    // Shows the bar with the focus in the find field, its text selected; a selection within
    // one line of the memo becomes the text to find.
    void open();
    // Hides the bar, ends the search and its marks and gives the focus back to the text.
    void close_bar();
    // The next match after the selection (the first from the caret when nothing is found
    // yet), or the previous one before it; wraps at the ends.
    void find_next();
    void find_previous();

    find::PatternOptions options() const;
    // Shows the severity the filter asks for, in a window that receives syslog.
    void set_shows_severity(bool on);
    // The least urgent severity a line needs to pass the filter (0 emergency to 7 debug);
    // 7 while the severity isn't shown.
    int least_severity() const;
    // Searching and counting are done, so the status says the final count.
    bool search_settled() const;

    // --- Components; each carries its name as objectName. ---
    QLabel* find_label = nullptr;
    QLineEdit* find_edit = nullptr;
    QPushButton* next_button = nullptr;
    QPushButton* previous_button = nullptr;
    QLabel* find_status = nullptr;
    QPushButton* close_button = nullptr;
    QLabel* filter_label = nullptr;
    QLineEdit* filter_edit = nullptr;
    QComboBox* filter_mode = nullptr;  // "show matching" / "hide matching"
    QLabel* filter_status = nullptr;
    QLabel* severity_label = nullptr;
    // "debug" (every line) to "emergency"; each item's data is its severity.
    QComboBox* severity_combo = nullptr;
    QCheckBox* match_case = nullptr;
    QCheckBox* regular_expression = nullptr;

signals:
    // The filter field, its mode or the shared options changed.
    void filter_edited();
    // The bar was closed.
    void closed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using Navigator = find::MatchNavigator<lines::LineSource>;
    enum class Direction { next, previous };
    struct Request {
        Direction direction;
        int line;
        std::size_t byte;
    };

    // The find field or the options changed: a new search from where the typing started.
    void restart_search();
    void stop_search();
    void request(Direction direction);
    // Answers the waiting request when the counted lines can; true when none waits any more.
    bool try_answer();
    void select_match(const Navigator::Found& found, Direction direction);
    // Counts on and answers the waiting request; true when both are through.
    bool search_slice(platform::SlicedWork::Clock::time_point deadline);
    void update_status();

    TColorMemo* memo_ = nullptr;
    std::unique_ptr<Navigator> navigator_;
    std::optional<Request> request_;
    // The match selected last: its absolute line number and bytes, to tell its place.
    struct Current {
        std::int64_t number;
        find::Match match;
        // Empty, or the note that the search went on from the other end.
        QString wrap_note;
    };
    std::optional<Current> current_;
    // Where find-as-you-type searches from: the start of the selection when typing began.
    std::int64_t origin_offset_ = 0;
    // Its time runs from the last search or request, whose progress the status shows.
    platform::SlicedWork search_work_;
};

}  // namespace logwin
