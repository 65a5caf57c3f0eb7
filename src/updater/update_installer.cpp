#include "update_installer.h"

#include <cstring>

#include "win32.h"

#ifdef _WIN32
static_assert(sizeof(void*) != 4 || sizeof(STARTUPINFOA) == 68, "STARTUPINFOA must be 68 bytes on 32-bit Windows");
#endif

namespace {

const char kInstalled[] = "tarvex.exe";
// Kept beside the installed program while it is replaced, so that a failed
// move can put the old program back instead of leaving none at all.
const char kBackup[] = "tarvex.exe.bak";
const char kStagingSuffix[] = "Tarvex\\tarvex.exe";
const char kErrorText[] = "Updating failed\n\nAccess to TARVEX.EXE denied";
const char kErrorTitle[] = "Tarvex Update";

// The longest temporary directory path that leaves room for the suffix and its NUL.
constexpr DWORD kMaxTempPathLength = MAX_PATH - sizeof kStagingSuffix;

// The error box can make Windows load further DLLs (themes, text layout), and
// by default it looks for them first in this program's folder, where anyone
// may have put a file of that name. Windows without the call keeps its default.
void restrict_dll_search_to_system() {
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFn)(DWORD);
    HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    if (!kernel32) return;
    const FARPROC found = GetProcAddress(kernel32, "SetDefaultDllDirectories");
    if (!found) return;
    reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(found))(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

void report_failure() { MessageBoxA(NULL, kErrorText, kErrorTitle, MB_ICONERROR); }

// Fills `path` with the staging path and returns its length, or returns 0
// when the platform gives no temporary directory or one too long to fit.
DWORD build_staging_path(char (&path)[MAX_PATH]) {
    const DWORD length = GetTempPathA(MAX_PATH, path);
    if (length == 0 || length > kMaxTempPathLength) return 0;
    std::memcpy(path + length, kStagingSuffix, sizeof kStagingSuffix);
    return length + sizeof kStagingSuffix - 1;
}

// OpenFile only takes paths that fit its record; a longer one (a deep user
// profile) gets the same read-open-and-close through CreateFileA.
bool staged_file_exists(const char* path, DWORD length) {
    if (length < OFS_MAXPATHNAME) {
        OFSTRUCT record;
        return OpenFile(path, &record, OF_EXIST) != HFILE_ERROR;
    }
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

// A copy of a read-only program is read-only too, so the attribute goes first.
void discard_backup() {
    SetFileAttributesA(kBackup, FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(kBackup);
}

bool make_backup() {
    discard_backup();  // left by an interrupted run
    if (CopyFileA(kInstalled, kBackup, TRUE)) return true;
    discard_backup();  // a copy that broke off halfway
    return false;
}

void swap_in(const char* staging) {
    const bool backed_up = make_backup();

    const bool deleted = DeleteFileA(kInstalled) != 0;
    // No installed program to delete is no failure: the move below installs one.
    if (!deleted && GetLastError() != ERROR_FILE_NOT_FOUND) report_failure();

    const bool moved = MoveFileA(staging, kInstalled) != 0;
    if (!moved) report_failure();

    if (!backed_up) return;
    if (deleted && !moved) {
        // Should this fail too, the backup stays where it is: it is all the user has left.
        MoveFileA(kBackup, kInstalled);
    } else {
        discard_backup();
    }
}

}  // namespace

int install_update() {
    restrict_dll_search_to_system();

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};

    // The main program needs this second to exit and release its executable.
    Sleep(1000);

    char staging[MAX_PATH];
    const DWORD length = build_staging_path(staging);
    if (length != 0 && staged_file_exists(staging, length)) swap_in(staging);

    // The handles are left for the system to close when this process ends.
    CreateProcessA(kInstalled, NULL, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process);
    return 0;
}
