#pragma once

// The engine's own view of the call situation; each value has one status text.
// Values above PHASE_TRANSFER_WAIT mean a consultation call is in play.
enum CallPhase {
    PHASE_IDLE = 1,                    // "ダイヤルできます"
    PHASE_DIALING = 2,                 // "発信中"
    PHASE_INCOMING = 3,                // "着信中"
    PHASE_TALKING = 4,                 // "通話中" or "オンライン"
    PHASE_HOLDING = 5,                 // "保留中"
    PHASE_REMOTE_HOLDING = 6,          // "相手保留中"
    PHASE_TRANSFER_WAIT = 7,           // "転送番号を入力してください"
    PHASE_TRANSFER_DIALING = 8,        // "転送発信中"
    PHASE_TRANSFER_TALKING = 9,        // "転送先通話中"
    PHASE_TRANSFER_HOLDING = 10,       // "転送先保留中"
    PHASE_TRANSFER_REMOTE_HOLDING = 11 // "転送先相手保留中"
};

// How a call ends up in the history; the main window reads it when a call is over.
enum CallRecordStatus {
    RECORD_NONE = 0,
    RECORD_INCOMING_ANSWERED = 1,
    RECORD_OUTGOING_ANSWERED = 2,
    RECORD_INCOMING_MISSED = 3,
    RECORD_OUTGOING_MISSED = 4
};
