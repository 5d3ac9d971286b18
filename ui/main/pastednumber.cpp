#include "ui/main/pastednumber.h"

#include <QRegularExpression>

namespace {
const ushort FULL_WIDTH_ZERO = 0xFF10;
const ushort FULL_WIDTH_NINE = 0xFF19;
const ushort FULL_WIDTH_PLUS = 0xFF0B;
const ushort FULL_WIDTH_STAR = 0xFF0A;
const ushort FULL_WIDTH_POUND = 0xFF03;

QChar half_width_char(QChar c)
{
    const ushort code = c.unicode();
    if (code >= FULL_WIDTH_ZERO && code <= FULL_WIDTH_NINE)
        return QChar(ushort('0' + (code - FULL_WIDTH_ZERO)));
    switch (code) {
    case FULL_WIDTH_PLUS:
        return QLatin1Char('+');
    case FULL_WIDTH_STAR:
        return QLatin1Char('*');
    case FULL_WIDTH_POUND:
        return QLatin1Char('#');
    default:
        return c;
    }
}
} // namespace

namespace zim {

QString half_width(const QString& text)
{
    QString result;
    for (const QChar c : text)
        result += half_width_char(c);
    return result;
}

QString number_from_paste(const QString& text, bool display_empty)
{
    QString number;
    for (const QChar c : half_width(text)) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            number += c;
        else if (c == QLatin1Char('+') && number.isEmpty() && display_empty)
            number = QStringLiteral("+");
    }
    return number == QLatin1String("+") ? QString() : number;
}

bool is_typed_number(const QString& text)
{
    static const QRegularExpression typed(QStringLiteral("^\\+?[0-9*#]+$"));
    return typed.match(text).hasMatch();
}

} // namespace zim
