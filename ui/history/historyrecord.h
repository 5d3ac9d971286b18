#pragma once

#include "phone/callreport.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>

class QModelIndex;

// What a history row says beyond its six first columns, in words: how the call ended and how
// it sounded. Shared by the lists, their tooltips and the CSV export.
namespace history_record {

// Adds the report's fields to a history row ("outcome", "sipCode", "lossSent", "lossReceived",
// "jitter", "roundTrip", "rating"); unknown figures stay out, so their columns hold NULL.
void add_report(QMap<QString, QString>& row, const CallReport& report);

// The call kind of a status code (1 to 4) in words; empty for any other code.
QString status_text(int status);
// The outcome in words ("応答", "話中", "失敗 (503)"); empty for a row that keeps none.
QString outcome_text(const QString& outcome, int sip_code);
QString outcome_text(const QModelIndex& row);

// A row's outcome and figures from its columns (the history table's numbering); a figure the row
// does not hold is negative.
CallReport report_from(const std::function<QVariant(int column)>& value);
CallReport report_of(const QModelIndex& row);
bool is_poor(const QModelIndex& row);
// The row's recording while its file is there; empty when it has none, or the file is gone.
QString recording_of(const QModelIndex& row);
// The figures in words, one per line, for the mark's tooltip; empty when the row has none.
QString quality_tooltip(const QModelIndex& row);

// The figures one by one as the CSV export writes them (empty where unknown).
QStringList quality_cells(const CallReport& report);
QStringList quality_headers();

} // namespace history_record
