#include "ui/history/historyitemdelegate.h"

#include "data/zimconstants.h"
#include "ui/history/historyrecord.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCursor>
#include <QHelpEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

HistoryItemDelegate::HistoryItemDelegate(QObject* parent)
    : QItemDelegate(parent), income_pixmap(zim::ICON_INCOMING), out_pixmap(zim::ICON_OUTGOING),
      declined_pixmap(zim::ICON_MISSED), out_failed_pixmap(zim::ICON_OUTGOING_FAILED),
      poor_pixmap(zim::ICON_POOR_QUALITY), right_menu(new QMenu)
{
    dialog_action = new QAction(QStringLiteral("発信"), parent);
    delete_action = new QAction(QStringLiteral("削除"), parent);
    connect(dialog_action, &QAction::triggered, this, &HistoryItemDelegate::slot_right_menu_dialog_clicked);
    connect(delete_action, &QAction::triggered, this, &HistoryItemDelegate::slot_right_menu_delete_clicked);
}

HistoryItemDelegate::~HistoryItemDelegate()
{
    delete right_menu;
}

QPixmap HistoryItemDelegate::status_pixmap(int status) const
{
    switch (status) {
    case 1:
        return income_pixmap;
    case 2:
        return out_pixmap;
    case 3:
        return declined_pixmap;
    case 4:
        return out_failed_pixmap;
    default:
        return QPixmap();
    }
}

void HistoryItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const
{
    if (index.column() == zim::HISTORY_OUTCOME) {
        // The outcome in words, and at the cell's right end the mark of a call that sounded poor.
        drawBackground(painter, option, index);
        drawDisplay(painter, option, option.rect, history_record::outcome_text(index));
        if (history_record::is_poor(index)) {
            const QRect& cell = option.rect;
            painter->drawPixmap(cell.right() - poor_pixmap.width() - 3,
                                cell.top() + cell.height() / 2 - poor_pixmap.height() / 2, poor_pixmap);
        }
        drawFocus(painter, option, option.rect);
        return;
    }
    if (index.column() == 2 && !history_record::recording_of(index).isEmpty()) {
        // A recorded call: a red dot at the number's right end, as a recorder's lamp.
        QItemDelegate::paint(painter, option, index);
        const QRect& cell = option.rect;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(QColor(0x8b, 0x10, 0x10));
        painter->setBrush(QColor(0xd8, 0x24, 0x24));
        painter->drawEllipse(QRectF(cell.right() - 12.5, cell.center().y() - 4.5, 9, 9));
        painter->restore();
        return;
    }
    if (index.column() != 1) {
        QItemDelegate::paint(painter, option, index);
        return;
    }
    // The status cell is the icon alone: no background, highlight or text.
    const QPixmap pixmap = status_pixmap(index.data(Qt::DisplayRole).toString().toInt(nullptr, 10));
    if (pixmap.isNull())
        return;
    const QRect& cell = option.rect;
    const int x = cell.left() + cell.width() / 2 - pixmap.width() / 2;
    const int y = cell.top() + cell.height() / 2 - pixmap.height() / 2;
    painter->drawPixmap(x, y, pixmap);
}

bool HistoryItemDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                                      const QStyleOptionViewItem& option, const QModelIndex& index)
{
    Q_UNUSED(model)
    Q_UNUSED(option)
    const auto type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease &&
        type != QEvent::MouseButtonDblClick)
        return false;
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::RightButton) {
        // Only the press opens the menu; the release of the same click must not open it again.
        if (type != QEvent::MouseButtonPress)
            return false;
        right_clicked_row = index.row();
        right_clicked_index = index;
        right_menu->clear();
        right_menu->addAction(dialog_action);
        right_menu->addAction(delete_action);
        right_menu->exec(QCursor::pos());
        event->accept();
    } else if (index.column() == 2 && type == QEvent::MouseButtonDblClick) {
        emit signal_send_dialog(index.data(Qt::DisplayRole).toString());
    }
    return false;
}

bool HistoryItemDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                    const QStyleOptionViewItem& option, const QModelIndex& index)
{
    if (event->type() != QEvent::ToolTip || (index.column() != zim::HISTORY_OUTCOME && index.column() != 2))
        return QItemDelegate::helpEvent(event, view, option, index);
    const QString recording = history_record::recording_of(index);
    const QString tip = index.column() == 2
                            ? (recording.isEmpty() ? QString() : QStringLiteral("録音あり: ") + recording)
                            : history_record::quality_tooltip(index);
    if (tip.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(event->globalPos(), tip, view);
    return true;
}

void HistoryItemDelegate::slot_right_menu_dialog_clicked()
{
    // A list rebuilt while the menu was open no longer shows the row the user picked.
    if (!right_clicked_index.isValid())
        return;
    // The persistent index follows its record when the list is re-sorted under the open menu.
    right_clicked_row = right_clicked_index.row();
    const QAbstractItemModel* model = right_clicked_index.model();
    emit signal_send_dialog(model->index(right_clicked_row, 2).data(Qt::DisplayRole).toString());
}

void HistoryItemDelegate::slot_right_menu_delete_clicked()
{
    // Removing rows rebuilds the views, which must not happen under the view's own mouse handler
    // (it still holds the clicked index), so the removal runs once that handler has returned.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!right_clicked_index.isValid())
                return;
            right_clicked_row = right_clicked_index.row();
            emit signal_remove_row(right_clicked_row);
        },
        Qt::QueuedConnection);
}
