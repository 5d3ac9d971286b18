#pragma once

#include <QString>

// Answers the next modal message box with the button whose text is given, once it appears
// (for at most five seconds): the way a test clicks "はい" or "いいえ" in a box that blocks.
void answer_next_box(const QString& button_text);
