#pragma once
// The gradient title bar: paints a log window's title area (left of its buttons) as a colour
// gradient with the window icon and a caption text of its own.

#include "platform/system_colors.h"

#include <QFont>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>

#include <functional>
#include <vector>

class QMenu;
class QWidget;
class QPainter;

enum class THideDirection { hdLeftToRight, hdRightToLeft };

// An extra text drawn before FormCaption. The program defines none.
struct TCaptionSegment {
    QString Caption;
    QFont Font;
    platform::TColor FontColor = platform::clCaptionText;
    bool ParentFont = true;
    platform::TColor InactiveColor = platform::clInactiveCaptionText;
    bool GlueNext = false;
    bool Visible = true;
};

class TGradientCaption : public QObject {
    Q_OBJECT
public:
    // The component belongs to form (a QObject child) and paints form's title area. On a
    // QMdiSubWindow it lays a mouse-transparent strip over the title area that Qt's style
    // draws, so the style still draws frame and buttons and dragging still works. A top-level
    // window's title bar belongs to the window manager: there the component keeps its state
    // and leaves the bar to the window manager.
    explicit TGradientCaption(QWidget* form);
    ~TGradientCaption() override;

    TGradientCaption(const TGradientCaption&) = delete;
    TGradientCaption& operator=(const TGradientCaption&) = delete;

    // The stored flag; the component only acts on it while it has a form.
    bool Active() const { return active; }
    void SetActive(bool value);

    const std::vector<TCaptionSegment>& Captions() const { return captions; }
    void SetCaptions(std::vector<TCaptionSegment> value);

    bool DefaultFont() const { return default_font; }
    void SetDefaultFont(bool value);

    QString FormCaption() const { return form_caption; }
    void SetFormCaption(const QString& value);

    platform::TColor FontInactiveColor() const { return font_inactive_color; }
    void SetFontInactiveColor(platform::TColor value);

    // Font of FormCaption; FontColor is the text colour while the window is drawn active.
    // Assigning either makes DefaultFont false.
    QFont Font() const { return font; }
    void SetFont(const QFont& value);
    platform::TColor FontColor() const { return font_color; }
    void SetFontColor(platform::TColor value);

    bool GradientActive() const { return gradient_active; }
    void SetGradientActive(bool value);

    bool GradientInactive() const { return gradient_inactive; }
    void SetGradientInactive(bool value);

    int GradientSteps() const { return gradient_steps; }
    void SetGradientSteps(int value);

    THideDirection HideDirection() const { return hide_direction; }
    void SetHideDirection(THideDirection value);

    // Shown on a right click in the title area; not owned.
    QMenu* PopupMenu() const;
    void SetPopupMenu(QMenu* value);

    platform::TColor StartColor() const { return start_color; }
    void SetStartColor(platform::TColor value);

    // Raised when Active becomes true or false.
    std::function<void(QObject* sender)> OnActivate;
    std::function<void(QObject* sender)> OnDeactivate;

    // Whether the title area is currently drawn in the active style.
    bool window_active() const { return window_active_; }

    // The title area left of the caption buttons, in the form's coordinates; empty when the
    // form shows no title bar of ours.
    QRect caption_rect() const;

    // Draws the title area into painter (whose origin is the area's top left).
    void draw_caption(QPainter& painter, const QRect& area) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool effectively_active() const;
    void request_repaint();
    void install_hook();
    void remove_hook();
    void place_strip();
    void schedule_place_strip();
    void load_default_font();
    void repaint_now();
    void draw_text(QPainter& painter, int text_start, int width, int height) const;

    QPointer<QWidget> form;
    // Child of the form, created with the first hook on a sub-window; shown while the hook is
    // installed and the sub-window has a title bar.
    QPointer<QWidget> strip;
    bool hook_installed = false;
    bool place_pending = false;
    bool right_click = false;
    bool window_active_ = false;

    bool active = true;
    std::vector<TCaptionSegment> captions;
    bool default_font = true;
    QString form_caption;
    platform::TColor font_inactive_color = platform::clInactiveCaptionText;
    QFont font;
    platform::TColor font_color = platform::clCaptionText;
    bool gradient_active = true;
    bool gradient_inactive = false;
    int gradient_steps = 64;
    THideDirection hide_direction = THideDirection::hdLeftToRight;
    QPointer<QMenu> popup_menu;
    platform::TColor start_color = platform::clWindowText;
};
