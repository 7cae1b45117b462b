#pragma once
// The colours the text view draws a line with a syslog priority in, by its severity: one choice
// that painting follows and the help can name.

#include <QColor>

#include <optional>

namespace colormemo {

struct SeverityColors {
    // The text's colour; none: the memo's own text colour.
    std::optional<QColor> text;
    // A band behind the whole line; none: the memo's background.
    std::optional<QColor> band;
};

// Severity 0 (emergency) to 7 (debug) on a memo of the given background, from one set of
// colours for light backgrounds and one for dark ones, so that each reads on its background:
// emergency, alert and critical white on a dark red band; error red, warning dark orange,
// notice blue, info the memo's text colour, debug grey.
SeverityColors severity_colors(int severity, const QColor& background);

}  // namespace colormemo
