// Fitting forms laid out for one font to the font at hand: a row-by-row push of the controls
// after a grown one, in plain forms and in layouts that place at designed rectangles alike.

#include "platform/text_fit.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QStackedWidget>
#include <QStyle>
#include <QTabBar>
#include <QToolButton>

#include <algorithm>

namespace platform {

namespace {

// Space kept between a control and the next one on its row where, in the font at hand, they
// would overlap; controls the form places closer than this keep their closer gap.
constexpr int least_gap = 4;
// Controls of a button row this close to each other move as one.
constexpr int row_cluster_gap = 8;

int push_button_width(const QPushButton& button)
{
    const QFontMetrics metrics = button.fontMetrics();
    int width = metrics.size(Qt::TextShowMnemonic, button.text()).width();
    if (!button.icon().isNull())
        width += button.iconSize().width() + 4;
    // The style's least width of a push button (80 in some styles) is no need of the text:
    // a "..." button stays as narrow as the form makes it.
    const QStyle* style = button.style();
    return width + style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, &button)
           + 2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &button);
}

// The children of a widget that puts them together itself (the parts of a scroll area, a
// combo box, an edit field, a tab bar or a button) are no controls of the form.
bool holds_controls(const QWidget* widget)
{
    return qobject_cast<const QAbstractScrollArea*>(widget) == nullptr && qobject_cast<const QComboBox*>(widget) == nullptr
           && qobject_cast<const QAbstractSpinBox*>(widget) == nullptr && qobject_cast<const QLineEdit*>(widget) == nullptr
           && qobject_cast<const QTabBar*>(widget) == nullptr && qobject_cast<const QAbstractButton*>(widget) == nullptr;
}

// The controls a container shows or will show with it: a control hidden on purpose (a bar
// shown on demand) has no place to keep yet, but the pages of a stack have.
QList<QWidget*> child_controls(const QWidget* container)
{
    if (!holds_controls(container))
        return {};
    QList<QWidget*> controls = container->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    const bool stack = qobject_cast<const QStackedWidget*>(container) != nullptr;
    controls.removeIf([stack](const QWidget* child) {
        return child->isWindow() || (!stack && child->isHidden() && child->testAttribute(Qt::WA_WState_ExplicitShowHide));
    });
    return controls;
}

bool has_child_widgets(const QWidget* widget)
{
    return !child_controls(widget).isEmpty();
}

// Places the widgets as showing them does (a widget not shown yet holds back its resize
// and its layout's work), so that positions are read as they will be seen.
void settle(QWidget* widget)
{
    if (widget->testAttribute(Qt::WA_PendingResizeEvent)) {
        QResizeEvent resize(widget->size(), widget->size());
        QCoreApplication::sendEvent(widget, &resize);
    }
    if (QLayout* layout = widget->layout())
        layout->activate();
    // A stack places only the page it shows; the others get their place when they are shown.
    if (const auto* stack = qobject_cast<QStackedWidget*>(widget); stack != nullptr && stack->currentWidget() != nullptr)
        for (int index = 0; index < stack->count(); ++index)
            stack->widget(index)->setGeometry(stack->currentWidget()->geometry());
    for (QWidget* child : child_controls(widget))
        settle(child);
}

// A control grown in a container that places it by its own rules keeps at least that width.
void widen(QWidget* widget, int width)
{
    if (widget->minimumWidth() == widget->maximumWidth())
        widget->setFixedWidth(width);
    else
        widget->setMinimumWidth(std::max(widget->minimumWidth(), width));
}

struct Slot {
    QWidget* widget;
    QRect old;
    int width;
    bool stretches;
    int shift = 0;

    int old_end() const { return old.left() + old.width(); }
    int right() const { return old.left() + shift + width; }
    bool changed() const { return shift != 0 || width != old.width(); }
    bool same_row(const Slot& other) const
    {
        return old.top() < other.old.bottom() + 1 && other.old.top() < old.bottom() + 1;
    }
};

int fit_container(QWidget* container);

