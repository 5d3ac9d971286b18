#include "ui/main/missedcallmark.h"

#include "data/zimconstants.h"
#include "ui/history/historywindow.h"

#include <QEvent>
#include <QPainter>
#include <QSqlQuery>
#include <QSqlTableModel>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTimer>

namespace {
const int MISSED_TAB = 3;
const QString TOOLTIP_MARK = QStringLiteral("\n不在着信 ");

QIcon with_mark(const QIcon& icon)
{
    QPixmap pixmap = icon.pixmap(64, 64);
    if (pixmap.isNull()) {
        pixmap = QPixmap(64, 64);
        pixmap.fill(Qt::transparent);
    }
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::white, 3));
    painter.setBrush(QColor(QStringLiteral("#d93a30")));
    painter.drawEllipse(QRectF(36, 2, 26, 26));
    painter.end();
    return QIcon(pixmap);
}

// The newest missed call's Id and the number of missed calls after the given Id, as the 不在着信
// list selects them.
QPair<qint64, int> missed_after(const QSqlDatabase& db, qint64 id)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT IFNULL(MAX(Id), 0), SUM(Id > ?) FROM history WHERE ") +
                  zim::HISTORY_MISSED_FILTER);
    query.addBindValue(id);
    if (!query.exec() || !query.next())
        return {id, 0};
    return {query.value(0).toLongLong(), query.value(1).toInt()};
}
} // namespace

MissedCallMark::MissedCallMark(QSystemTrayIcon* tray, HistoryWindow* history)
    : QObject(tray), tray(tray), history(history), tabs(history->findChild<QTabWidget*>()),
      plain_icon(tray->icon()), marked_icon(with_mark(tray->icon()))
{
    // Missed calls from before this start were there to be seen already.
    seen_id = missed_after(history->model()->database(), 0).first;
    history->installEventFilter(this);
    if (tabs)
        connect(tabs, &QTabWidget::currentChanged, this, &MissedCallMark::update);
}

void MissedCallMark::slot_update_later()
{
    QTimer::singleShot(0, this, &MissedCallMark::update);
}

bool MissedCallMark::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == history && event->type() == QEvent::Show)
        slot_update_later(); // once the window is really visible
    return false;
}

bool MissedCallMark::missed_list_shown() const
{
    return history->isVisible() && tabs && tabs->currentIndex() == MISSED_TAB;
}

void MissedCallMark::update()
{
    const auto missed = missed_after(history->model()->database(), seen_id);
    if (missed_list_shown()) {
        seen_id = missed.first;
        count = 0;
    } else {
        count = missed.second;
    }
    apply();
}

void MissedCallMark::apply()
{
    QString tip = tray->toolTip();
    const int old = tip.indexOf(TOOLTIP_MARK);
    if (old >= 0)
        tip.truncate(old);
    if (count > 0)
        tip += TOOLTIP_MARK + QStringLiteral("%1件").arg(count);
    tray->setToolTip(tip);
    tray->setIcon(count > 0 ? marked_icon : plain_icon);
}
