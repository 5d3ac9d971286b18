#include "phone/tlsaddress.h"

#include "phone/libraryhooks.h"

#include <QHostAddress>
#include <QSslCertificate>

#include <bctoolbox/crypto.h>
#include <belle-sip/auth-helper.h>

#include <dlfcn.h>

#include <map>
#include <mutex>
#include <string>

namespace {

// The name each live TLS context was told to connect to, as the library sets it before the
// handshake; a context's entry goes when the context is freed, as the toolbox hands its memory to
// the next context, so there is one entry per open connection and no bound is needed.
std::mutex names_mutex;
std::map<const void*, std::string>& names()
{
    static auto* kept = new std::map<const void*, std::string>;
    return *kept;
}

// The server name of the handshake this thread runs now, empty outside one.
thread_local std::string handshake_peer;

template <typename Function> Function library_function(const char* name)
{
    return library_hooks::library_own_function<Function>(name, "libbctoolbox.so.1");
}

// Called by the library for each certificate of the server's chain, after its own checks. Only a
// name mismatch of the server's own certificate is ever taken back, and only when the server was
// written as an address that the certificate names as its IP address entry; every other failure
// (an unknown CA, an expired certificate) stands.
int check_address_entry(unsigned char* der, int length, int depth, uint32_t* flags)
{
    if (depth != 0 || !(*flags & BCTBX_CERTIFICATE_VERIFY_BADCERT_CN_MISMATCH) || handshake_peer.empty())
        return 0;
    QString peer = QString::fromStdString(handshake_peer);
    if (peer.startsWith(QLatin1Char('[')) && peer.endsWith(QLatin1Char(']')))
        peer = peer.mid(1, peer.size() - 2);
    const QHostAddress server(peer);
    if (server.isNull())
        return 0; // a name: the library's own check stands
    const QSslCertificate certificate(QByteArray(reinterpret_cast<const char*>(der), length), QSsl::Der);
    const QList<QString> addresses = certificate.subjectAlternativeNames().values(QSsl::IpAddressEntry);
    for (const QString& address : addresses) {
        if (QHostAddress(address) == server) {
            bctbx_x509_certificate_unset_flag(flags, BCTBX_CERTIFICATE_VERIFY_BADCERT_CN_MISMATCH);
            break;
        }
    }
    return 0;
}

} // namespace

// The library names the server to each TLS context through this toolbox function, by its symbol
// table; the program's definition notes the name and hands it on.
extern "C" __attribute__((visibility("default"))) int32_t bctbx_ssl_set_hostname(bctbx_ssl_context_t* context,
                                                                                 const char* hostname)
{
    using SetHostname = int32_t (*)(bctbx_ssl_context_t*, const char*);
    static const auto real = library_function<SetHostname>("bctbx_ssl_set_hostname");
    if (library_hooks::stood_aside(library_hooks::TlsServerName))
        return real ? real(context, hostname) : BCTBX_ERROR_UNAVAILABLE_FUNCTION;
    {
        const std::lock_guard<std::mutex> lock(names_mutex);
        auto& kept = names();
        if (hostname)
            kept[context] = hostname;
        else
            kept.erase(context);
    }
    return real ? real(context, hostname) : BCTBX_ERROR_UNAVAILABLE_FUNCTION;
}

// The library frees each connection's context through this toolbox function; its name goes with
// it, before the memory can hold the next connection's context.
extern "C" __attribute__((visibility("default"))) void bctbx_ssl_context_free(bctbx_ssl_context_t* context)
{
    using ContextFree = void (*)(bctbx_ssl_context_t*);
    static const auto real = library_function<ContextFree>("bctbx_ssl_context_free");
    if (!library_hooks::stood_aside(library_hooks::TlsServerName)) {
        const std::lock_guard<std::mutex> lock(names_mutex);
        names().erase(context);
    }
    if (real)
        real(context);
}

// The certificate check runs inside the handshake, on the thread that calls it: that is where the
// check of the address entry learns which server it is about.
extern "C" __attribute__((visibility("default"))) int32_t bctbx_ssl_handshake(bctbx_ssl_context_t* context)
{
    using Handshake = int32_t (*)(bctbx_ssl_context_t*);
    static const auto real = library_function<Handshake>("bctbx_ssl_handshake");
    if (library_hooks::stood_aside(library_hooks::TlsServerName))
        return real ? real(context) : BCTBX_ERROR_UNAVAILABLE_FUNCTION;
    {
        const std::lock_guard<std::mutex> lock(names_mutex);
        const auto found = names().find(context);
        handshake_peer = found == names().end() ? std::string() : found->second;
    }
    const int32_t result = real ? real(context) : BCTBX_ERROR_UNAVAILABLE_FUNCTION;
    handshake_peer.clear();
    return result;
}

namespace tls_address {

QString server_name(const void* context)
{
    const std::lock_guard<std::mutex> lock(names_mutex);
    const auto found = names().find(context);
    return found == names().end() ? QString() : QString::fromStdString(found->second);
}

void install()
{
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    belle_sip_tls_set_verify_error_cb(reinterpret_cast<void*>(&check_address_entry));
#pragma GCC diagnostic pop
}

} // namespace tls_address
