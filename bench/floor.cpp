// The least an updater can do: wait its second, then start tarvex.exe. The
// benchmark compares the real updater against it.
#include <windows.h>

extern "C" void floor_entry() {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    Sleep(1000);
    CreateProcessA("tarvex.exe", NULL, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process);
    ExitProcess(0);
}
