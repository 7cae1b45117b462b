#pragma once
// The alerts of one log window as one model: the collection of tAlert, which of their
// catchwords a received line holds, which words the window highlights, and their reading and
// writing through the configuration layer. No widgets: the window plays, draws and lists what
// this decides.

#include "alerts/catchword_matcher.h"
#include "alerts/talert.h"
#include "config/alert_config.h"

#include <QString>

#include <cstddef>
#include <optional>
#include <span>
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
    // run. Copies: running them may let other handlers change the set meanwhile.
    std::vector<AlertActions> check_line(std::string_view line);

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
    // The item the store would take for name (letter case doesn't count), or null.
    tAlert* find(const QString& name);
    // Replaces the collection by the alerts read from the store and highlights their words.
    void take_loaded(std::vector<config::StoredAlert> loaded);
    // Builds the alert's catchword list from a catchwords text and highlights it when active.
    void make_catchword_list(std::vector<std::string>& target, std::string_view text, bool active);
    void highlight_catchwords(std::span<const std::string> words);
    void unhighlight_catchwords(std::span<const std::string> words);

    HighlightList& highlight_;
    std::vector<tAlert> items_;
    CatchwordMatcher matcher_;
    bool matcher_stale_ = true;
};

}  // namespace alerts
