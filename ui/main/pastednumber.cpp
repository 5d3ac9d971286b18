#include "ui/main/pastednumber.h"

namespace {
const ushort FULL_WIDTH_ZERO = 0xFF10;
const ushort FULL_WIDTH_NINE = 0xFF19;
const ushort FULL_WIDTH_PLUS = 0xFF0B;
} // namespace

namespace zim {

QString number_from_paste(const QString& text, bool display_empty)
{
    QString number;
    for (const QChar c : text) {
        const ushort code = c.unicode();
        if (code >= '0' && code <= '9')
            number += c;
        else if (code >= FULL_WIDTH_ZERO && code <= FULL_WIDTH_NINE)
            number += QChar(ushort('0' + (code - FULL_WIDTH_ZERO)));
        else if ((code == '+' || code == FULL_WIDTH_PLUS) && number.isEmpty() && display_empty)
            number = QStringLiteral("+");
    }
    return number == QLatin1String("+") ? QString() : number;
}

} // namespace zim
