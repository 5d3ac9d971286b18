#pragma once

#include <QString>

// The modal warnings the settings windows share. Both boxes have no parent, like every other box
// of the program, and a single Yes button that is also the default.
class SettingsNotice
{
public:
    // The account may not change while a call is in progress.
    static void refuse_during_call();
    // A settings save failed; the window that says so stays open with the user's edits.
    static void save_failed(const QString& title);

    static const QString MSG_SAVE_FAILED;
};
