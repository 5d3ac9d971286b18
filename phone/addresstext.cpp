#include "phone/addresstext.h"

#include "phone/libraryhooks.h"

#include <belle-sip/belle-sip.h>
#include <linphone/core.h>

#include <dlfcn.h>
#include <string>

namespace {
using ToText = char* (*)(const belle_sip_header_address_t*);

// The library's own function, for when this hook stands aside.
ToText library_own(const char* symbol)
{
    return reinterpret_cast<ToText>(dlsym(RTLD_NEXT, symbol));
}
} // namespace

// The library's own names and signatures: it calls these through its symbol table and frees what
// they return with its allocator's free, which is the C library's (belle-sip allocates the same way).
extern "C" {

__attribute__((visibility("default"))) char* sal_address_as_string(const belle_sip_header_address_t* address)
{
    if (!library_hooks::in_effect(library_hooks::AddressText)) {
        static const ToText own = library_own("sal_address_as_string");
        return own ? own(address) : nullptr;
    }
    return address ? belle_sip_object_to_string(address) : nullptr;
}

__attribute__((visibility("default"))) char*
sal_address_as_string_uri_only(const belle_sip_header_address_t* address)
{
    if (!library_hooks::in_effect(library_hooks::AddressText)) {
        static const ToText own = library_own("sal_address_as_string_uri_only");
        return own ? own(address) : nullptr;
    }
    if (!address)
        return nullptr;
    if (belle_sip_uri_t* uri = belle_sip_header_address_get_uri(address))
        return belle_sip_object_to_string(uri);
    if (belle_generic_uri_t* uri = belle_sip_header_address_get_absolute_uri(address))
        return belle_sip_object_to_string(uri);
    return nullptr;
}
}

bool AddressText::in_effect()
{
    const std::string uri = "sip:check@example.invalid";
    const std::string text = "\"" + std::string(1100, 'A') + "\" <" + uri + ">";
    LinphoneAddress* address = linphone_factory_create_address(linphone_factory_get(), text.c_str());
    if (!address)
        return false;
    char* whole = linphone_address_as_string(address);
    char* bare = linphone_address_as_string_uri_only(address);
    const bool kept =
        whole && bare && std::string(whole).find(uri) != std::string::npos && std::string(bare) == uri;
    bctbx_free(whole);
    bctbx_free(bare);
    linphone_address_unref(address);
    return kept;
}
