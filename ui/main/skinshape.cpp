#include "ui/main/skinshape.h"

#include <QBitmap>
#include <QEvent>
#include <QGuiApplication>
#include <QImage>
#include <QTimer>
#include <QWidget>

#include <X11/Xlib.h>

namespace {
const int CHECK_MS = 2000;

bool on_x11()
{
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

// A connection of the program's own for the look-ups, opened once and used from this thread only.
Display* x_display()
{
    static Display* const display = on_x11() ? XOpenDisplay(nullptr) : nullptr;
    return display;
}
} // namespace

SkinShape* SkinShape::apply(QWidget* window, QWidget* skin)
{
    return new SkinShape(window, skin);
}

// A compositing manager owns the selection _NET_WM_CM_S<screen> while it runs.
bool SkinShape::compositor_running()
{
    if (!on_x11())
        return true;
    Display* display = x_display();
    if (!display)
        return false;
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(DefaultScreen(display));
    return XGetSelectionOwner(display, XInternAtom(display, name.constData(), False)) != 0;
}

SkinShape::SkinShape(QWidget* window, QWidget* skin)
    : QObject(window), window(window), skin(skin), composited(compositor_running()), translucent(composited)
{
    window->setAttribute(Qt::WA_TranslucentBackground, translucent);
    window->installEventFilter(this);
    if (on_x11()) {
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, &SkinShape::follow_compositor);
        timer->start(CHECK_MS);
    }
}

QRegion SkinShape::skin_region() const
{
    QImage image(skin->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    skin->render(&image, QPoint(), QRegion(), QWidget::RenderFlags()); // the skin alone
    const QBitmap opaque = QBitmap::fromImage(image.createAlphaMask(Qt::ThresholdAlphaDither));
    return QRegion(opaque).translated(skin->mapTo(window, QPoint()));
}

bool SkinShape::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == window && (event->type() == QEvent::Show || event->type() == QEvent::Resize))
        update_mask();
    return false;
}

void SkinShape::follow_compositor()
{
    const bool now = compositor_running();
    if (now == composited)
        return;
    composited = now;
    update_mask();
}

void SkinShape::update_mask()
{
    if (cut_to_shape())
        window->setMask(skin_region());
    else
        window->clearMask();
}
