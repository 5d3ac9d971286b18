#pragma once

// The engine's own view of the call situation; each value has one status text.
// Values after TransferWait mean a consultation call is in play.
enum class CallPhase {
    Idle = 1,                  // "ダイヤルできます"
    Dialing = 2,               // "発信中"
    Incoming = 3,              // "着信中"
    Talking = 4,               // "通話中" or "オンライン"
    Holding = 5,               // "保留中"
    RemoteHolding = 6,         // "相手保留中"
    TransferWait = 7,          // "転送番号を入力してください"
    TransferDialing = 8,       // "転送発信中"
    TransferTalking = 9,       // "転送先通話中"
    TransferHolding = 10,      // "転送先保留中"
    TransferRemoteHolding = 11 // "転送先相手保留中"
};

// True while a consultation call is in play beside the first.
inline bool consulting(CallPhase phase)
{
    return phase > CallPhase::TransferWait;
}

// How a call ends up in the history; the main window reads it when a call is over.
enum CallRecordStatus {
    RECORD_NONE = 0,
    RECORD_INCOMING_ANSWERED = 1,
    RECORD_OUTGOING_ANSWERED = 2,
    RECORD_INCOMING_MISSED = 3,
    RECORD_OUTGOING_MISSED = 4
};
