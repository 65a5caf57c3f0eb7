#include "fake_win32.h"

#include <cstdint>
#include <cstring>

namespace {

FakeWin32 state;

// Windows error codes the fake reports.
constexpr DWORD kAccessDenied = 5;
constexpr DWORD kFileExists = 80;
constexpr DWORD kDiskFull = 112;
constexpr DWORD kSharingViolation = 32;
constexpr DWORD kAlreadyExists = 183;
constexpr DWORD kPathNotFound = 3;

std::string str(LPCSTR s) { return s ? std::string(s) : "NULL"; }
std::string ptr(const void* p) { return p ? "PTR" : "NULL"; }
std::string num(unsigned long long n) { return std::to_string(n); }

void record(const char* name, std::vector<std::string> args) { state.calls.push_back({name, std::move(args)}); }

BOOL fail(DWORD error) {
    state.last_error = error;
    return FALSE;
}

BOOL succeed() {
    state.last_error = 0;
    return TRUE;
}

bool in_current_directory(const std::string& path) { return path.find('\\') == std::string::npos; }

bool writable(const std::string& path) { return !in_current_directory(path) || state.current_directory_writable; }

FakeFile* find(LPCSTR path) {
    auto it = state.files.find(path);
    return it == state.files.end() ? nullptr : &it->second;
}

}  // namespace

FakeWin32& fake() { return state; }

namespace {
BOOL WINAPI SetDefaultDllDirectories(DWORD flags) {
    record("SetDefaultDllDirectories", {num(flags)});
    return succeed();
}
}  // namespace

HMODULE WINAPI GetModuleHandleA(LPCSTR module_name) {
    record("GetModuleHandleA", {str(module_name)});
    static int kernel32;
    return &kernel32;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR function_name) {
    record("GetProcAddress", {ptr(module), str(function_name)});
    if (!state.has_set_default_dll_directories || std::strcmp(function_name, "SetDefaultDllDirectories") != 0) {
        fail(127);  // ERROR_PROC_NOT_FOUND
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&SetDefaultDllDirectories));
}

void WINAPI Sleep(DWORD milliseconds) { record("Sleep", {num(milliseconds)}); }

DWORD WINAPI GetTempPathA(DWORD capacity, LPSTR buffer) {
    record("GetTempPathA", {num(capacity), ptr(buffer)});
    if (!state.has_temp_path) return fail(kPathNotFound);
    const std::string& path = state.temp_path;
    if (path.size() < capacity) {
        std::memcpy(buffer, path.c_str(), path.size() + 1);
        return static_cast<DWORD>(path.size());
    }
    // Too small: Windows reports the size it needs, and the buffer holds nothing usable.
    std::memset(buffer, 'X', capacity);
    return static_cast<DWORD>(path.size() + 1);
}

DWORD WINAPI GetLastError() { return state.last_error; }

HFILE WINAPI OpenFile(LPCSTR path, OFSTRUCT* record_out, UINT style) {
    record("OpenFile", {str(path), ptr(record_out), num(style)});
    std::memset(record_out, 0, sizeof *record_out);
    record_out->cBytes = sizeof *record_out;
    // The record holds the path, so OpenFile cannot take a longer one.
    if (std::strlen(path) >= OFS_MAXPATHNAME) {
        fail(kPathNotFound);
        return HFILE_ERROR;
    }
    std::memcpy(record_out->szPathName, path, std::strlen(path) + 1);
    if (!find(path)) {
        fail(ERROR_FILE_NOT_FOUND);
        return HFILE_ERROR;
    }
    succeed();
    return 1;
}

