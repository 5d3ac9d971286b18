#pragma once

#include <QMap>
#include <QString>

// Expansion of the CTI parameter templates: one name=value pair per line, placeholders standing
// for call and account data. Substituted values are percent-encoded, so a caller's name or number
// arrives as it is and cannot add parameters of its own; the template text stays as written.
class CtiParams
{
public:
    // Trims the template, fills in the placeholders and joins the lines with "&".
    static QString expand(const QString& text, const QMap<QString, QString>& call_info,
                          const QMap<QString, QString>& account);
    // The address followed by "?" (or "&" when it already holds a query) and the parameters.
    static QString join(const QString& url, const QString& params);
};
