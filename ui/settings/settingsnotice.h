#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

// The modal warnings the settings windows share. Both boxes have no parent, like every other box
// of the program, and a single Yes button that is also the default.
class SettingsNotice
{
public:
    // The account may not change while a call is in progress.
    static void refuse_during_call();
    // Saved during a call: the account fields named (by their labels) apply when the call ends.
    static void account_waits_for_call_end(const QStringList& fields);
    // A settings save failed; the window that says so stays open with the user's edits.
    static void save_failed(const QString& title);
    // An empty port leaves the choice to the engine; anything else must be 1 to 65535. Says so
    // and returns true when the port is refused.
    static bool refuse_port(const QString& port, const QString& title);
    // The account's local SIP port, audio range and DSCP mark: the first that cannot serve is
    // named and true returned.
    static bool refuse_local_ports(const QMap<QString, QString>& account, const QString& title);

    static const QString MSG_SAVE_FAILED;
    static const QString MSG_BAD_PORT;
    static const QString TITLE_ACCOUNT_AFTER_CALL;
    static const QString MSG_ACCOUNT_AFTER_CALL;
};
