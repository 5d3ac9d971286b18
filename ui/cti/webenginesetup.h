#pragma once

#include <QString>

// The web engine refuses to start as root unless its sandbox is off, and it reads that setting
// from the environment when it first starts. Nothing here loads OpenGL: a shared context made at
// start-up, or windows that may show OpenGL content, would load the OpenGL driver (and its
// compiler) whether a page is ever shown or not. The engine draws its pages in software instead,
// which a CRM page does not notice.
namespace zim {
// Call first thing in main(). Returns true when it turned the sandbox off because the process
// runs as root; the caller logs web_engine_sandbox_note() once the logger exists.
bool prepare_web_engine();
QString web_engine_sandbox_note();
} // namespace zim
