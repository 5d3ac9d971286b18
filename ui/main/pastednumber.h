#pragma once

#include <QString>

namespace zim {
// What a pasted text adds to the number display: its digits, full-width ones (０-９) made
// half-width, and one "+" when the text starts with one and the display is still empty
// (an E.164 number such as +81 3-1234-5678). Everything else is dropped.
QString number_from_paste(const QString& text, bool display_empty);
// The text with full-width digits, "＊", "＃" and "＋" (as an input method types them) made
// half-width; every other character as it is.
QString half_width(const QString& text);
// Whether the display holds what the pad and the keyboard can type: digits, "*", "#" and a
// leading "+". Only that is dialled from them; addresses come from links and commands.
bool is_typed_number(const QString& text);
} // namespace zim
