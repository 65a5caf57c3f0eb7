// The copies a safe swap cannot avoid, made with plain CopyFileA and timed.
// Usage: copy_floor REPORT_FILE FROM TO [FROM TO]...
// Writes the milliseconds all the copies took together to REPORT_FILE.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 4 || argc % 2 != 0) return 2;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (int i = 2; i + 1 < argc; i += 2) {
        if (!CopyFileA(argv[i], argv[i + 1], FALSE)) return 3;
    }
    QueryPerformanceCounter(&end);
    FILE* report = std::fopen(argv[1], "w");
    if (!report) return 4;
    std::fprintf(report, "%.3f\n", (end.QuadPart - start.QuadPart) * 1000.0 / frequency.QuadPart);
    std::fclose(report);
    return 0;
}
