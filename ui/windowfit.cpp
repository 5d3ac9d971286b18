#include "ui/windowfit.h"

#include <QGuiApplication>
#include <QLayout>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QVariant>
#include <QWidget>

namespace {
// Before its first showing a window has no frame: room is kept for a window manager's title bar.
const int FRAME_ALLOWANCE = 32;
// The row of buttons (保存, キャンセル) lies within this distance of the window's bottom edge.
const int BUTTON_ROW_REACH = 60;
const char* const FITTED = "velora_fitted_to_screen";
} // namespace

namespace zim {

void fit_to_screen(QWidget* window, int max_height)
{
    if (window->property(FITTED).toBool())
        return;
    window->setProperty(FITTED, true);
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect area = screen->availableGeometry();
    if (max_height > 0)
        area.setHeight(qMin(area.height(), max_height));
    const bool framed = !window->windowFlags().testFlag(Qt::FramelessWindowHint);
    const int too_tall = window->height() + (framed ? FRAME_ALLOWANCE : 0) - area.height();
    const int too_wide = window->width() + (framed ? 8 : 0) - area.width();
    if (too_tall <= 0 && too_wide <= 0)
        return;
    QSize fitted(window->width() - qMax(0, too_wide), window->height() - qMax(0, too_tall));
    if (window->layout()) {
        window->setMinimumSize(0, 0);
        window->resize(fitted);
        return;
    }
    // Wider by the scroll bar where the screen has the room, so nothing scrolls sideways.
    const int bar = too_tall > 0 ? window->style()->pixelMetric(QStyle::PM_ScrollBarExtent) : 0;
    const int widened = qMin(bar, area.width() - (framed ? 8 : 0) - fitted.width());
    if (widened > 0)
        fitted.setWidth(fitted.width() + widened);
    int buttons_top = window->height();
    for (const QPushButton* button :
         window->findChildren<QPushButton*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (button->y() >= window->height() - BUTTON_ROW_REACH)
            buttons_top = qMin(buttons_top, button->y());
    }
    // What lies above the buttons moves, as it is, into a body that scrolls.
    auto* body = new QWidget;
    body->setObjectName(QStringLiteral("scrolledBody"));
    body->setFixedSize(window->width(), buttons_top);
    const QList<QWidget*> children = window->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget* child : children) {
        if (child->isWindow())
            continue;
        if (child->y() < buttons_top) {
            const QRect place = child->geometry();
            const bool hidden = child->isHidden();
            child->setParent(body);
            child->setGeometry(place);
            child->setVisible(!hidden);
        } else {
            child->move(child->x() + qMax(0, widened), child->y() - qMax(0, too_tall));
        }
    }
    auto* scroll = new QScrollArea(window);
    scroll->setObjectName(QStringLiteral("fitScrollArea"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(body);
    scroll->setGeometry(0, 0, fitted.width(), qMax(0, buttons_top - qMax(0, too_tall)));
    if (window->minimumSize() == window->maximumSize())
        window->setFixedSize(fitted);
    else
        window->resize(fitted);
}

} // namespace zim
