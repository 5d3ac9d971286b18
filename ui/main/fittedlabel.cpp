#include "ui/main/fittedlabel.h"

#include <QFontMetrics>
#include <QPainter>

void FittedLabel::set_fitting(int smallest_points, Qt::TextElideMode elide)
{
    smallest = smallest_points;
    elide_mode = elide;
    update();
}

QFont FittedLabel::fitted_font() const
{
    QFont fitted = font();
    while (fitted.pointSize() > smallest &&
           QFontMetrics(fitted).horizontalAdvance(text()) > contentsRect().width())
        fitted.setPointSize(fitted.pointSize() - 1);
    return fitted;
}

QString FittedLabel::shown_text() const
{
    if (elide_mode == Qt::ElideNone)
        return text();
    return QFontMetrics(fitted_font()).elidedText(text(), elide_mode, contentsRect().width());
}

void FittedLabel::paintEvent(QPaintEvent* event)
{
    const QFont fitted = fitted_font();
    const QString shown = shown_text();
    if (fitted == font() && shown == text()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.setFont(fitted);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(contentsRect(), int(alignment()), shown);
}
