#include "ui/main/windowplacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {
const int GAP = 8;
} // namespace

namespace zim {

void place_beside(QWidget* window, const QWidget* main_window)
{
    const QScreen* screen = main_window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    // Before its first showing a window has no frame yet; then the frame is the window.
    const QSize size = window->frameGeometry().size();
    QPoint place = area.center() - QPoint(size.width() / 2, size.height() / 2);
    if (main_window->isVisible()) {
        const QRect main = main_window->frameGeometry();
        const int right = main.right() + 1 + GAP;
        const int left = main.left() - GAP - size.width();
        if (right + size.width() <= area.right() + 1)
            place.setX(right);
        else if (left >= area.left())
            place.setX(left);
        else
            place.setX(main.center().x() - size.width() / 2);
        place.setY(main.center().y() - size.height() / 2);
    }
    place.setX(qMax(area.left(), qMin(place.x(), area.right() + 1 - size.width())));
    place.setY(qMax(area.top(), qMin(place.y(), area.bottom() + 1 - size.height())));
    window->move(place);
}

} // namespace zim
