#pragma once

// Tests give each program a fresh HOME, and PulseAudio's client finds its server and cookie
// through HOME. Call this before HOME moves: it names both in the environment, so every client
// started afterwards (the engine, the cue player, a program under test) reaches the same server.
void pin_sound_server();

#include <QProcess>
#include <QTemporaryDir>

// A PulseAudio of the test's own, with one null sink, that the test can stop and resume like a
// server swamped by its clients. Clients reach it through PULSE_SERVER while it is pointed at.
class PrivateSoundServer
{
public:
    PrivateSoundServer();
    ~PrivateSoundServer(); // ends the server by its PID and points PULSE_SERVER back
    bool start(int timeout_ms = 10000);
    void point_here(); // PULSE_SERVER names this server for the clients started from now on
    void freeze();     // SIGSTOP: connections are taken and never answered
    void thaw();       // SIGCONT
    void stop();       // ends it by its PID; start() brings it back at the same address

private:
    QTemporaryDir dir;
    QProcess process;
    QByteArray previous_server;
};
