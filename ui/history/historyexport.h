#pragma once

#include <QSqlDatabase>
#include <QString>

// Writes history rows to a CSV file as the lists show them: kind, number, duration, outcome and
// date in words, then the quality figures. UTF-8 with a byte order mark and CRLF lines, so that
// spreadsheet programs read the Japanese right; a cell that a spreadsheet would take for a formula
// or a number is written so that it shows as the history's text.
namespace history_export {

// The rows passing `filter` (an SQL condition, empty for all) in the given order ("Id DESC").
// Returns the number of rows written, or -1 with `error` set; the file is replaced only whole.
int write_csv(QSqlDatabase database, const QString& filter, const QString& order, const QString& path,
              QString* error);

// One CSV cell: quoted where needed, and (with `as_text`) made text where a spreadsheet would
// compute it.
QString cell(const QString& text, bool as_text = true);
// The cell of a telephone number: text in a spreadsheet, exactly as the history shows it.
QString number_cell(const QString& number);

} // namespace history_export
