#pragma once

class QWidget;

namespace zim {
// Puts a secondary window where it helps: beside the main window (right, else left), vertically
// centred on it, so the keypad stays in sight; centred on the main window only when neither side
// has room; centred on the screen while the main window is hidden. Always inside the available
// screen area (never under a task bar).
void place_beside(QWidget* window, const QWidget* main_window);
} // namespace zim
