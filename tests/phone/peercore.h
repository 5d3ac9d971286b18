#pragma once

#include <QObject>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>

#include <linphone/core.h>

// A second liblinphone core in the test process, as a peer where sipp cannot see what matters
// (DTMF carried in the media). It answers every call and records the DTMF digits it receives.
// It runs in the test's thread: its core is iterated by a timer while the test waits.
class PeerCore : public QObject
{
    Q_OBJECT
public:
    PeerCore();
    ~PeerCore() override;

    QString uri(const QString& user) const;
    QString dtmf;           // digits received, in order
    int calls_received = 0; // incoming calls seen
    int active_calls() const;
    void terminate_all();
    // SRTP offered and accepted; required: calls in the clear are refused.
    void use_srtp(bool required);
    bool media_encrypted() const; // the media of the peer's current call

private:
    static void on_call_state(LinphoneCore* core, LinphoneCall* call, LinphoneCallState state, const char*);
    static void on_dtmf(LinphoneCore* core, LinphoneCall* call, int dtmf);
    static PeerCore* self(LinphoneCore* core);

    QTemporaryDir dir;
    LinphoneCore* core = nullptr;
    LinphoneCoreCbs* callbacks = nullptr;
    QTimer iterate_timer;
    int port = 0;
};
