// Stands in for tarvex.exe: appends one line per start to tarvex-starts.log
// beside itself (version, start time, current directory, an inherited
// environment marker, command line), so a test can tell which program the
// updater started, when, and how.
// "fake_tarvex stay RELEASE_FILE" keeps it running until that file exists.
#include <windows.h>

#include <cstdio>
#include <cstring>

#ifndef TARVEX_VERSION
#error TARVEX_VERSION must name the version
#endif

static unsigned long long now_ms() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return ((static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) / 10000;
}

int main(int argc, char** argv) {
    const unsigned long long started = now_ms();
    char log_path[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, log_path, MAX_PATH);
    while (n > 0 && log_path[n - 1] != '\\') --n;
    lstrcpynA(log_path + n, "tarvex-starts.log", MAX_PATH - n);

    char cwd[MAX_PATH] = "";
    GetCurrentDirectoryA(MAX_PATH, cwd);
    char mark[64] = "";
    GetEnvironmentVariableA("TARVEX_E2E_MARK", mark, sizeof mark);

    if (FILE* log = std::fopen(log_path, "a")) {
        std::fprintf(log, "%s\t%llu\t%s\t%s\t%s\n", TARVEX_VERSION, started, cwd, mark, GetCommandLineA());
        std::fclose(log);
    }
    if (argc == 3 && std::strcmp(argv[1], "stay") == 0) {
        for (int i = 0; i < 1200 && GetFileAttributesA(argv[2]) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(50);
    }
    return 0;
}
