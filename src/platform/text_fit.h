#pragma once
// Forms placed at fixed positions for one font, fitted to the font at hand: controls whose text
// the font would cut grow, and what follows them on their row moves along.

#include <QRect>
#include <QSize>

#include <vector>

class QWidget;

namespace platform {

// The width a control needs to show its whole text with its indicator and margins, as the
// style draws it; 0 for a control that shows no text of its own.
int text_width_needed(const QWidget* control);

// A layout that places its widgets at designed rectangles lets fitting change them. Rectangles
// count in the layout's designed area, whatever size its parent has now.
class DesignedPlacement {
public:
    struct Item {
        QWidget* widget;
        QRect design;  // sizes the layout takes from the widget's hint are given as they are now
        bool stretches;  // keeps its right edge where it is when pushed right, as it grows with its parent
    };

    virtual std::vector<Item> designed_items() const = 0;
    virtual void redesign(QWidget* widget, QRect design) = 0;
    virtual QSize designed_size() const = 0;
    // The area grows to the right; the widgets held at its right edge follow.
    virtual void grow_design(int width) = 0;

protected:
    ~DesignedPlacement() = default;
};

// Grows the text controls of a form and everything after them, when the form is shown (its
// widgets then have their places) and again after a change of its font or style. At a font its
// positions were made for, nothing moves. The form itself grows when its rows need it; nothing
// shrinks back. Called once, when the form is built.
void fit_text(QWidget* form);

}  // namespace platform
