#pragma once

#include "support/kamailiorunner.h"
#include "support/programrunner.h"

#include <QMap>
#include <QSqlDatabase>
#include <QString>

// Saves an account for this user at a Kamailio on 127.0.0.1 (password "secret"), and these other
// settings, in the data of the program the runner starts, as the settings window saves them.
void store_account(const ProgramRunner& runner, int registrar_port, const QString& user,
                   const QMap<QString, QString>& other = {});

// The real program registered as user 100 at a Kamailio on 127.0.0.1, for tests that drive a
// whole working day of it. The history table is read through one connection of the test's own.
class RegisteredProgram
{
public:
    RegisteredProgram();
    ~RegisteredProgram();

    // Starts Kamailio once, saves the account and starts the program; true when it registered.
    bool start();
    // Stops the program, stores these external-link settings and starts it again.
    bool restart_with_outlink(const QMap<QString, QString>& outlink);
    // Its own SIP port, from the contact it registered last.
    int sip_port() { return registrar.registered_port(QStringLiteral("100")); }
    // How many REGISTERs for user 100 the registrar accepted so far.
    int registrations();
    // Runs a later start with these arguments; true when it handed them over.
    bool command(const QStringList& args) { return runner.run_messenger(args) == 0; }
    // Sends a command on the channel itself and returns the time until "OK" (-1 without one).
    qint64 command_round_trip_ms(const QByteArray& command) const;

    struct Row
    {
        int id;
        QString status, number;
    };
    QList<Row> rows_after(int id);
    int row_count();
    // Waits until the history has at least count rows.
    bool wait_rows(int count, int timeout_ms = 20000);
    QString integrity(); // PRAGMA integrity_check

    KamailioRunner registrar;
    ProgramRunner runner;

private:
    bool open_history();
    QSqlDatabase history;
};
