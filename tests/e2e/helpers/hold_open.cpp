// Holds a file open the way a virus scanner might: readers and writers may
// share it, but nobody may delete or move it.
// Usage: hold_open FILE READY_FILE RELEASE_FILE
// Creates READY_FILE once the file is open and holds it until RELEASE_FILE exists.
#include <windows.h>

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    HANDLE held = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (held == INVALID_HANDLE_VALUE) return 3;
    HANDLE ready = CreateFileA(argv[2], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    CloseHandle(ready);
    for (int i = 0; i < 1200 && GetFileAttributesA(argv[3]) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(50);
    CloseHandle(held);
    return 0;
}
