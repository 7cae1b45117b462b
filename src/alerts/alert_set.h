#pragma once
// The alerts of one log window as one model: the collection of tAlert, which of their
// catchwords a received line holds, which words the window highlights, and their reading and
// writing through the configuration layer. No widgets: the window plays, draws and lists what
// this decides.

#include "alerts/catchword_matcher.h"
#include "alerts/expression_matcher.h"
#include "alerts/talert.h"
#include "config/alert_config.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace alerts {

// The keyword list of the window's text view whose words are drawn in red. The alert set
// decides which words go in and out, and when; the list decides which entries are one word.
class HighlightList {
public:
    // Appends word unless an entry equals it without regard to letter case.
    virtual void add_keyword(std::string_view word) = 0;
    // Empties the first entry equal to word without regard to letter case; the list keeps its
    // length, so it only ever grows.
    virtual void blank_keyword(std::string_view word) = 0;
    // The edits of one action are done.
    virtual void keywords_changed() = 0;

protected:
    ~HighlightList() = default;
};

// What one matching catchword entry asks the window to do.
struct AlertActions {
    bool color_titlebar = false;
    QString sound;
    QString command;
    bool notify = false;
};

// A received line as the alerts see it besides its text.
struct LineFacts {
    // When it came, in milliseconds.
    std::int64_t time = 0;
    // Its syslog severity, 0-7; no_severity for a line of text.
    static constexpr int no_severity = -1;
    int severity = no_severity;
};

// An alert that fired because no line came for its time, and the text that says so.
struct SilenceAlarm {
    AlertActions actions;
    QString text;
};

// "No line for 5 minutes": the time in its largest whole unit.
QString silence_text(std::int64_t silence_ms);

// The conditions of an alert's stored fields, each held to at most what the editor offers.
AlertConditions conditions_of(const config::AlertFields& fields);

class AlertSet {
public:
    explicit AlertSet(HighlightList& highlight) : highlight_(highlight) {}

    // The collection, in the order its items were added.
    std::size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    const tAlert& operator[](std::size_t index) const { return items_[index]; }

    // Takes alerts as they are, without the store and without highlighting; for measuring the
    // matching on its own.
    void assign(std::vector<tAlert> alerts);

    // The actions of every matching catchword entry of the active alerts, in the order they
    // run, as far as the alerts' conditions let them fire. Copies: running them may let other
    // handlers change the set meanwhile.
    std::vector<AlertActions> check_line(std::string_view line, const LineFacts& facts = {});
    // The lines checked next lie in text, lines separated by line feeds, until the next prescan
    // (an empty text ends it): catchwords are searched in it once instead of line by line.
    void prescan(std::string_view text)
    {
        matcher_.prescan(text);
        if (!expressions_.empty())
            expressions_.prescan(text);
    }
    // Catchwords are made ready to be found fast on threads of their own after the alerts change
    // (slower searches stand in meanwhile); this waits until they are.
    void wait_until_ready()
    {
        matcher_.wait_for_text_scan();
        expressions_.wait_for_prefilter();
    }
    // The user acknowledged: an alert that fired on a burst needs a new full burst.
    void acknowledge();

    // Silence: the time without lines starts at `now` (listening began) and again with every
    // line checked.
    void start_silence(std::int64_t now);
    // The alerts whose silence has lasted their time at `now`, each once until a line came.
    std::vector<SilenceAlarm> check_silence(std::int64_t now);
    // When check_silence will next have an alarm, unless a line comes first; none when no
    // alert waits for silence.
    std::optional<std::int64_t> next_silence();
    // Whether an active alert waits for silence.
    bool watches_silence() const { return next_silence_possible_; }
    // Called after the collection or an alert changed.
    void on_change(std::function<void()> changed) { changed_ = std::move(changed); }
    // The first catchword of an alert whose catchwords are expressions that doesn't compile, as
    // "Catchword N is not a valid regular expression: REASON."; none when all do.
    static std::optional<QString> expression_problem(std::string_view catchwords);

    // The store's side, through the configuration layer; config is the name of the saved
    // window configuration.
    //
    // Fills the collection from the store, in the store's order, and highlights the words of
    // the active alerts. False, with nothing changed, when the configuration has no alerts.
    // An alert the store can't read ends the loading with the store's error; the alerts before
    // it stay loaded.
    bool load(const QString& config);
    // An alert's stored parameters.
    config::AlertFields read(const QString& config, const QString& name) const;
    // Saves one alert, with the window configuration when new_configuration is given, as one
    // store transaction, then takes it into the collection (the item of that name, or a new
    // one at the end). True when the alert was new to the store: it is then saved active.
    bool save(const QString& config, const QString& name, const config::AlertFields& fields,
              const std::optional<config::WindowConfiguration>& new_configuration = std::nullopt);
    // Writes the alert's "active" and follows it in the collection and the highlighting.
    void set_active(const QString& config, const QString& name, bool active);
    // Deletes the alert from the store and the collection; its words stay highlighted.
    void remove(const QString& config, const QString& name);

private:
    // What an alert keeps between lines; indexed as items_.
    struct AlertState {
        // Times of the latest matching lines, oldest first, at most the burst's count.
        std::deque<std::int64_t> burst;
        // Fired on a burst; rests until acknowledged.
        bool burst_spent = false;
        // The last line's time when the alert fired for silence; it fires again after a later line.
        std::optional<std::int64_t> silent_since;
    };
    // The alerts changed: the matchers and states are made anew.
    void changed();
    // Compiles the matchers and resets the states after the alerts changed.
    void compile();
    // Whether a matching line lets the alert fire, after its severity and burst conditions.
    bool passes(std::size_t alert, const LineFacts& facts);

    // The item the store would take for name (letter case doesn't count), or null.
    tAlert* find(const QString& name);
    // Replaces the collection by the alerts read from the store and highlights their words.
    void take_loaded(std::vector<config::StoredAlert> loaded);
    // Takes an alert's stored fields, and highlights its catchwords when it is active.
    void take_fields(tAlert& alert, const config::AlertFields& fields);
    // The words of an active alert of plain catchwords go in or out of the highlight list.
    void highlight_catchwords(const tAlert& alert);
    void unhighlight_catchwords(const tAlert& alert);

    HighlightList& highlight_;
    std::vector<tAlert> items_;
    CatchwordMatcher matcher_;
    ExpressionMatcher expressions_;
    bool next_silence_possible_ = false;
    std::function<void()> changed_;
    // After compile: whether any active alert has a condition, and the active alerts without
    // catchwords that fire on every line of their severity.
    bool conditional_ = false;
    std::vector<std::size_t> severity_only_;
    std::vector<AlertState> states_;
    std::vector<CatchwordMatch> matches_;
    std::int64_t last_line_ = 0;
};

}  // namespace alerts
