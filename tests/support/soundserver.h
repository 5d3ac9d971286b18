#pragma once

#include "support/sessionbus.h"

#include <QList>
#include <QProcess>
#include <QTemporaryDir>

#include <memory>

// Tests give each program a fresh HOME, and PulseAudio's client finds its server and cookie
// through HOME. Call this before HOME moves: it names both in the environment, so every client
// started afterwards (the engine, the cue player, a program under test) reaches the same server.
void pin_sound_server();

// The sound server the tests run on: PulseAudio, or PipeWire with pipewire-pulse and WirePlumber
// (as a Debian 12 desktop has it) when VELORA_SOUND_SERVER is "pipewire".
bool pipewire_wanted();

// A sound server of the test's own, with one null sink ("Null Output"), that the test can stop
// and resume like a server swamped by its clients, or end and start again. Clients reach it
// through PULSE_SERVER while it is pointed at. PipeWire runs as a desktop's user session would
// (pipewire, WirePlumber on a session bus of its own, pipewire-pulse), without systemd.
class PrivateSoundServer
{
public:
    enum Kind { PulseAudio, PipeWire };
    explicit PrivateSoundServer(Kind kind = pipewire_wanted() ? PipeWire : PulseAudio);
    ~PrivateSoundServer();              // ends the server by its PIDs and points PULSE_SERVER back
    bool start(int timeout_ms = 10000); // also after stop(), at the same address
    void stop();                        // SIGTERM to every process of the server
    void point_here();                  // PULSE_SERVER names this server for the clients started from now on
    QByteArray address() const;
    void freeze();       // SIGSTOP: connections are taken and never answered
    void thaw();         // SIGCONT
    QString log() const; // what the server's processes wrote

private:
    bool run(const QString& program, const QStringList& arguments);
    QProcess* pulse_side() const { return processes.isEmpty() ? nullptr : processes.last(); }

    Kind kind;
    QTemporaryDir dir;
    std::unique_ptr<SessionBus> bus; // WirePlumber's
    QList<QProcess*> processes;      // in the order started; the last one serves PulseAudio clients
    QByteArray previous_server;
};
