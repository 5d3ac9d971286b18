#include "ui/main/windowplacement.h"

#include "ui/windowfit.h"

#include <QApplication>
#include <QEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace {
const int GAP = 8;
const char* const CALL_KEYS = "veloraCallKeys";

qint64 overlap(const QRect& a, const QRect& b)
{
    const QRect both = a.intersected(b);
    return both.isEmpty() ? 0 : qint64(both.width()) * both.height();
}

QRect call_keys_of(const QWidget* main_window)
{
    const auto* keys = qobject_cast<const QWidget*>(main_window->property(CALL_KEYS).value<QObject*>());
    if (!keys || !keys->isVisible())
        return QRect();
    return QRect(keys->mapToGlobal(QPoint(0, 0)), keys->size());
}

// No side of the phone has room for the window: it goes to the left or the right edge of the
// screen, above or below the call keys, wherever it covers least of the phone; a window taller
// than the room above the keys is made shorter (its form scrolls), never laid over them.
QPoint least_covering(QWidget* window, QSize size, const QRect& area, const QRect& main, const QRect& keys)
{
    if (keys.isEmpty())
        return QPoint(main.center().x() - size.width() / 2, main.center().y() - size.height() / 2);
    const int room_above = keys.top() - GAP - area.top();
    const int room_below = area.bottom() - keys.bottom() - GAP;
    const QSize frame_extra = window->frameGeometry().size() - window->size();
    if (size.height() > room_above && size.height() > room_below) {
        const int height = qMax(room_above, room_below);
        const int fitted = qMax(window->minimumSizeHint().height(), height - frame_extra.height());
        window->resize(window->width(), qMin(window->height(), fitted));
        size.setHeight(window->height() + frame_extra.height());
    }
    QPoint best;
    qint64 best_cost = -1;
    for (const int x : {area.left(), area.right() + 1 - size.width()}) {
        for (const int y : {keys.top() - GAP - size.height(), keys.bottom() + 1 + GAP}) {
            const QRect place(QPoint(x, qMax(area.top(), qMin(y, area.bottom() + 1 - size.height()))), size);
            // Covering the keys costs more than covering the whole phone.
            const qint64 cost = overlap(place, main) + overlap(place, keys) * qint64(area.width()) * 4;
            if (best_cost < 0 || cost < best_cost) {
                best_cost = cost;
                best = place.topLeft();
            }
        }
    }
    return best;
}

// Message boxes and file dialogs open beside the phone as its own windows do, instead of centred
// over the window that opened them. They are placed just before they map (a dialog that is moved
// keeps its place), and again if they change size before that.
class BoxPlacer : public QObject
{
public:
    explicit BoxPlacer(QWidget* main) : QObject(main), main_window(main) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        if (type != QEvent::Show && type != QEvent::Resize)
            return false;
        auto* box = qobject_cast<QDialog*>(watched);
        if (!box || !box->isWindow() || !main_window || box == main_window.data() ||
            !(qobject_cast<QMessageBox*>(box) || qobject_cast<QFileDialog*>(box)))
            return false;
        if (placing || (type == QEvent::Resize &&
                        (!box->isVisible() || (box->windowHandle() && box->windowHandle()->isExposed()))))
            return false;
        placing = true; // placing may resize the box
        zim::place_beside(box, main_window);
        placing = false;
        return false;
    }

private:
    QPointer<QWidget> main_window;
    bool placing = false;
};

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
    QSize size = window->frameGeometry().size();
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
        if (area.right() - main.right() >= needed) {
            place.setX(main.right() + 1 + GAP);
            place.setY(main.center().y() - size.height() / 2);
        } else if (main.left() - area.left() >= needed) {
            place.setX(main.left() - needed);
            place.setY(main.center().y() - size.height() / 2);
        } else {
            place = least_covering(window, size, area, main, call_keys_of(main_window));
            size = window->frameGeometry().size();
        }
    }
    place.setX(qMax(area.left(), qMin(place.x(), area.right() + 1 - size.width())));
    place.setY(qMax(area.top(), qMin(place.y(), area.bottom() + 1 - size.height())));
    window->move(place);
}

// The height a window gets when no side of the phone has room for it: what lies above the call
// keys; -1 when it goes beside the phone (or the phone is hidden).
static int room_above_call_keys(const QWidget* window, const QWidget* main_window)
{
    const QScreen* screen = main_window->screen();
    const QRect keys = call_keys_of(main_window);
    if (!screen || !main_window->isVisible() || keys.isEmpty())
        return -1;
    const QRect area = screen->availableGeometry();
    if (main_window->frameGeometry().width() + window->frameGeometry().width() + GAP <= area.width())
        return -1;
    return keys.top() - GAP - area.top();
}

void bring_up(QWidget* window, QWidget* main_window)
{
    window->activateWindow();
    if (window->isHidden()) {
        fit_to_screen(window, room_above_call_keys(window, main_window));
        place_beside(window, main_window);
        const QSize before = window->frameGeometry().size();
        window->show();
        // A window shown the first time gets its frame only now: placed again with it.
        if (window->frameGeometry().size() != before)
            place_beside(window, main_window);
    }
    window->raise();
}

void set_call_keys(QWidget* main_window, QWidget* keys)
{
    main_window->setProperty(CALL_KEYS, QVariant::fromValue<QObject*>(keys));
}

QObject* place_boxes_beside(QWidget* main_window)
{
    auto* placer = new BoxPlacer(main_window);
    qApp->installEventFilter(placer);
    return placer;
}

} // namespace zim
