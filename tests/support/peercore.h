#pragma once

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

// A SIP peer on its own liblinphone core, where sipp cannot see what matters (DTMF, SRTP, the
// sound). The core lives in a process of its own (velora-test-peer): the SIP stack's parser
// caches are shared by every core in a process and not locked, so a second core beside the
// engine's would corrupt them. It answers every call; what it sees arrives as events while the
// test's event loop runs (the waits of QTRY_* and the fixtures process them).
class PeerCore : public QObject
{
    Q_OBJECT
public:
    // No sound card: the peer sends silence. With devices, it plays and records through them.
    PeerCore();
    PeerCore(const QString& playback, const QString& capture);
    ~PeerCore() override;

    QString uri(const QString& user) const;
    QString dtmf;           // digits received, in order
    int calls_received = 0; // incoming calls seen
    int active_calls() const { return calls; }
    void terminate_all();
    void dial(const QString& uri);
    // SRTP offered and accepted; required: calls in the clear are refused.
    void use_srtp(bool required);
    bool media_encrypted() const { return encrypted; } // the media of the peer's current call

private:
    void start(const QStringList& arguments);
    void command(const QString& line);
    void read_events();
    void take(const QByteArray& line);

    QProcess process;
    QByteArray pending;
    QString last_ok;
    int port = 0;
    int calls = 0;
    bool encrypted = false;
};
