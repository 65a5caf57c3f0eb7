// Starts the updater the way the main program would, with a chosen temporary
// directory (TMP and TEMP), current directory and arguments, waits for it and
// writes its start time and exit status to REPORT_FILE.
// Usage: launcher REPORT_FILE TEMP_DIR CURRENT_DIR UPDATER [ARG...]
#include <windows.h>

#include <cstdio>
#include <string>

static unsigned long long now_ms() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return ((static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) / 10000;
}

int main(int argc, char** argv) {
    if (argc < 5) return 2;
    SetEnvironmentVariableA("TMP", argv[2]);
    SetEnvironmentVariableA("TEMP", argv[2]);
    SetEnvironmentVariableA("TARVEX_E2E_MARK", "inherited");

    std::string command_line = std::string("\"") + argv[4] + "\"";
    for (int i = 5; i < argc; ++i) command_line += std::string(" ") + argv[i];

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    const unsigned long long started = now_ms();
    if (!CreateProcessA(argv[4], &command_line[0], NULL, NULL, FALSE, 0, NULL, argv[3], &startup, &process)) {
        return 3;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exit_code = 0;
    GetExitCodeProcess(process.hProcess, &exit_code);

    FILE* report = std::fopen(argv[1], "w");
    if (!report) return 4;
    std::fprintf(report, "start_ms %llu\nexit %lu\n", started, static_cast<unsigned long>(exit_code));
    std::fclose(report);
    return 0;
}
