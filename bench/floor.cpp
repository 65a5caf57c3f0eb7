// The least an updater can do: wait its second, then start tarvex.exe. The
// benchmark compares the real updater against it. Built with WITH_USER32 it
// also imports MessageBoxA, as the updater must, to show what loading
// user32.dll at start costs by itself.
#include <windows.h>

#ifdef WITH_USER32
static volatile bool never = false;
#endif

extern "C" void floor_entry() {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
#ifdef WITH_USER32
    if (never) MessageBoxA(NULL, "", "", 0);
#endif
    Sleep(1000);
    CreateProcessA("tarvex.exe", NULL, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process);
    ExitProcess(0);
}
