#include "ui/main/globalhotkeys.h"

#include <QMetaObject>

#include <xcb/xcb.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

namespace {

const char* const KEYS[] = {"hotkeyAnswer", "hotkeyHangup", "hotkeyHold", "hotkeyMute"};

// X keysyms for the keys a hot-key may use: letters, digits, F1–F35, and a few named ones.
quint32 keysym_of(int key)
{
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return 0x61 + (key - Qt::Key_A); // the lower-case keysym names the key
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return 0x30 + (key - Qt::Key_0);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35)
        return 0xffbe + (key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Space:
        return 0x20;
    case Qt::Key_Pause:
        return 0xff13;
    case Qt::Key_Insert:
        return 0xff63;
    case Qt::Key_Home:
        return 0xff50;
    case Qt::Key_End:
        return 0xff57;
    case Qt::Key_PageUp:
        return 0xff55;
    case Qt::Key_PageDown:
        return 0xff56;
    default:
        return 0;
    }
}

quint16 modifiers_of(Qt::KeyboardModifiers modifiers)
{
    quint16 mask = 0;
    if (modifiers & Qt::ShiftModifier)
        mask |= XCB_MOD_MASK_SHIFT;
    if (modifiers & Qt::ControlModifier)
        mask |= XCB_MOD_MASK_CONTROL;
    if (modifiers & Qt::AltModifier)
        mask |= XCB_MOD_MASK_1;
    if (modifiers & Qt::MetaModifier)
        mask |= XCB_MOD_MASK_4;
    return mask;
}

// The keycode the keyboard map gives a keysym, 0 when no key carries it.
quint8 keycode_of(xcb_connection_t* connection, quint32 keysym)
{
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    auto cookie = xcb_get_keyboard_mapping(connection, setup->min_keycode, static_cast<quint8>(count));
    std::unique_ptr<xcb_get_keyboard_mapping_reply_t, decltype(&std::free)> reply(
        xcb_get_keyboard_mapping_reply(connection, cookie, nullptr), &std::free);
    if (!reply)
        return 0;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply.get());
    const int per_code = reply->keysyms_per_keycode;
    for (int code = 0; code < count; ++code) {
        for (int i = 0; i < per_code; ++i) {
            if (syms[code * per_code + i] == keysym)
                return static_cast<quint8>(setup->min_keycode + code);
        }
    }
    return 0;
}

// NumLock and CapsLock must not stop a key from working: each grab is made with them too.
const quint16 LOCK_VARIANTS[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2, XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};

} // namespace

GlobalHotKeys::GlobalHotKeys(QObject* parent) : QObject(parent) {}

GlobalHotKeys::~GlobalHotKeys()
{
    release_all();
}

QString GlobalHotKeys::setting_key(Action action)
{
    return QString::fromLatin1(KEYS[action]);
}

bool GlobalHotKeys::wayland_session()
{
    return qgetenv("XDG_SESSION_TYPE") == "wayland" || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

QString GlobalHotKeys::wayland_limit()
{
    return QStringLiteral("Wayland session: global keys act only while an X window has the focus");
}

QStringList GlobalHotKeys::apply(const QMap<QString, QString>& other)
{
    release_all();
    QStringList problems;
    QList<QPair<int, QKeySequence>> wanted;
    for (int action = Answer; action <= Mute; ++action) {
        const QString text = other.value(setting_key(static_cast<Action>(action))).trimmed();
        if (!text.isEmpty())
            wanted.append({action, QKeySequence::fromString(text, QKeySequence::PortableText)});
    }
    if (wanted.isEmpty())
        return problems;
    auto* xcb = xcb_connect(nullptr, nullptr);
    if (!xcb || xcb_connection_has_error(xcb)) {
        if (xcb)
            xcb_disconnect(xcb);
        problems << QStringLiteral("global keys need an X display; none is grabbed");
        return problems;
    }
    connection = xcb;
    root = xcb_setup_roots_iterator(xcb_get_setup(xcb)).data->root;
    for (const auto& [action, sequence] : wanted) {
        const QString name = sequence.toString(QKeySequence::PortableText);
        const int combined = sequence.isEmpty() ? 0 : sequence[0];
        const quint32 keysym = keysym_of(combined & ~Qt::KeyboardModifierMask);
        const quint8 keycode = keysym ? keycode_of(xcb, keysym) : 0;
        if (!keycode) {
            problems << QStringLiteral("global key %1 cannot be used").arg(name);
            continue;
        }
        const quint16 modifiers = modifiers_of(Qt::KeyboardModifiers(combined & Qt::KeyboardModifierMask));
        bool taken = false;
        for (quint16 lock : LOCK_VARIANTS) {
            auto cookie = xcb_grab_key_checked(xcb, 1, root, modifiers | lock, keycode, XCB_GRAB_MODE_ASYNC,
                                               XCB_GRAB_MODE_ASYNC);
            if (xcb_generic_error_t* error = xcb_request_check(xcb, cookie)) {
                taken = true;
                std::free(error);
            }
        }
        if (taken) {
            for (quint16 lock : LOCK_VARIANTS)
                xcb_ungrab_key(xcb, keycode, root, modifiers | lock);
            problems << QStringLiteral("global key %1 is taken by another program").arg(name);
            continue;
        }
        grabs.append({action, keycode, modifiers});
    }
    xcb_flush(xcb);
    if (grabs.isEmpty()) {
        release_all();
        return problems;
    }
    if (wayland_session())
        problems.prepend(wayland_limit());
    stopping = false;
    wake_fd = eventfd(0, EFD_CLOEXEC);
    listener = std::thread([this] { listen(); });
    return problems;
}

void GlobalHotKeys::release_all()
{
    if (listener.joinable()) {
        stopping = true;
        const quint64 one = 1;
        if (write(wake_fd, &one, sizeof(one)) < 0) {
            // the listener still ends at its next poll timeout
        }
        listener.join();
    }
    if (wake_fd >= 0)
        close(wake_fd);
    wake_fd = -1;
    if (auto* xcb = static_cast<xcb_connection_t*>(connection)) {
        for (const Grab& grab : grabs) {
            for (quint16 lock : LOCK_VARIANTS)
                xcb_ungrab_key(xcb, grab.keycode, root, grab.modifiers | lock);
        }
        xcb_flush(xcb);
        xcb_disconnect(xcb);
    }
    connection = nullptr;
    grabs.clear();
}

// The listener thread: waits for the display's events and hands each grabbed key press to the
// window thread.
void GlobalHotKeys::listen()
{
    auto* xcb = static_cast<xcb_connection_t*>(connection);
    pollfd fds[2] = {{xcb_get_file_descriptor(xcb), POLLIN, 0}, {wake_fd, POLLIN, 0}};
    while (!stopping.load()) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(xcb)) {
            if ((event->response_type & 0x7f) == XCB_KEY_PRESS) {
                const auto* press = reinterpret_cast<xcb_key_press_event_t*>(event);
                const quint16 state = press->state & ~(XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2);
                for (const Grab& grab : grabs) {
                    if (grab.keycode == press->detail && grab.modifiers == state)
                        QMetaObject::invokeMethod(
                            this, [this, action = grab.action] { emit signal_pressed(action); },
                            Qt::QueuedConnection);
                }
            }
            std::free(event);
        }
        if (xcb_connection_has_error(xcb))
            return;
        poll(fds, 2, 1000);
    }
}
