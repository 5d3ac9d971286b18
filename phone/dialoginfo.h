#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// What a colleague's line is doing, as a lamp shows it.
enum class Lamp { Unknown, Free, Ringing, Busy };

// A dialog-state document (application/dialog-info+xml) as a server sends it in a NOTIFY for the
// "dialog" event: whose line it describes and each of its dialogs.
struct DialogInfo
{
    struct Dialog
    {
        QString id;
        QString call_id;
        QString local_tag;  // the colleague's own tag
        QString remote_tag; // the other party's
        bool recipient = false;
        bool initiator = false;
        QString state;           // trying, proceeding, early, confirmed or terminated
        QString remote_identity; // the other party's address, where the server names it
        QString remote_target;
    };

    // The largest body taken: a bigger one is refused unread.
    static const int MAX_BODY = 64 * 1024;

    QString entity;
    qint64 version = -1;
    bool full = true; // false: the dialogs listed update the ones known
    QList<Dialog> dialogs;

    // False, with the reason in *error, for a body that is too big, is no well-formed dialog-info
    // document, or lacks the entity; *result is then left as it was.
    static bool parse(const QByteArray& body, DialogInfo* result, QString* error);
    // Whether the document's entity names this extension (its user part; the host may be
    // written in more than one way by one server).
    bool names(const QString& extension) const;
    // Applies a later document of the same subscription: a full one replaces, a partial one
    // updates its dialogs by id; terminated dialogs are dropped.
    void take(const DialogInfo& later);

    Lamp lamp() const;
    // The dialog ringing at the colleague's that a pickup can replace: early, received, and with
    // the call's identifiers and the caller's address. Null when there is none.
    const Dialog* ringing_dialog() const;
};
