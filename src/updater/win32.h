// The few Win32 types, constants and functions the updater uses.
// On Windows they come from the platform itself; elsewhere (the host unit
// tests) they are declared here so the same installer source compiles and
// links against a fake of these calls.
#pragma once

#ifdef _WIN32

#include <windows.h>

#else

#include <cstddef>
#include <cstdint>

#define WINAPI

typedef std::uint8_t BYTE;
typedef std::uint16_t WORD;
typedef std::uint32_t DWORD;
typedef int BOOL;
typedef unsigned int UINT;
typedef int HFILE;
typedef void* HANDLE;
typedef HANDLE HWND;
typedef HANDLE HMODULE;
typedef long (*FARPROC)();
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* LPVOID;
struct SECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

#define FALSE 0
#define TRUE 1
#define INVALID_HANDLE_VALUE ((HANDLE)(std::intptr_t)-1)

constexpr unsigned MAX_PATH = 260;
constexpr unsigned OFS_MAXPATHNAME = 128;
constexpr UINT OF_EXIST = 0x4000;
constexpr HFILE HFILE_ERROR = -1;
constexpr UINT MB_ICONERROR = 0x10;
constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD LOAD_LIBRARY_SEARCH_SYSTEM32 = 0x800;

struct OFSTRUCT {
    BYTE cBytes;
    BYTE fFixedDisk;
    WORD nErrCode;
    WORD Reserved1;
    WORD Reserved2;
    char szPathName[OFS_MAXPATHNAME];
};

struct STARTUPINFOA {
    DWORD cb;
    LPSTR lpReserved;
    LPSTR lpDesktop;
    LPSTR lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    BYTE* lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
};

struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};

HMODULE WINAPI GetModuleHandleA(LPCSTR module_name);
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR function_name);
void WINAPI Sleep(DWORD milliseconds);
DWORD WINAPI GetTempPathA(DWORD capacity, LPSTR buffer);
DWORD WINAPI GetLastError();
HFILE WINAPI OpenFile(LPCSTR path, OFSTRUCT* record, UINT style);
HANDLE WINAPI CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE template_file);
BOOL WINAPI CloseHandle(HANDLE handle);
BOOL WINAPI CopyFileA(LPCSTR from, LPCSTR to, BOOL fail_if_exists);
BOOL WINAPI SetFileAttributesA(LPCSTR path, DWORD attributes);
BOOL WINAPI DeleteFileA(LPCSTR path);
BOOL WINAPI MoveFileA(LPCSTR from, LPCSTR to);
int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR title, UINT style);
BOOL WINAPI CreateProcessA(LPCSTR application, LPSTR command_line, LPSECURITY_ATTRIBUTES process_security,
                           LPSECURITY_ATTRIBUTES thread_security, BOOL inherit_handles, DWORD creation_flags,
                           LPVOID environment, LPCSTR current_directory, STARTUPINFOA* startup_info,
                           PROCESS_INFORMATION* process_information);

#endif
