#pragma once

// Tests give each program a fresh HOME, and PulseAudio's client finds its server and cookie
// through HOME. Call this before HOME moves: it names both in the environment, so every client
// started afterwards (the engine, the cue player, a program under test) reaches the same server.
void pin_sound_server();
