#pragma once

#include <QFont>
#include <QLabel>

// A one-line label whose text, too wide for it, is drawn in smaller type rather than cut off, so
// a long status ("アカウントを設定してください") or a 19-digit number stays whole. Below the
// smallest size the text is shortened with "…" where the elide mode says (not at all for
// ElideNone). text() always holds the whole text.
class FittedLabel : public QLabel
{
public:
    using QLabel::QLabel;
    void set_fitting(int smallest_points, Qt::TextElideMode elide);
    // The label's font, made smaller (down to the smallest size) until the text fits the width.
    QFont fitted_font() const;
    // What the label draws: the text, or where even the smallest type is too wide, its elided form.
    QString shown_text() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int smallest = 6;
    Qt::TextElideMode elide_mode = Qt::ElideNone;
};
