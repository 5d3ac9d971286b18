#pragma once

class QWidget;

namespace zim {
// A window laid out in fixed places that is taller or wider than the free area of its screen (a
// 1024×768 screen at scale 2 leaves 512×384): everything above its buttons scrolls in a shorter
// window, and the buttons along its bottom edge move up with it, so they stay on the screen. A
// window with a layout is only made smaller. Nothing changes where the window fits; a window is
// fitted once. `max_height` (the frame included), when given, is the room the window gets instead
// of the screen's height.
void fit_to_screen(QWidget* window, int max_height = -1);
} // namespace zim
