// The gradient title bar of a form: on a QMdiSubWindow, a strip laid over the style's title
// area; on a top-level window, state only, the bar itself being the window manager's.

#include "tgradientcaption.h"

#include "caption_drawing.h"

#include <QApplication>
#include <QEvent>
#include <QFontDatabase>
#include <QIcon>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QStyleOptionTitleBar>
#include <QWidget>
#include <QWindowStateChangeEvent>

#include <algorithm>

namespace {

// Paints the title area for its component. Mouse-transparent, so the sub-window still sees
// every press on its title bar (moving, the system menu, double clicks).
class GradientCaptionStrip : public QWidget {
public:
    GradientCaptionStrip(const TGradientCaption* owner, QWidget* form)
        : QWidget(form), caption(owner)
    {
        setObjectName(QStringLiteral("gradient_caption_strip"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        caption->draw_caption(painter, rect());
    }

private:
    const TGradientCaption* caption;
};

constexpr QStyle::SubControl caption_buttons[] = {
    QStyle::SC_TitleBarMinButton,   QStyle::SC_TitleBarMaxButton,
    QStyle::SC_TitleBarCloseButton, QStyle::SC_TitleBarNormalButton,
    QStyle::SC_TitleBarShadeButton, QStyle::SC_TitleBarUnshadeButton,
    QStyle::SC_TitleBarContextHelpButton,
};

// Gap left between the caption area and the first caption button.
constexpr int button_gap = 2;

}  // namespace

TGradientCaption::TGradientCaption(QWidget* owner_form) : QObject(owner_form), form(owner_form)
{
    load_default_font();
    request_repaint();
}

TGradientCaption::~TGradientCaption()
{
    OnActivate = nullptr;
    OnDeactivate = nullptr;
    if (form && hook_installed)
        form->removeEventFilter(this);
    delete strip.data();
}

bool TGradientCaption::effectively_active() const
{
    return active && form;
}

void TGradientCaption::load_default_font()
{
    font = QFontDatabase::systemFont(QFontDatabase::TitleFont);
    if (font.family().isEmpty()) {
        font = QFont(QStringLiteral("MS Sans Serif"), 8);
        font.setBold(true);
    }
    font_color = platform::clCaptionText;
    default_font = true;
}

void TGradientCaption::SetActive(bool value)
{
    if (value == active)
        return;
    active = value;
    right_click = false;
    // Also when it became false: the hook goes and the style draws its own title again.
    request_repaint();
    if (active) {
        if (OnActivate)
            OnActivate(this);
    } else if (OnDeactivate) {
        OnDeactivate(this);
    }
}

void TGradientCaption::SetCaptions(std::vector<TCaptionSegment> value)
{
    captions = std::move(value);
    if (effectively_active())
        request_repaint();
}

void TGradientCaption::SetDefaultFont(bool value)
{
    if (value == default_font)
        return;
    default_font = value;
    if (value)
        load_default_font();
    if (effectively_active())
        request_repaint();
}

void TGradientCaption::SetFormCaption(const QString& value)
{
    if (value == form_caption)
        return;
    form_caption = value;
    if (effectively_active())
        request_repaint();
}

void TGradientCaption::SetFontInactiveColor(platform::TColor value)
{
    if (value == font_inactive_color)
        return;
    font_inactive_color = value;
    if (effectively_active() && !window_active_)
        request_repaint();
}

void TGradientCaption::SetFont(const QFont& value)
{
    if (value == font && !default_font)
        return;
    font = value;
    default_font = false;
    if (effectively_active())
        request_repaint();
}

void TGradientCaption::SetFontColor(platform::TColor value)
{
    if (value == font_color && !default_font)
        return;
    font_color = value;
    default_font = false;
    if (effectively_active())
        request_repaint();
}

void TGradientCaption::SetGradientActive(bool value)
{
    if (value == gradient_active)
        return;
    gradient_active = value;
    if (effectively_active() && window_active_)
        request_repaint();
}

void TGradientCaption::SetGradientInactive(bool value)
{
    if (value == gradient_inactive)
        return;
    gradient_inactive = value;
    if (effectively_active() && !window_active_)
        request_repaint();
}

void TGradientCaption::SetGradientSteps(int value)
{
    if (value == gradient_steps)
        return;
    gradient_steps = value;
    const bool draws_gradient =
        (window_active_ && gradient_active) || (!window_active_ && gradient_inactive);
    if (effectively_active() && draws_gradient)
        request_repaint();
}

void TGradientCaption::SetHideDirection(THideDirection value)
{
    if (value == hide_direction)
        return;
    hide_direction = value;
    if (effectively_active())
        request_repaint();
}

QMenu* TGradientCaption::PopupMenu() const
{
    return popup_menu.data();
}

void TGradientCaption::SetPopupMenu(QMenu* value)
{
    popup_menu = value;
}

void TGradientCaption::SetStartColor(platform::TColor value)
{
    if (value == start_color)
        return;
    start_color = value;
    if (effectively_active())
        request_repaint();
}

void TGradientCaption::request_repaint()
{
    if (!form)
        return;
    if (effectively_active())
        install_hook();
    else
        remove_hook();
    window_active_ = false;
    if (form->isVisible()) {
        // Only a top-level window can be the active window; a sub-window is drawn in the
        // inactive style from here until its next activation change.
        if (effectively_active())
            window_active_ = form->isWindow() && form->isActiveWindow();
        repaint_now();
    }
}

void TGradientCaption::install_hook()
{
    if (hook_installed)
        return;
    form->installEventFilter(this);
    hook_installed = true;
    if (!strip && qobject_cast<QMdiSubWindow*>(form.data()) != nullptr)
        strip = new GradientCaptionStrip(this, form);
    place_strip();
}

void TGradientCaption::remove_hook()
{
    if (!hook_installed)
        return;
    form->removeEventFilter(this);
    hook_installed = false;
    if (strip)
        strip->hide();
}

void TGradientCaption::place_strip()
{
    place_pending = false;
    if (!strip || !hook_installed)
        return;
    const QRect area = caption_rect();
    if (area.isEmpty()) {
        strip->hide();
        return;
    }
    strip->setGeometry(area);
    strip->raise();
    strip->show();
}

// The sub-window updates its title height and state after the event that announces the
// change, so placement waits until that handling is over.
void TGradientCaption::schedule_place_strip()
{
    if (place_pending || !strip)
        return;
    place_pending = true;
    QMetaObject::invokeMethod(this, [this] { place_strip(); }, Qt::QueuedConnection);
}

void TGradientCaption::repaint_now()
{
    auto* sub = qobject_cast<QMdiSubWindow*>(form.data());
    if (sub == nullptr)
        return;  // the window manager draws a top-level window's bar
    if (hook_installed && strip) {
        place_strip();
        if (strip->isVisible())
            strip->repaint();
    } else {
        sub->repaint(0, 0, sub->width(), sub->contentsMargins().top());
    }
}

QRect TGradientCaption::caption_rect() const
{
    auto* sub = qobject_cast<QMdiSubWindow*>(form.data());
    if (sub == nullptr)
        return {};
    // QMdiSubWindow keeps its title height as the top contents margin (0 when it shows no
    // title bar: frameless, or maximized with the controls in a menu bar).
    const int title_height = sub->contentsMargins().top();
    if (title_height <= 0)
        return {};
    QStyle* style = sub->style();
    QStyleOptionTitleBar option;
    option.initFrom(sub);
    option.subControls = QStyle::SC_All;
    option.titleBarFlags = sub->windowFlags();
    option.titleBarState = sub->windowState();
    // The same rectangle QMdiSubWindow hands its style for the title bar.
    const int border = style->styleHint(QStyle::SH_TitleBar_NoBorder, &option, sub) ? 0 : 4;
    const int paint_height = title_height - (sub->isMinimized() ? 2 * border : border);
    option.rect = QRect(border, border, sub->width() - 2 * border, paint_height);
    if (option.rect.isEmpty())
        return {};

    QRect buttons;
    for (QStyle::SubControl button : caption_buttons) {
        const QRect button_rect = style->subControlRect(QStyle::CC_TitleBar, &option, button, sub);
        if (!button_rect.isEmpty())
            buttons |= button_rect;
    }
    // One pixel in on every side keeps the outline the style draws round its title bar.
    int left = option.rect.left() + 1;
    int right = option.rect.left() + option.rect.width() - 1;
    if (!buttons.isEmpty()) {
        // Right-to-left layouts put the buttons at the left end.
        if (buttons.center().x() >= option.rect.center().x())
            right = std::min(right, buttons.left() - button_gap);
        else
            left = std::max(left, buttons.right() + 1 + button_gap);
    }
    const QRect area(left, option.rect.top() + 1, right - left, option.rect.height() - 2);
    return area.isValid() ? area : QRect();
}

void TGradientCaption::draw_caption(QPainter& painter, const QRect& area) const
{
    const int width = area.width();
    const int height = area.height();
    if (width <= 0 || height <= 0 || !form)
        return;

    // Drawn off screen and copied in one go, so background, icon and text never show apart.
    const qreal ratio = painter.device() != nullptr ? painter.device()->devicePixelRatioF() : 1.0;
    QPixmap bitmap(QSize(width, height) * ratio);
    bitmap.setDevicePixelRatio(ratio);
    {
        QPainter canvas(&bitmap);
        // The gradient starts a quarter of the width left of what is seen, so the visible
        // left edge is already on its way from the start colour.
        const QRect background(-(width / 4), 0, width + width / 4, height);
        const platform::TColor end =
            window_active_ ? platform::clActiveCaption : platform::clInactiveCaption;
        if ((window_active_ && gradient_active) || (!window_active_ && gradient_inactive))
            gradient_fill(canvas, background, start_color, end, gradient_steps);
        else
            canvas.fillRect(background, platform::resolve_color(end));

        int text_start = 0;
        if (form->windowFlags().testFlag(Qt::WindowSystemMenuHint)) {
            QIcon icon = form->windowIcon();  // falls back to the application's icon
            if (icon.isNull())
                icon = form->style()->standardIcon(QStyle::SP_TitleBarMenuButton, nullptr, form);
            const int icon_size = form->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, form);
            int icon_x = (height - icon_size) / 2 + 1;
            if (form->layoutDirection() == Qt::RightToLeft)
                icon_x = width - icon_x - icon_size;
            icon.paint(&canvas, icon_x, (height - icon_size) / 2, icon_size, icon_size);
            text_start = height;
        }
        if (!form_caption.isEmpty() || !captions.empty())
            draw_text(canvas, text_start + 2, width, height);
    }
    painter.drawPixmap(area.topLeft(), bitmap);
}

// Segments first, then FormCaption. Segments that do not fit are dropped from the side
// HideDirection names; FormCaption itself is shortened to the room left.
void TGradientCaption::draw_text(QPainter& painter, int text_start, int width, int height) const
{
    struct Piece {
        QString text;
        QFont font;
        QColor color;
        bool glue_next;
    };
    std::vector<Piece> segments;
    for (const TCaptionSegment& segment : captions) {
        if (!segment.Visible || segment.Caption.isEmpty())
            continue;
        const QFont& segment_font = segment.ParentFont ? font : segment.Font;
        const platform::TColor active_color = segment.ParentFont ? font_color : segment.FontColor;
        segments.push_back({segment.Caption, segment_font,
                            platform::resolve_color(window_active_ ? active_color
                                                                   : segment.InactiveColor),
                            segment.GlueNext});
    }
    const auto piece_width = [](const Piece& piece) {
        const QFontMetrics metrics(piece.font);
        return metrics.horizontalAdvance(piece.text) +
               (piece.glue_next ? 0 : metrics.horizontalAdvance(QLatin1Char(' ')));
    };
    const QFontMetrics caption_metrics(font);
    const int room = width - text_start;  // the same either way round
    const auto segments_width = [&] {
        int total = 0;
        for (const Piece& piece : segments)
            total += piece_width(piece);
        return total;
    };
    const int caption_width = caption_metrics.horizontalAdvance(form_caption);
    while (!segments.empty() && segments_width() + caption_width > room) {
        if (hide_direction == THideDirection::hdLeftToRight)
            segments.erase(segments.begin());
        else
            segments.pop_back();
    }

    // Right to left, the icon sits at the right end and the text runs leftwards from it.
    const bool right_to_left = form->layoutDirection() == Qt::RightToLeft;
    const int flags = Qt::TextSingleLine | Qt::AlignVCenter |
                      (right_to_left ? Qt::AlignRight : Qt::AlignLeft);
    int low = right_to_left ? 0 : text_start;
    int high = right_to_left ? width - text_start : width;
    painter.setLayoutDirection(right_to_left ? Qt::RightToLeft : Qt::LeftToRight);
    for (const Piece& piece : segments) {
        painter.setFont(piece.font);
        painter.setPen(piece.color);
        painter.drawText(QRect(low, 0, high - low, height), flags, piece.text);
        if (right_to_left)
            high -= piece_width(piece);
        else
            low += piece_width(piece);
    }
    painter.setFont(font);
    painter.setPen(platform::resolve_color(window_active_ ? font_color : font_inactive_color));
    const QString text = shorten_text(form_caption, high - low, caption_metrics);
    painter.drawText(QRect(low, 0, high - low, height), flags, text);
}

bool TGradientCaption::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != form.data() || !hook_installed)
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::WindowStateChange: {
        // A sub-window's activation is a window state flag; the title is redrawn for the
        // new state after the sub-window has handled the change.
        auto* change = static_cast<QWindowStateChangeEvent*>(event);
        const bool was_active = change->oldState().testFlag(Qt::WindowActive);
        const bool now_active = form->windowState().testFlag(Qt::WindowActive);
        if (!form->isWindow() && was_active != now_active) {
            window_active_ = now_active;
            if (strip)
                strip->update();
        }
        schedule_place_strip();
        break;
    }
    case QEvent::ActivationChange:
        if (form->isWindow())
            window_active_ = form->isActiveWindow();
        break;
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate:
        // The frame's activation changed (Qt hands it down to every child): the active
        // sub-window's title follows its frame's, as the style draws it too.
        if (!form->isWindow() && form->windowState().testFlag(Qt::WindowActive)) {
            window_active_ = event->type() == QEvent::WindowActivate;
            if (strip)
                strip->update();
        }
        break;
    case QEvent::Resize:
    case QEvent::ContentsRectChange:
        place_strip();
        break;
    case QEvent::Show:
    case QEvent::ParentChange:
    case QEvent::StyleChange:
    case QEvent::FontChange:
    case QEvent::LayoutDirectionChange:
    case QEvent::ChildAdded:
        schedule_place_strip();
        break;
    case QEvent::WindowIconChange:
    case QEvent::PaletteChange:
    case QEvent::ApplicationPaletteChange:
        if (strip)
            strip->update();
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::RightButton || !popup_menu ||
            !caption_rect().contains(mouse->position().toPoint()))
            break;
        if (event->type() == QEvent::MouseButtonPress) {
            right_click = true;
        } else if (right_click) {
            right_click = false;
            popup_menu->popup(mouse->globalPosition().toPoint());
        }
        return true;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