// How much wider than `width` the widget must be for its text and its children.
int growth_needed(QWidget* widget, int width)
{
    int growth = std::max(0, text_width_needed(widget) - width);
    if (has_child_widgets(widget))
        growth = std::max(growth, fit_container(widget));
    return growth;
}

// Moves each control right by what the grown controls before it on its row take, keeping the
// gaps between them, and the controls of a column (the same left edge) together; returns by how
// much the area of `area_width` must grow to hold its rows with the right margin it has.
int push_rows(std::vector<Slot>& places, int area_width)
{
    std::stable_sort(places.begin(), places.end(),
                     [](const Slot& left, const Slot& right) { return left.old.left() < right.old.left(); });
    std::vector<int> wanted_widths;
    for (const Slot& slot : places)
        wanted_widths.push_back(slot.width);
    // Shifts only grow from pass to pass, so the passes end.
    for (bool moved = true; moved;) {
        for (std::size_t index = 0; index < places.size(); ++index) {
            Slot& slot = places[index];
            for (std::size_t before = 0; before < index; ++before) {
                const Slot& other = places[before];
                if (other.old.left() >= slot.old.left() || !other.same_row(slot))
                    continue;
                const int gap = slot.old.left() - other.old_end();
                slot.shift = std::max(slot.shift, other.right() + (gap >= 0 ? gap : least_gap) - slot.old.left());
            }
            // A control that stretches with its area gives up width rather than pushing the edge.
            slot.width = slot.stretches && slot.shift > 0
                             ? std::max(wanted_widths[index] - slot.shift, slot.widget->minimumSizeHint().width())
                             : wanted_widths[index];
        }
        moved = false;
        for (Slot& slot : places)
            for (const Slot& other : places)
                if (other.old.left() == slot.old.left() && other.shift > slot.shift) {
                    slot.shift = other.shift;
                    moved = true;
                }
    }
    int old_right = 0;
    int new_right = 0;
    for (const Slot& slot : places) {
        old_right = std::max(old_right, slot.old_end());
        new_right = std::max(new_right, slot.right());
    }
    const int margin = std::max(0, area_width - old_right);
    return std::max(0, new_right + margin - area_width);
}

std::vector<Slot> places_of(const QList<QWidget*>& controls)
{
    std::vector<Slot> places;
    for (QWidget* control : controls) {
        const QRect old = control->geometry();
        places.push_back({control, old, old.width() + growth_needed(control, old.width()), false});
    }
    return places;
}

// The controls that end at the area's right edge, and the controls of their row next to them,
// stay at that edge when the area grows: a right-aligned button row stays right-aligned.
void follow_right_edge(std::vector<Slot>& places, int growth)
{
    int old_right = 0;
    for (const Slot& slot : places)
        old_right = std::max(old_right, slot.old_end());
    std::vector<bool> follows(places.size(), false);
    for (std::size_t index = 0; index < places.size(); ++index)
        follows[index] = !places[index].changed() && places[index].old_end() >= old_right - 2;
    for (bool added = true; added;) {
        added = false;
        for (std::size_t index = 0; index < places.size(); ++index) {
            if (follows[index] || places[index].changed())
                continue;
            for (std::size_t next = 0; next < places.size(); ++next) {
                const int gap = places[next].old.left() - places[index].old_end();
                if (follows[next] && places[next].same_row(places[index]) && gap >= 0 && gap <= row_cluster_gap) {
                    follows[index] = added = true;
                    break;
                }
            }
        }
    }
    for (std::size_t index = 0; index < places.size(); ++index)
        if (follows[index])
            places[index].shift = growth;
}

// Controls at fixed positions: they are moved and grown where they are.
int fit_placed(QWidget* container)
{
    std::vector<Slot> places = places_of(child_controls(container));
    const int growth = push_rows(places, container->width());
    if (growth > 0)
        follow_right_edge(places, growth);
    for (const Slot& slot : places) {
        if (!slot.changed())
            continue;
        if (slot.width > slot.old.width())
            widen(slot.widget, slot.width);
        slot.widget->setGeometry(slot.old.left() + slot.shift, slot.old.top(), slot.width, slot.old.height());
    }
    return growth;
}

