#include "support/registeredprogram.h"

#include "data/zimconstants.h"
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "data/zimpaths.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QSqlQuery>
#include <QThread>
#include <QVariant>

void store_account(const ProgramRunner& runner, int registrar_port, const QString& user,
                   const QMap<QString, QString>& other)
{
    zim::set_app_dir_for_tests(runner.dir());
    zim::make_private_log_dir();
    {
        ZimLogger logger;
        ZimData data(nullptr, &logger);
        data.save_account_settings({{"address", "127.0.0.1"},
                                    {"port", QString::number(registrar_port)},
                                    {"userId", user},
                                    {"password", "secret"}});
        if (!other.isEmpty())
            data.save_other_settings(other);
    }
    zim::set_app_dir_for_tests(QString());
}

RegisteredProgram::RegisteredProgram()
{
    // A user of its own, so that a long stress run never meets another test's program.
    runner.set_user(QStringLiteral("stress%1").arg(QCoreApplication::applicationPid()));
}

RegisteredProgram::~RegisteredProgram()
{
    const QString name = history.connectionName();
    history.close();
    history = QSqlDatabase();
    if (!name.isEmpty())
        QSqlDatabase::removeDatabase(name);
    runner.stop_first();
}

bool RegisteredProgram::start()
{
    if (registrar.port() == 0) {
        if (!registrar.start())
            return false;
        store_account(runner, registrar.port(), QStringLiteral("100"));
    }
    const int before = registrations();
    if (!runner.start_first())
        return false;
    QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        if (registrations() > before)
            return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 100); // Kamailio's output
        QThread::msleep(50);
    }
    return false;
}

bool RegisteredProgram::restart_with_outlink(const QMap<QString, QString>& outlink)
{
    runner.stop_first();
    zim::set_app_dir_for_tests(runner.dir());
    bool saved;
    {
        ZimLogger logger;
        ZimData data(nullptr, &logger);
        saved = data.save_outlink_settings(outlink);
    }
    zim::set_app_dir_for_tests(QString());
    return saved && start();
}

int RegisteredProgram::registrations()
{
    return registrar.registration_count(QStringLiteral("100"));
}

qint64 RegisteredProgram::command_round_trip_ms(const QByteArray& command) const
{
    QElapsedTimer clock;
    clock.start();
    QLocalSocket socket;
    socket.connectToServer(runner.server_name());
    if (!socket.waitForConnected(5000))
        return -1;
    socket.write(command);
    QByteArray reply;
    while (reply.size() < 2 && socket.waitForReadyRead(5000))
        reply += socket.readAll();
    return reply == "OK" ? clock.elapsed() : -1;
}

bool RegisteredProgram::open_history()
{
    if (history.isOpen())
        return true;
    history = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("stress_history"));
    history.setDatabaseName(runner.dir() + QStringLiteral("/data/zimpdata"));
    return history.open();
}

QList<RegisteredProgram::Row> RegisteredProgram::rows_after(int id)
{
    QList<Row> rows;
    if (!open_history())
        return rows;
    QSqlQuery query(history);
    query.prepare(QStringLiteral("SELECT Id, Status, PhoneNumber FROM history WHERE Id > ? ORDER BY Id"));
    query.addBindValue(id);
    query.exec();
    while (query.next())
        rows.append({query.value(0).toInt(), query.value(1).toString(), query.value(2).toString()});
    return rows;
}

int RegisteredProgram::row_count()
{
    if (!open_history())
        return -1;
    QSqlQuery query(history);
    return query.exec(QStringLiteral("SELECT COUNT(*) FROM history")) && query.next() ? query.value(0).toInt()
                                                                                      : -1;
}

bool RegisteredProgram::wait_rows(int count, int timeout_ms)
{
    QDeadlineTimer deadline(timeout_ms);
    while (!deadline.hasExpired()) {
        if (row_count() >= count)
            return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(20);
    }
    return false;
}

QString RegisteredProgram::integrity()
{
    if (!open_history())
        return QStringLiteral("not opened");
    QSqlQuery query(history);
    return query.exec(QStringLiteral("PRAGMA integrity_check")) && query.next() ? query.value(0).toString()
                                                                                : QStringLiteral("no answer");
}
