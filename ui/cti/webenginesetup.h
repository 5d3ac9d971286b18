#pragma once

#include <QString>

// The web engine has to be told a few things before the application object exists: it refuses to
// start as root unless its sandbox is off, and it shares OpenGL contexts with the widgets.
namespace zim {
// Call first thing in main(). Returns true when it turned the sandbox off because the process
// runs as root; the caller logs web_engine_sandbox_note() once the logger exists.
bool prepare_web_engine();
QString web_engine_sandbox_note();
} // namespace zim
