#pragma once
// Places child widgets at the positions a form gives them and keeps each side either at its
// distance from the parent's matching edge (anchored) or in proportion to the parent's size.

#include "platform/text_fit.h"

#include <QLayout>
#include <QRect>
#include <QSize>

#include <vector>

namespace logwin {

enum Anchor { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };
inline constexpr int akLeftTop = akLeft | akTop;
inline constexpr int akAll = akLeft | akTop | akRight | akBottom;

class AnchoredLayout : public QLayout, public platform::DesignedPlacement {
public:
    // design_size: the parent's size the positions are given for. Positions count from the
    // parent's top left corner, frame and title included, as the form gives them.
    AnchoredLayout(QWidget* parent, QSize design_size);
    ~AnchoredLayout() override;

    // A width or height of 0 takes the widget's size hint (a label that sizes itself).
    void add(QWidget* widget, QRect design, int anchors);

    void addItem(QLayoutItem* item) override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    int count() const override { return static_cast<int>(items.size()); }
    QSize sizeHint() const override { return design_size; }
    QSize minimumSize() const override { return {0, 0}; }
    void setGeometry(const QRect& rect) override;

    std::vector<Item> designed_items() const override;
    void redesign(QWidget* widget, QRect design) override;
    QSize designed_size() const override { return design_size; }
    void grow_design(int width) override;

private:
    struct Placed {
        QLayoutItem* item;
        QRect design;
        int anchors;
    };
    // The design with the sizes taken from the widget's hint filled in.
    static QRect resolved(const Placed& placed);

    QSize design_size;
    std::vector<Placed> items;
};

}  // namespace logwin
