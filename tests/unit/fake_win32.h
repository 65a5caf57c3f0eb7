// A scripted stand-in for the Win32 calls the installer makes: a tiny model of
// the files it works on, which each call consults and changes the way Windows
// would, and a record of every call with its arguments.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "win32.h"

struct FakeFile {
    std::string content;
    bool read_only = false;
    bool running = false;    // loaded as a process image: readable, not deletable
    bool held_open = false;  // opened elsewhere without delete sharing: cannot be moved or deleted
};

struct FakeCall {
    std::string name;
    std::vector<std::string> args;  // strings as passed, numbers in decimal, pointers as NULL or PTR
};

struct FakeWin32 {
    // What GetTempPathA reports; `has_temp_path` false makes it fail with 0.
    bool has_temp_path = true;
    std::string temp_path = "C:\\Temp\\";

    // Windows before 8 (without the 2011 update) has no SetDefaultDllDirectories.
    bool has_set_default_dll_directories = true;

    // Bare names live in the current directory; names with a backslash elsewhere.
    std::map<std::string, FakeFile> files;
    bool current_directory_writable = true;
    bool copy_breaks_off = false;  // a copy fails halfway and leaves part of the file
    bool move_breaks_off = false;  // a move from another volume fails (full disk)

    // What the run did.
    std::vector<FakeCall> calls;
    std::vector<std::string> started;  // content of each program started
    std::set<HANDLE> open_handles;
    std::vector<unsigned char> startup_info;  // bytes of the STARTUPINFOA given to CreateProcessA
    std::vector<unsigned char> process_info;  // bytes of the PROCESS_INFORMATION before the call
    DWORD last_error = 0;
};

// The one fake the Win32 functions below act on; tests reset it per case.
FakeWin32& fake();
