#pragma once

#include <QSortFilterProxyModel>

// A list's rows as a screen reader speaks them: the kind, drawn as an icon, and the outcome, drawn
// in words over its stored code, are given in words too (kind, number, duration, outcome, date).
class HistoryRows : public QSortFilterProxyModel
{
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
};
