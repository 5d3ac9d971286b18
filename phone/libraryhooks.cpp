#include "phone/libraryhooks.h"

#include "phone/addresstext.h"
#include "phone/soundserverwait.h"

#include <QFile>

#include <bctoolbox/port.h>

#include <atomic>
#include <cstdint>
#include <dlfcn.h>
#include <link.h>
#include <mutex>

namespace library_hooks {
namespace {

// The release the hooks were written for: the SIP library reports "5.1.<patch>".
const char* const WRITTEN_FOR = "5.1.";

const char* const NAMES[HOOK_COUNT] = {"sal_address_as_string",
                                       "bctbx_recvfrom",
                                       "pulse_card_desc/alsa_card_desc",
                                       "card names",
                                       "belle_sip_message_parse_raw",
                                       "bctbx_ssl_set_hostname/bctbx_ssl_handshake",
                                       "ms_ticker_synchronizer_update/ms_flow_controlled_bufferizer"};

std::atomic<bool> active[HOOK_COUNT] = {};
std::atomic<bool> aside_flags[HOOK_COUNT] = {};
std::mutex log_mutex;
QStringList pending;
bool checked = false;

void aside(Hook hook, const QString& reason)
{
    active[hook] = false;
    aside_flags[hook] = true;
    std::lock_guard lock(log_mutex);
    pending << QStringLiteral("library hook %1 stands aside, the library's own behaviour holds: %2")
                   .arg(QLatin1String(NAMES[hook]), reason);
}

// The datagram reader is in effect when the toolbox's callers reach this program's definition
// (the executable's exported symbol comes first in the lookup) and the library's own is there to
// hand each datagram on to.
QString check_datagram_reader()
{
    void* first = dlsym(RTLD_DEFAULT, "bctbx_recvfrom");
    if (first != reinterpret_cast<void*>(&bctbx_recvfrom))
        return QStringLiteral("the library's datagram reader is found before the program's");
    if (!dlsym(RTLD_NEXT, "bctbx_recvfrom"))
        return QStringLiteral("the toolbox library has no datagram reader to hand on to");
    return QString();
}

// A function the program defines in place of the library's is in effect when the lookup the
// library's callers go through finds the program's definition, and the library's own is there to
// hand on to.
QString check_replaced(std::initializer_list<const char*> names, const char* library_file)
{
    for (const char* name : names) {
        void* own = library_own(name, library_file);
        if (!own)
            return QStringLiteral("%1 is not in %2").arg(QLatin1String(name), QLatin1String(library_file));
        void* first = dlsym(RTLD_DEFAULT, name);
        if (!first || first == own)
            return QStringLiteral("the library's %1 is found before the program's").arg(QLatin1String(name));
    }
    return QString();
}

bool writable(const void* object)
{
    const auto address = reinterpret_cast<std::uintptr_t>(object);
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return false;
    // "start-end perms ...": the mapping holding the object, and whether it may be written.
    for (QByteArray line = maps.readLine(); !line.isEmpty(); line = maps.readLine()) {
        const int dash = line.indexOf('-');
        const int space = line.indexOf(' ');
        if (dash < 0 || space < dash)
            continue;
        const auto start = line.left(dash).toULongLong(nullptr, 16);
        const auto end = line.mid(dash + 1, space - dash - 1).toULongLong(nullptr, 16);
        if (address >= start && address < end)
            return line.size() > space + 2 && line.at(space + 2) == 'w';
    }
    return false;
}

} // namespace

const char* name(Hook hook)
{
    return NAMES[hook];
}

QString check_exported_object(const void* object, std::size_t size, bool written)
{
    Dl_info info{};
    ElfW(Sym)* symbol = nullptr;
    if (!object || !dladdr1(object, &info, reinterpret_cast<void**>(&symbol), RTLD_DL_SYMENT) || !symbol ||
        !info.dli_sname || info.dli_saddr != object)
        return QStringLiteral("not an exported object of the library");
    if (symbol->st_size != size)
        return QStringLiteral("%1 is %2 bytes, written for %3")
            .arg(QLatin1String(info.dli_sname))
            .arg(symbol->st_size)
            .arg(size);
    if (written && !writable(object))
        return QStringLiteral("%1 is read-only").arg(QLatin1String(info.dli_sname));
    return QString();
}

void check_at_start(const char* version)
{
    {
        std::lock_guard lock(log_mutex);
        if (checked)
            return;
        checked = true;
    }
    const QString running = QString::fromLatin1(version ? version : "");
    if (!running.startsWith(QLatin1String(WRITTEN_FOR))) {
        for (int hook = 0; hook < HOOK_COUNT; ++hook)
            aside(Hook(hook), QStringLiteral("the SIP library is %1, the hook was written for %2x")
                                  .arg(running, QLatin1String(WRITTEN_FOR)));
        return;
    }
    for (int hook = 0; hook < HOOK_COUNT; ++hook)
        active[hook] = true;
    // Each proves itself in effect now; the card names prove theirs with the first core.
    if (!AddressText::in_effect())
        aside(AddressText, QStringLiteral("an address of 1100 bytes still loses its URI in the library"));
    QString reason = check_datagram_reader();
    if (!reason.isEmpty())
        aside(DatagramReader, reason);
    reason = sound_server_wait::install();
    if (!reason.isEmpty())
        aside(SoundServerWait, reason);
    reason = check_replaced({"belle_sip_message_parse_raw"}, "libbellesip.so.1");
    if (!reason.isEmpty())
        aside(MessageParser, reason);
    reason = check_replaced({"bctbx_ssl_set_hostname", "bctbx_ssl_handshake", "bctbx_ssl_context_free"},
                            "libbctoolbox.so.1");
    if (!reason.isEmpty())
        aside(TlsServerName, reason);
    reason = check_replaced({"ms_ticker_synchronizer_update", "ms_flow_controlled_bufferizer_init",
                             "ms_flow_controlled_bufferizer_set_flow_control_interval_ms"},
                            "libmediastreamer.so.12");
    if (!reason.isEmpty())
        aside(SoundClock, reason);
}

bool in_effect(Hook hook)
{
    return active[hook];
}

bool stood_aside(Hook hook)
{
    return aside_flags[hook];
}

void* library_own(const char* name, const char* library_file)
{
    void* found = dlsym(RTLD_NEXT, name);
    if (!found) {
        if (void* library = dlopen(library_file, RTLD_LAZY | RTLD_NOLOAD))
            found = dlsym(library, name);
    }
    return found;
}

void stand_aside(Hook hook, const QString& reason)
{
    if (active[hook])
        aside(hook, reason);
}

QStringList take_log_lines()
{
    QStringList effective;
    for (int hook = 0; hook < HOOK_COUNT; ++hook) {
        if (active[hook])
            effective << QLatin1String(NAMES[hook]);
    }
    std::lock_guard lock(log_mutex);
    QStringList lines = pending;
    pending.clear();
    lines << QStringLiteral("library hooks in effect: %1")
                 .arg(effective.isEmpty() ? QStringLiteral("none") : effective.join(QStringLiteral(", ")));
    return lines;
}

} // namespace library_hooks
