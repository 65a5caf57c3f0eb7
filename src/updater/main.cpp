#include "update_installer.h"
#include "win32.h"

// The process entry. The C runtime's start-up code is left out of the build:
// the updater reads no arguments or environment and needs nothing from the
// runtime, and without that code it is a third of the size and imports from
// no DLL but Windows' own.
extern "C" void updater_entry() { ExitProcess(static_cast<UINT>(install_update())); }
