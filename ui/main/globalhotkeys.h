#pragma once

#include <QKeySequence>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <thread>

// System-wide keys for the operator who works in another window (the CRM browser): answer, hang
// up, hold and mute, grabbed on the X display's root window through a connection of their own, so
// they work whatever window has the focus. A key another program holds already is reported, never
// silently lost. Without an X display (a terminal) nothing is grabbed and that is said too. In a
// Wayland session the X display is XWayland's, which hands an X program keys only while an X
// window has the focus: the grab is made for those windows and the limit is said each time.
class GlobalHotKeys : public QObject
{
    Q_OBJECT
public:
    // The actions, as the other settings name their keys.
    enum Action { Answer, Hangup, Hold, Mute };

    explicit GlobalHotKeys(QObject* parent = nullptr);
    ~GlobalHotKeys() override;

    // Grabs the keys of the other settings ("hotkeyAnswer", "hotkeyHangup", "hotkeyHold",
    // "hotkeyMute": Qt's portable key text, empty for none) in place of the ones before. Returns
    // what could not be grabbed, one text per key, for the log and the status line.
    QStringList apply(const QMap<QString, QString>& other);

    static QString setting_key(Action action);
    // XDG_SESSION_TYPE is "wayland" or WAYLAND_DISPLAY is set.
    static bool wayland_session();
    // What apply() reports first in a Wayland session when a key is grabbed.
    static QString wayland_limit();

signals:
    void signal_pressed(int action);

private:
    void release_all();
    void listen();

    void* connection = nullptr; // xcb_connection_t
    quint32 root = 0;
    struct Grab
    {
        int action;
        quint8 keycode;
        quint16 modifiers;
    };
    QList<Grab> grabs;
    std::thread listener;
    std::atomic<bool> stopping{false};
    int wake_fd = -1;
};
