#pragma once

#include <QString>

#include <optional>

// The call links a desktop hands to the program (sip:, sips: and tel: URIs) and which commands
// place a call.
namespace zim {
// The number a sip:, sips: or tel: link dials: the user part of a SIP URI, the number of a
// telephone URI without its visual separators (a leading + stays). No value when the command is
// no such link; an empty string when the link names no number.
std::optional<QString> link_number(const QString& command);
// True when the command, in any accepted form, places a call.
bool is_dial_command(const QString& command);
// True when a number from a link, a command or the history may be dialled: nothing in it names a
// host, a port, parameters or headers ("@", ":", ";", "?"), and no control character, so the call
// goes to the account's server like a typed number.
bool is_safe_dial_string(const QString& number);
} // namespace zim
