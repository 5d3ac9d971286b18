#include "ui/main/windowplacement.h"

#include "ui/windowfit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {
const int GAP = 8;
} // namespace

namespace zim {

void place_beside(QWidget* window, QWidget* main_window)
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
        QRect main = main_window->frameGeometry();
        const int needed = size.width() + GAP;
        const int room_right = area.right() - main.right();
        const int room_left = main.left() - area.left();
        if (room_right < needed && room_left < needed && main.width() + needed <= area.width()) {
            // The phone makes room on the side that has more of it already.
            const int shift = room_right >= room_left ? -(needed - room_right) : needed - room_left;
            main_window->move(main_window->pos() + QPoint(shift, 0));
            main = main_window->frameGeometry();
        }
        if (area.right() - main.right() >= needed)
            place.setX(main.right() + 1 + GAP);
        else if (main.left() - area.left() >= needed)
            place.setX(main.left() - needed);
        else
            place.setX(main.center().x() - size.width() / 2);
        place.setY(main.center().y() - size.height() / 2);
    }
    place.setX(qMax(area.left(), qMin(place.x(), area.right() + 1 - size.width())));
    place.setY(qMax(area.top(), qMin(place.y(), area.bottom() + 1 - size.height())));
    window->move(place);
}

void bring_up(QWidget* window, QWidget* main_window)
{
    window->activateWindow();
    if (window->isHidden()) {
        fit_to_screen(window);
        place_beside(window, main_window);
        const QSize before = window->frameGeometry().size();
        window->show();
        // A window shown the first time gets its frame only now: placed again with it.
        if (window->frameGeometry().size() != before)
            place_beside(window, main_window);
    }
    window->raise();
}

} // namespace zim
