#include "ui/history/historyrecord.h"

#include "data/zimconstants.h"
#include "phone/callquality.h"

#include <QFileInfo>
#include <QModelIndex>
#include <QVariant>

namespace history_record {

namespace {

void put(QMap<QString, QString>& row, const char* key, double figure)
{
    if (figure >= 0)
        row.insert(QString::fromLatin1(key), QString::number(figure, 'f', 2));
}

double figure(const QVariant& value)
{
    bool ok = false;
    const double number = value.toDouble(&ok);
    return value.isNull() || !ok ? -1 : number;
}

QString text_of(double value, int decimals, const QString& unit)
{
    return value < 0 ? QStringLiteral("不明") : QString::number(value, 'f', decimals) + unit;
}

QString cell_of(double value, int decimals)
{
    return value < 0 ? QString() : QString::number(value, 'f', decimals);
}

} // namespace

void add_report(QMap<QString, QString>& row, const CallReport& report)
{
    if (!report.outcome.isEmpty())
        row.insert(QStringLiteral("outcome"), report.outcome);
    if (report.sip_code > 0)
        row.insert(QStringLiteral("sipCode"), QString::number(report.sip_code));
    put(row, "lossSent", report.loss_sent_percent);
    put(row, "lossReceived", report.loss_received_percent);
    put(row, "jitter", report.jitter_ms);
    put(row, "roundTrip", report.round_trip_ms);
    put(row, "rating", report.rating);
    if (!report.recording.isEmpty())
        row.insert(QStringLiteral("recording"), report.recording);
}

QString status_text(int status)
{
    switch (status) {
    case 1:
        return QStringLiteral("着信");
    case 2:
        return QStringLiteral("発信");
    case 3:
        return QStringLiteral("着信（未応答）");
    case 4:
        return QStringLiteral("発信（未応答）");
    default:
        return QString();
    }
}

QString outcome_text(const QString& outcome, int sip_code)
{
    const QString code = sip_code > 0 ? QStringLiteral(" (%1)").arg(sip_code) : QString();
    if (outcome == outcome::ANSWERED)
        return QStringLiteral("応答");
    if (outcome == outcome::BUSY)
        return QStringLiteral("話中");
    if (outcome == outcome::NO_ANSWER)
        return QStringLiteral("応答なし");
    if (outcome == outcome::CANCELLED)
        return QStringLiteral("発信取消");
    if (outcome == outcome::MISSED)
        return QStringLiteral("不在");
    if (outcome == outcome::REJECTED)
        return QStringLiteral("拒否");
    if (outcome == outcome::TRANSFERRED)
        return QStringLiteral("転送");
    if (outcome == outcome::FAILED)
        return QStringLiteral("失敗") + code;
    return QString(); // a row of an earlier version, or a word of a later one
}

QString outcome_text(const QModelIndex& row)
{
    const CallReport report = report_of(row);
    return outcome_text(report.outcome, report.sip_code);
}

CallReport report_from(const std::function<QVariant(int column)>& value)
{
    CallReport report;
    report.outcome = value(zim::HISTORY_OUTCOME).toString();
    report.sip_code = value(zim::HISTORY_SIP_CODE).toInt();
    report.loss_sent_percent = figure(value(zim::HISTORY_LOSS_SENT));
    report.loss_received_percent = figure(value(zim::HISTORY_LOSS_RECEIVED));
    report.jitter_ms = figure(value(zim::HISTORY_JITTER));
    report.round_trip_ms = figure(value(zim::HISTORY_ROUND_TRIP));
    report.rating = figure(value(zim::HISTORY_RATING));
    report.recording = value(zim::HISTORY_RECORDING).toString();
    return report;
}

CallReport report_of(const QModelIndex& row)
{
    return report_from([&row](int column) { return row.siblingAtColumn(column).data(); });
}

QString recording_of(const QModelIndex& row)
{
    const QString path = row.siblingAtColumn(zim::HISTORY_RECORDING).data().toString();
    return !path.isEmpty() && QFileInfo::exists(path) ? path : QString();
}

bool is_poor(const QModelIndex& row)
{
    return CallQuality::is_poor(report_of(row));
}

QString quality_tooltip(const QModelIndex& row)
{
    const CallReport report = report_of(row);
    if (!report.has_quality())
        return QString();
    QStringList lines;
    if (CallQuality::is_poor(report))
        lines << QStringLiteral("回線品質低下");
    lines << QStringLiteral("品質評価: %1").arg(text_of(report.rating, 1, QStringLiteral(" / 5")))
          << QStringLiteral("損失 (受信): %1")
                 .arg(text_of(report.loss_received_percent, 1, QStringLiteral(" %")))
          << QStringLiteral("損失 (送信): %1").arg(text_of(report.loss_sent_percent, 1, QStringLiteral(" %")))
          << QStringLiteral("ジッタ: %1").arg(text_of(report.jitter_ms, 1, QStringLiteral(" ms")))
          << QStringLiteral("往復遅延: %1").arg(text_of(report.round_trip_ms, 0, QStringLiteral(" ms")));
    return lines.join(QLatin1Char('\n'));
}

QStringList quality_headers()
{
    return {QStringLiteral("品質評価"), QStringLiteral("損失 受信 (%)"), QStringLiteral("損失 送信 (%)"),
            QStringLiteral("ジッタ (ms)"), QStringLiteral("往復遅延 (ms)")};
}

QStringList quality_cells(const CallReport& report)
{
    return {cell_of(report.rating, 1), cell_of(report.loss_received_percent, 1),
            cell_of(report.loss_sent_percent, 1), cell_of(report.jitter_ms, 1),
            cell_of(report.round_trip_ms, 0)};
}

} // namespace history_record
