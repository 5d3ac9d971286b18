#pragma once

class QWidget;

namespace zim {
// Escape anywhere in the window closes it, as its close button does (the window's close handler
// decides what closing means: these windows hide).
void close_on_escape(QWidget* window);
} // namespace zim
