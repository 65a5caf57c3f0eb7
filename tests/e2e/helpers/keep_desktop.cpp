// Keeps Wine's desktop up while the tests run. Wine starts its desktop with
// the first program that needs one and stops it with the last program; a box
// asked for while it is still starting can fail to appear. Windows always
// has its desktop, so the tests keep this one up from start to end.
// Usage: keep_desktop READY_FILE RELEASE_FILE
#include <windows.h>

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    if (!GetDesktopWindow()) return 3;
    CloseHandle(CreateFileA(argv[1], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL));
    while (GetFileAttributesA(argv[2]) == INVALID_FILE_ATTRIBUTES) Sleep(100);
    return 0;
}
