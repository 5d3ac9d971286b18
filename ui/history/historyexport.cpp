#include "ui/history/historyexport.h"

#include "data/zimconstants.h"
#include "data/zimpaths.h"
#include "ui/history/historyrecord.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QVariant>

#include <cerrno>
#include <cstring>

namespace history_export {

namespace {

// The cells of one line; the number's (the second) already written as a cell.
QString line(const QStringList& cells, int number_column = -1)
{
    QStringList quoted;
    for (int column = 0; column < cells.size(); ++column)
        quoted << (column == number_column ? cells.at(column) : cell(cells.at(column)));
    return quoted.join(QLatin1Char(',')) + QStringLiteral("\r\n");
}

} // namespace

// A telephone number is text in every spreadsheet: as a bare value 0312345678 loses its leading
// 0 and +81… its "+". Written as a formula that only quotes it (="0312345678"), Calc and Excel show
// it exactly as the history does; whatever the caller put in their From header stays inside the
// quotes, inert, so "=HYPERLINK(…)" shows as those characters too.
QString number_cell(const QString& number)
{
    if (number.isEmpty())
        return number;
    return cell(QStringLiteral("=\"") + QString(number).replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
                    QLatin1Char('"'),
                false);
}

QString cell(const QString& text, bool as_text)
{
    QString value = text;
    // A caller's number is whatever the caller's From header says: "=HYPERLINK(…)" must not become
    // a live formula in the supervisor's spreadsheet. A plain number such as +81312345678 stays.
    static const QRegularExpression plain_number(QStringLiteral("^\\+?[0-9*#]+$"));
    static const QString formula_starts = QStringLiteral("=+-@\t\r");
    if (as_text && !value.isEmpty() && formula_starts.contains(value.at(0)) &&
        !plain_number.match(value).hasMatch())
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
    // Every call's number and quality is personal data: the file is the user's alone from its
    // creation, as the history is (a file it replaces is made so too, and the new one keeps that).
    const bool existed = QFileInfo::exists(path);
    QSaveFile file(path);
    const bool prepared = zim::prepare_private_file(path);
    const QString not_prepared = QString::fromLocal8Bit(std::strerror(errno));
    if (!prepared || !file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = prepared ? file.errorString() : not_prepared;
        if (!existed)
            QFile::remove(path);
        return -1;
    }
    QString text = QStringLiteral("\uFEFF"); // the byte order mark
    text += line(QStringList{QStringLiteral("種類"), QStringLiteral("電話番号"), QStringLiteral("通話時間"),
                             QStringLiteral("結果"), QStringLiteral("日付")} +
                 history_record::quality_headers() + QStringList{QStringLiteral("録音ファイル")});
    int rows = 0;
    while (query.next()) {
        const CallReport report =
            has_report ? history_record::report_from([&query](int column) { return query.value(column); })
                       : CallReport();
        text += line(QStringList{history_record::status_text(query.value(1).toInt()),
                                 number_cell(query.value(2).toString()), query.value(3).toString(),
                                 history_record::outcome_text(report.outcome, report.sip_code),
                                 query.value(4).toString()} +
                         history_record::quality_cells(report) +
                         QStringList{QFileInfo(report.recording).fileName()},
                     1);
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
        if (!existed)
            QFile::remove(path);
        return -1;
    }
    return rows;
}

} // namespace history_export
