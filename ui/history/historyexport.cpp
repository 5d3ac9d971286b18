#include "ui/history/historyexport.h"

#include "data/zimconstants.h"
#include "ui/history/historyrecord.h"

#include <QRegularExpression>
#include <QSaveFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QVariant>

namespace history_export {

namespace {

QString line(const QStringList& cells)
{
    QStringList quoted;
    for (const QString& each : cells)
        quoted << cell(each);
    return quoted.join(QLatin1Char(',')) + QStringLiteral("\r\n");
}

} // namespace

QString cell(const QString& text)
{
    QString value = text;
    // A caller's number is whatever the caller's From header says: "=HYPERLINK(…)" must not become
    // a live formula in the supervisor's spreadsheet. A plain number such as +81312345678 stays.
    static const QRegularExpression plain_number(QStringLiteral("^\\+?[0-9*#]+$"));
    static const QString formula_starts = QStringLiteral("=+-@\t\r");
    if (!value.isEmpty() && formula_starts.contains(value.at(0)) && !plain_number.match(value).hasMatch())
        value.prepend(QLatin1Char('\''));
    if (value.contains(QLatin1Char(',')) || value.contains(QLatin1Char('"')) ||
        value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r')) || value != text)
        value = QLatin1Char('"') + value.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
    return value;
}

int write_csv(QSqlDatabase database, const QString& filter, const QString& order, const QString& path,
              QString* error)
{
    QSqlQuery query(database);
    query.setForwardOnly(true);
    const QString where = filter.isEmpty() ? QString() : QStringLiteral(" WHERE ") + filter;
    if (!query.exec(QStringLiteral("SELECT * FROM history%1 ORDER BY %2").arg(where, order))) {
        if (error)
            *error = query.lastError().text();
        return -1;
    }
    const bool has_report = query.record().count() >= zim::HISTORY_COLUMN_COUNT;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return -1;
    }
    QString text = QStringLiteral("\uFEFF"); // the byte order mark
    text += line(QStringList{QStringLiteral("種類"), QStringLiteral("電話番号"), QStringLiteral("通話時間"),
                             QStringLiteral("結果"), QStringLiteral("日付")} +
                 history_record::quality_headers());
    int rows = 0;
    while (query.next()) {
        const CallReport report =
            has_report ? history_record::report_from([&query](int column) { return query.value(column); })
                       : CallReport();
        text += line(QStringList{history_record::status_text(query.value(1).toInt()),
                                 query.value(2).toString(), query.value(3).toString(),
                                 history_record::outcome_text(report.outcome, report.sip_code),
                                 query.value(4).toString()} +
                     history_record::quality_cells(report));
        ++rows;
        if (text.size() > (1 << 20)) { // written a megabyte at a time, whatever the history's size
            file.write(text.toUtf8());
            text.clear();
        }
    }
    file.write(text.toUtf8());
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return -1;
    }
    return rows;
}

} // namespace history_export
