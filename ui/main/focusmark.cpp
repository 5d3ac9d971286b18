#include "ui/main/focusmark.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>

namespace {
const int RING = 3; // pixels around the control
}

FocusMark::FocusMark(QWidget* window) : QWidget(window), window_of_mark(window)
{
    setObjectName(QStringLiteral("focusMark"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    hide();
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { follow(now); });
}

void FocusMark::follow(QWidget* focused)
{
    if (target)
        target->removeEventFilter(this);
    target = focused && focused != window_of_mark && focused->window() == window_of_mark ? focused : nullptr;
    if (!target || !target->isVisible()) {
        hide();
        return;
    }
    target->installEventFilter(this); // it moves or hides with the keypad's fitting and the call
    const QRect place(target->mapTo(window_of_mark, QPoint(0, 0)), target->size());
    setGeometry(place.adjusted(-RING, -RING, RING, RING));
    raise();
    show();
}

bool FocusMark::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == target && (event->type() == QEvent::Move || event->type() == QEvent::Resize ||
                              event->type() == QEvent::Hide || event->type() == QEvent::Show))
        follow(target);
    return QWidget::eventFilter(watched, event);
}

void FocusMark::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // Two rings, dark inside light, to be seen on the light and the dark parts of the skin.
    painter.setPen(QPen(QColor(255, 255, 255), 3));
    painter.drawRoundedRect(QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5), 5, 5);
    painter.setPen(QPen(QColor(0, 90, 200), 2));
    painter.drawRoundedRect(QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5), 5, 5);
}
