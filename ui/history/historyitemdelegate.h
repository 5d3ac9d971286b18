#pragma once

#include <QItemDelegate>
#include <QPersistentModelIndex>
#include <QPixmap>

class QAction;
class QMenu;

// Draws the call-kind icon in the status column, the outcome in words and the mark of a call that
// sounded poor, and offers the row menu ("発信", "削除") and the double-click call-back on the
// number column.
class HistoryItemDelegate : public QItemDelegate
{
    Q_OBJECT
public:
    explicit HistoryItemDelegate(QObject* parent);
    ~HistoryItemDelegate() override;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;
    // The outcome's tooltip gives the figures of how the call sounded.
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

    // The icon of a history status code; an empty pixmap for codes outside 1-4.
    QPixmap status_pixmap(int status) const;
    QMenu* row_menu() const { return right_menu; }

signals:
    void signal_remove_row(int row);
    void signal_send_dialog(QString phoneNumber);

public slots:
    void slot_right_menu_dialog_clicked();
    void slot_right_menu_delete_clicked();

private:
    QPixmap income_pixmap;
    QPixmap out_pixmap;
    QPixmap declined_pixmap;
    QPixmap out_failed_pixmap;
    QPixmap poor_pixmap;
    QMenu* right_menu;
    QAction* dialog_action;
    QAction* delete_action;
    int right_clicked_row = -1;
    // Persistent so that a list rebuilt while the menu was open (a call ended meanwhile) is noticed.
    QPersistentModelIndex right_clicked_index;
};
