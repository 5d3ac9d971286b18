#include "ui/main/statuslabel.h"

#include <QFontMetrics>
#include <QPainter>

QFont StatusLabel::fitted_font() const
{
    QFont fitted = font();
    while (fitted.pointSize() > 6 && QFontMetrics(fitted).horizontalAdvance(text()) > contentsRect().width())
        fitted.setPointSize(fitted.pointSize() - 1);
    return fitted;
}

void StatusLabel::paintEvent(QPaintEvent* event)
{
    const QFont fitted = fitted_font();
    if (fitted == font()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.setFont(fitted);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(contentsRect(), int(alignment()), text());
}
