#include "ui/history/historyrows.h"

#include "data/zimconstants.h"
#include "ui/history/historyrecord.h"

QVariant HistoryRows::data(const QModelIndex& index, int role) const
{
    if (role != Qt::AccessibleTextRole)
        return QSortFilterProxyModel::data(index, role);
    if (index.column() == 1)
        return history_record::status_text(QSortFilterProxyModel::data(index).toInt());
    if (index.column() == zim::HISTORY_OUTCOME)
        return history_record::outcome_text(index);
    return QSortFilterProxyModel::data(index, Qt::DisplayRole);
}
