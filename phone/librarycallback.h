#pragma once

// Marks a plain function the SIP library calls. It is left out of the thread checker's
// instrumentation and ends with a real call (no jump), so that the library's frame never shows
// above the program's own code in a report: tests/sanitizer/tsan.supp may then name the library
// without hiding the program's races. Such a function only passes its arguments on.
#define LIBRARY_CALLBACK __attribute__((no_sanitize("thread"), optimize("no-optimize-sibling-calls")))
