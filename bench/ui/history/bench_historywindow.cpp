// Opening the history window (construct, show, first refresh, and the lazy fetching the views
// do once shown) and adding one call, with 100 000 stored calls against 1 000, in one run.
// The ratio should stay near 1: neither may grow with the length of the history.

#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "support/testdir.h"
#include "ui/history/historywindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlTableModel>
#include <QTabWidget>
#include <QTest>
#include <QVariant>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

static void init_images()
{
    Q_INIT_RESOURCE(images);
}

namespace {
// Fills the table in one transaction through a connection of its own. The kinds cycle through
// 1-4, or are all outgoing for the lopsided history of an operator who mostly dials out.
void fill_history(int rows, bool outgoing_only)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fill"));
        db.setDatabaseName(ZimData::database_path());
        db.open();
        db.transaction();
        QSqlQuery query(db);
        query.prepare(
            QStringLiteral("INSERT INTO history(Status, PhoneNumber, DialogTime, DialogDate, DeleteFlg) "
                           "VALUES(?, ?, '00:01:00', '2026-12-01 09:00:00', '0')"));
        for (int i = 0; i < rows; ++i) {
            query.addBindValue(QString::number(outgoing_only ? 2 : i % 4 + 1));
            query.addBindValue(QStringLiteral("0312%1").arg(i, 6, 10, QLatin1Char('0')));
            query.exec();
        }
        db.commit();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));
}

// Runs the event loop until the views stop reading rows (they fetch further chunks of the table
// from timers, for as long as a list still has room to fill) and returns the milliseconds on the
// clock when the last row was read, or when the settling began if none was: the idle wait that
// proves the quiet is not counted.
double settle(const HistoryWindow* window, const QElapsedTimer& clock)
{
    double busy_until = clock.nsecsElapsed() / 1e6;
    int last = window->rows_read();
    for (int quiet = 0; quiet < 20;) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        const int read = window->rows_read();
        if (read != last) {
            busy_until = clock.nsecsElapsed() / 1e6;
            quiet = 0;
        } else if (++quiet > 5) {
            QTest::qWait(5); // give a pending layout timer its chance
        }
        last = read;
    }
    return busy_until;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Timing
{
    double open_ms;
    double add_ms;
    double missed_tab_ms; // the user turns to the missed calls
    int rows_read;        // rows the model had read from the table after all of that
};

Timing measure(int rows, bool outgoing_only)
{
    TestAppDir dir;
    dir.make_log_dir();
    ZimLogger logger;
    auto data = std::make_unique<ZimData>(nullptr, &logger);
    fill_history(rows, outgoing_only);
    std::vector<double> opens;
    std::vector<double> adds;
    std::vector<double> tabs;
    int rows_read = 0;
    const QMap<QString, QString> call = {
        {QStringLiteral("status"), QStringLiteral("1")},
        {QStringLiteral("phoneNumber"), QStringLiteral("201")},
        {QStringLiteral("dialogTime"), QStringLiteral("00:00:30")},
        {QStringLiteral("dialogDate"), QStringLiteral("2026-12-02 10:00:00")},
        {QStringLiteral("deleteFlg"), QStringLiteral("0")}};
    for (int round = 0; round < 7; ++round) {
        QElapsedTimer timer;
        timer.start();
        auto window = std::make_unique<HistoryWindow>(nullptr, data.get(), &logger);
        window->show();
        opens.push_back(settle(window.get(), timer));

        timer.restart();
        window->add_history(call);
        adds.push_back(settle(window.get(), timer));

        timer.restart();
        window->findChild<QTabWidget*>(QStringLiteral("tabWidget"))->setCurrentIndex(3);
        tabs.push_back(settle(window.get(), timer));
        rows_read = window->rows_read();
    }
    return {median(opens), median(adds), median(tabs), rows_read};
}
} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false")); // log lines go to the log file
    init_images();
    for (bool outgoing_only : {false, true}) {
        const Timing small = measure(1000, outgoing_only);
        const Timing large = measure(100000, outgoing_only);
        std::printf("history of %s calls\n", outgoing_only ? "outgoing-only" : "mixed");
        std::printf("  open: 1000 rows %.2f ms, 100000 rows %.2f ms, ratio %.2f\n", small.open_ms,
                    large.open_ms, large.open_ms / small.open_ms);
        std::printf("  add:  1000 rows %.2f ms, 100000 rows %.2f ms, ratio %.2f\n", small.add_ms,
                    large.add_ms, large.add_ms / small.add_ms);
        std::printf("  missed-calls tab: 1000 rows %.2f ms, 100000 rows %.2f ms, ratio %.2f\n",
                    small.missed_tab_ms, large.missed_tab_ms, large.missed_tab_ms / small.missed_tab_ms);
        std::printf("  rows read by the lists: %d of 1000, %d of 100000\n", small.rows_read, large.rows_read);
    }
    return 0;
}
