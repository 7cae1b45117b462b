// Anchored placement of child widgets, the way the forms lay out their controls.

#include "logwin/anchored_layout.h"

#include <QWidget>
#include <QWidgetItem>

#include <algorithm>

namespace logwin {

namespace {

// One axis: the start and length of a control whose design span is [start, start + length)
// in a parent of design extent `design`, now `actual`.
std::pair<int, int> place_span(int start, int length, bool near, bool far, int design, int actual)
{
    const int delta = actual - design;
    if (near && far)
        return {start, std::max(0, length + delta)};
    if (far)
        return {start + delta, length};
    if (near)
        return {start, length};
    // Neither edge: the control keeps its centre in proportion to the parent.
    const int centre = design > 0 ? (2 * start + length) * actual / (2 * design) : start;
    return {centre - length / 2, length};
}

}  // namespace

AnchoredLayout::AnchoredLayout(QWidget* parent, QSize design) : QLayout(parent), design_size(design)
{
    setContentsMargins(0, 0, 0, 0);
}

AnchoredLayout::~AnchoredLayout()
{
    for (const Placed& placed : items)
        delete placed.item;
}

void AnchoredLayout::add(QWidget* widget, QRect design, int anchors)
{
    addChildWidget(widget);
    items.push_back({new QWidgetItem(widget), design, anchors});
    invalidate();
}

void AnchoredLayout::addItem(QLayoutItem* item)
{
    items.push_back({item, item->geometry(), akLeftTop});
    invalidate();
}

QLayoutItem* AnchoredLayout::itemAt(int index) const
{
    return index >= 0 && index < count() ? items[static_cast<std::size_t>(index)].item : nullptr;
}

QLayoutItem* AnchoredLayout::takeAt(int index)
{
    if (index < 0 || index >= count())
        return nullptr;
    QLayoutItem* item = items[static_cast<std::size_t>(index)].item;
    items.erase(items.begin() + index);
    return item;
}

void AnchoredLayout::setGeometry(const QRect& rect)
{
    QLayout::setGeometry(rect);
    // The parent's whole area, not the rectangle inside a group box's frame and title: the
    // design positions count from the parent's corner.
    const QSize actual = parentWidget() != nullptr ? parentWidget()->size() : rect.size();
    for (const Placed& placed : items) {
        const QSize size = resolved(placed).size();
        const auto [left, width] = place_span(placed.design.left(), size.width(), placed.anchors & akLeft,
                                              placed.anchors & akRight, design_size.width(), actual.width());
        const auto [top, height] = place_span(placed.design.top(), size.height(), placed.anchors & akTop,
                                              placed.anchors & akBottom, design_size.height(), actual.height());
        placed.item->setGeometry(QRect(left, top, width, height));
    }
}

QRect AnchoredLayout::resolved(const Placed& placed)
{
    QRect design = placed.design;
    const QSize hint = placed.item->sizeHint();
    if (design.width() <= 0)
        design.setWidth(hint.width());
    if (design.height() <= 0)
        design.setHeight(hint.height());
    return design;
}

std::vector<platform::DesignedPlacement::Item> AnchoredLayout::designed_items() const
{
    std::vector<Item> widgets;
    for (const Placed& placed : items)
        if (QWidget* widget = placed.item->widget())
            widgets.push_back({widget, resolved(placed), (placed.anchors & akLeft) && (placed.anchors & akRight)});
    return widgets;
}

void AnchoredLayout::redesign(QWidget* widget, QRect design)
{
    for (Placed& placed : items) {
        if (placed.item->widget() != widget)
            continue;
        // A size taken from the hint stays so: the hint follows later changes of the text.
        const QRect old = placed.design;
        placed.design = design;
        if (old.width() <= 0 && widget->sizeHint().width() >= design.width())
            placed.design.setWidth(0);
        if (old.height() <= 0)
            placed.design.setHeight(0);
    }
    invalidate();
}

void AnchoredLayout::grow_design(int width)
{
    design_size.rwidth() += width;
    // What is held at the right edge alone keeps its distance from it; what is held at both
    // edges widens with the area.
    for (Placed& placed : items) {
        if (!(placed.anchors & akRight))
            continue;
        if (placed.anchors & akLeft)
            placed.design.setWidth(resolved(placed).width() + width);
        else
            placed.design.translate(width, 0);
    }
    invalidate();
}

}  // namespace logwin
