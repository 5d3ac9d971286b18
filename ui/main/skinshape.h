#pragma once

#include <QObject>
#include <QRegion>

class QWidget;

// Gives a frameless skinned window the outline of its skin. Under a compositing manager the
// window is translucent and the skin's own alpha draws its rounded edges. Without one (plain
// window managers, terminal servers, remote desktops) the X server would paint every translucent
// pixel black, so there the window is opaque and cut to its skin: the pixels the skin draws at
// least half opaque. The compositor is looked for every two seconds: one that stops gets a
// translucent window cut to shape too, one that starts takes the cut away again.
class SkinShape : public QObject
{
public:
    // For a window's constructor, before it is first shown; skin is the child whose painting is
    // the window's outline (everything else lies inside it).
    static SkinShape* apply(QWidget* window, QWidget* skin);
    // Whether translucent windows are composited: on X11 only while a compositing manager runs.
    static bool compositor_running();

    // The window's pixels that the skin draws at least half opaque.
    QRegion skin_region() const;
    bool cut_to_shape() const { return !translucent || !composited; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    SkinShape(QWidget* window, QWidget* skin);
    void follow_compositor();
    void update_mask();

    QWidget* window;
    QWidget* skin;
    bool composited;
    bool translucent; // chosen once: a window's visual cannot change while it exists
};