HANDLE WINAPI CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE template_file) {
    record("CreateFileA", {str(path), num(access), num(share), ptr(security), num(disposition), num(flags),
                           ptr(template_file)});
    if (disposition != OPEN_EXISTING || !find(path)) {
        fail(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    static std::intptr_t next_handle = 0x100;
    HANDLE handle = reinterpret_cast<HANDLE>(next_handle += 4);
    state.open_handles.insert(handle);
    succeed();
    return handle;
}

BOOL WINAPI CloseHandle(HANDLE handle) {
    record("CloseHandle", {ptr(handle)});
    return state.open_handles.erase(handle) ? succeed() : fail(6);
}

BOOL WINAPI CopyFileA(LPCSTR from, LPCSTR to, BOOL fail_if_exists) {
    record("CopyFileA", {str(from), str(to), num(fail_if_exists)});
    FakeFile* source = find(from);
    if (!source) return fail(ERROR_FILE_NOT_FOUND);
    if (fail_if_exists && find(to)) return fail(kFileExists);
    if (FakeFile* target = find(to); target && (target->read_only || target->held_open)) return fail(kAccessDenied);
    if (!writable(to)) return fail(kAccessDenied);
    FakeFile copy = *source;
    copy.running = copy.held_open = false;
    if (state.copy_breaks_off) {
        copy.content.resize(copy.content.size() / 2);
        state.files[to] = copy;
        return fail(kDiskFull);
    }
    state.files[to] = copy;
    return succeed();
}

BOOL WINAPI SetFileAttributesA(LPCSTR path, DWORD attributes) {
    record("SetFileAttributesA", {str(path), num(attributes)});
    FakeFile* file = find(path);
    if (!file) return fail(ERROR_FILE_NOT_FOUND);
    if (!writable(path)) return fail(kAccessDenied);
    file->read_only = attributes & 1;
    return succeed();
}

BOOL WINAPI DeleteFileA(LPCSTR path) {
    record("DeleteFileA", {str(path)});
    FakeFile* file = find(path);
    if (!file) return fail(ERROR_FILE_NOT_FOUND);
    if (file->read_only || file->running || file->held_open || !writable(path)) return fail(kAccessDenied);
    state.files.erase(path);
    return succeed();
}

BOOL WINAPI MoveFileA(LPCSTR from, LPCSTR to) {
    record("MoveFileA", {str(from), str(to)});
    FakeFile* source = find(from);
    if (!source) return fail(ERROR_FILE_NOT_FOUND);
    if (find(to)) return fail(kAlreadyExists);
    if (source->held_open) return fail(kSharingViolation);
    if (!writable(from) || !writable(to)) return fail(kAccessDenied);
    if (state.move_breaks_off && in_current_directory(from) != in_current_directory(to)) return fail(kDiskFull);
    FakeFile moved = *source;
    state.files.erase(from);
    state.files[to] = moved;
    return succeed();
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR title, UINT style) {
    record("MessageBoxA", {ptr(owner), str(text), str(title), num(style)});
    return 1;  // IDOK
}

BOOL WINAPI CreateProcessA(LPCSTR application, LPSTR command_line, LPSECURITY_ATTRIBUTES process_security,
                           LPSECURITY_ATTRIBUTES thread_security, BOOL inherit_handles, DWORD creation_flags,
                           LPVOID environment, LPCSTR current_directory, STARTUPINFOA* startup_info,
                           PROCESS_INFORMATION* process_information) {
    record("CreateProcessA", {str(application), str(command_line), ptr(process_security), ptr(thread_security),
                              num(inherit_handles), num(creation_flags), ptr(environment), str(current_directory),
                              ptr(startup_info), ptr(process_information)});
    auto bytes = [](const void* p, std::size_t n) {
        auto b = static_cast<const unsigned char*>(p);
        return std::vector<unsigned char>(b, b + n);
    };
    state.startup_info = bytes(startup_info, sizeof *startup_info);
    state.process_info = bytes(process_information, sizeof *process_information);
    // A bare name is looked up in the current directory only.
    FakeFile* program = in_current_directory(application) ? find(application) : nullptr;
    if (!program) return fail(ERROR_FILE_NOT_FOUND);
    state.started.push_back(program->content);
    process_information->hProcess = reinterpret_cast<HANDLE>(0x40);
    process_information->hThread = reinterpret_cast<HANDLE>(0x44);
    process_information->dwProcessId = 1234;
    process_information->dwThreadId = 1238;
    return succeed();
}
