#pragma once

class QObject;
class QWidget;

namespace zim {
// Puts a secondary window where it helps: beside the main window (right, else left), vertically
// centred on it, so the keypad stays in sight. Where neither side has room (a 1024×768 screen
// with the phone in the middle) the phone moves towards the roomier edge just far enough. On a
// screen too narrow for both the window goes where it covers least of the phone and never its call
// keys (see set_call_keys): above or below them at the screen's edge, made shorter if it must.
// Centred on the screen while the main window is hidden. Always inside the available screen area
// (never under a task bar).
void place_beside(QWidget* window, QWidget* main_window);
// Shows a secondary window in front: placed beside the main window when it was hidden.
void bring_up(QWidget* window, QWidget* main_window);
// The part of the main window no other window may cover (the row of 通話, 保留, 転送 and 切断).
void set_call_keys(QWidget* main_window, QWidget* keys);
// Places every message box and file dialog of the program, as it opens, as place_beside does:
// installed once on the application for the main window. Returns the filter object.
QObject* place_boxes_beside(QWidget* main_window);
} // namespace zim
