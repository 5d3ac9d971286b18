#pragma once

// The running softphone: application object, main window, command server and event loop.
// Lives in the program's module so that later starts, which only pass a command on, never
// load the user-interface libraries.
extern "C" int velora_run_first_instance(int argc, char* argv[]);
