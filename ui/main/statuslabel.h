#pragma once

#include <QFont>
#include <QLabel>

// The status line: a text too wide for it is drawn in smaller type rather than cut off, so a long
// reason ("アカウントを設定してください") stays whole beside the lamp and the user id.
class StatusLabel : public QLabel
{
public:
    using QLabel::QLabel;
    // The label's font, made smaller (down to 6 points) until the text fits the label's width.
    QFont fitted_font() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};