// Controls of a layout that places them at designed rectangles: the design changes.
int fit_designed(QWidget* container, DesignedPlacement& placement)
{
    std::vector<Slot> places;
    for (const DesignedPlacement::Item& item : placement.designed_items())
        places.push_back({item.widget, item.design, item.design.width() + growth_needed(item.widget, item.design.width()),
                         item.stretches});
    const int growth = push_rows(places, placement.designed_size().width());
    // The area grows first, so the controls held at its edges follow it, and the controls that
    // grew or moved then take the places worked out for them.
    if (growth > 0)
        placement.grow_design(growth);
    for (const Slot& slot : places) {
        if (!slot.changed())
            continue;
        const int left = slot.old.left() + slot.shift;
        // A control held at both edges still reaches the right edge where that edge went.
        const int width = slot.stretches ? std::max(slot.width, slot.old_end() + growth - left) : slot.width;
        placement.redesign(slot.widget, QRect(left, slot.old.top(), width, slot.old.height()));
    }
    container->layout()->invalidate();
    return growth;
}

// Controls of any other layout: it places them again, given the widths they need.
int fit_laid_out(QWidget* container, QLayout& layout)
{
    for (QWidget* control : child_controls(container)) {
        const int growth = growth_needed(control, control->width());
        if (growth > 0)
            widen(control, control->width() + growth);
    }
    layout.invalidate();
    return std::max(0, layout.totalMinimumSize().width() - container->width());
}

int fit_container(QWidget* container)
{
    QLayout* layout = container->layout();
    if (layout == nullptr)
        return fit_placed(container);
    if (auto* placement = dynamic_cast<DesignedPlacement*>(layout))
        return fit_designed(container, *placement);
    return fit_laid_out(container, *layout);
}

}  // namespace

int text_width_needed(const QWidget* control)
{
    if (const auto* label = qobject_cast<const QLabel*>(control))
        return label->text().isEmpty() || label->wordWrap() ? 0 : label->sizeHint().width();
    if (const auto* box = qobject_cast<const QGroupBox*>(control))
        return box->title().isEmpty() ? 0 : box->minimumSizeHint().width();
    const auto* button = qobject_cast<const QAbstractButton*>(control);
    if (button == nullptr || button->text().isEmpty())
        return 0;
    if (const auto* push = qobject_cast<const QPushButton*>(button))
        return push_button_width(*push);
    // A tool button shows only its icon when it has one and is asked to.
    if (const auto* tool = qobject_cast<const QToolButton*>(button);
        tool != nullptr && tool->toolButtonStyle() == Qt::ToolButtonIconOnly && !tool->icon().isNull())
        return 0;
    return button->sizeHint().width();
}

namespace {

// Fits its form when the form is shown, when the widgets have the places they are shown at,
// and again after a change of font or style.
class TextFitter : public QObject {
public:
    explicit TextFitter(QWidget* form) : QObject(form), form_(form) { form->installEventFilter(this); }

    void fit()
    {
        fitted_ = true;
        settle(form_);
        const int growth = fit_container(form_);
        if (growth <= 0)
            return;
        const int width = form_->width() + growth;
        if (form_->minimumWidth() == form_->maximumWidth())
            form_->setFixedWidth(width);
        else
            form_->resize(width, form_->height());
        settle(form_);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != form_)
            return false;
        switch (event->type()) {
        case QEvent::Show:
            if (!fitted_)
                fit();
            break;
        case QEvent::FontChange:
        case QEvent::StyleChange:
            fitted_ = false;
            if (form_->isVisible())
                fit();
            break;
        default:
            break;
        }
        return false;
    }

private:
    QWidget* form_;
    bool fitted_ = false;
};

}  // namespace

void fit_text(QWidget* form)
{
    auto* fitter = new TextFitter(form);
    if (form->isVisible())
        fitter->fit();
}

}  // namespace platform
