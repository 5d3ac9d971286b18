#include "ui/main/windowdragger.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QWidget>

WindowDragger::WindowDragger(QWidget* window) : QObject(window), window(window) {}

void WindowDragger::watch(QWidget* surface)
{
    surface->installEventFilter(this);
}

QPoint WindowDragger::on_screen(const QWidget* window, const QPoint& wanted)
{
    const QSize size = window->frameGeometry().size();
    QScreen* screen = QGuiApplication::screenAt(wanted + QPoint(size.width() / 2, size.height() / 2));
    if (!screen)
        screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return wanted;
    const QRect area = screen->availableGeometry();
    // A window larger than the area keeps its top left corner inside it.
    return QPoint(qMax(area.left(), qMin(wanted.x(), area.right() + 1 - size.width())),
                  qMax(area.top(), qMin(wanted.y(), area.bottom() + 1 - size.height())));
}

bool WindowDragger::eventFilter(QObject* watched, QEvent* event)
{
    Q_UNUSED(watched)
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove && type != QEvent::MouseButtonRelease)
        return false;
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (type == QEvent::MouseButtonPress) {
        if (mouse->button() != Qt::LeftButton)
            return false;
        offset = mouse->globalPos() - window->frameGeometry().topLeft();
        dragging = true;
        return true;
    }
    // Only a drag that began on a watched surface moves the window: a press some button took
    // leaves no offset to move by.
    if (!dragging)
        return false;
    if (type == QEvent::MouseMove) {
        if (mouse->buttons() & Qt::LeftButton)
            window->move(on_screen(window, mouse->globalPos() - offset));
        return true;
    }
    if (mouse->button() != Qt::LeftButton)
        return false;
    dragging = false;
    emit signal_dropped(window->pos());
    return true;
}
