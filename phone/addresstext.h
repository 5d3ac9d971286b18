#pragma once

// The SIP library writes an address's text into a fixed 1023-byte buffer and ignores the overflow;
// the cut text then parses into an empty address that the library dereferences, so a caller's
// display name of about 1000 bytes or more ended the whole program. The library calls its two
// address-to-text functions through its symbol table; this program supplies its own, which grow
// with the address (addresstext.cpp).
class AddressText
{
public:
    // True when the program's own functions are the ones the library uses: an address with an
    // 1100-character display name keeps its URI through the library's own conversion.
    static bool in_effect();
};
