#include "update_installer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fake_win32.h"

namespace {

const std::string kInstalled = "tarvex.exe";
const std::string kBackup = "tarvex.exe.bak";
const char* const kOldProgram = "old tarvex";
const char* const kNewProgram = "new tarvex";

enum class Installed { None, Plain, Running, ReadOnly };

struct Case {
    const char* name;
    // The machine before the run.
    Installed installed = Installed::Plain;
    bool staged = true;
    unsigned temp_length = 8;  // "C:\Temp\", longer ones padded; 0: GetTempPathA fails
    bool staged_held_open = false;
    bool folder_writable = true;
    bool copy_breaks_off = false;
    bool move_breaks_off = false;
    bool stale_backup = false;
    bool dll_directories_api = true;
    // What the run must do: the calls that do not touch the backup, in order.
    const char* calls;
    int boxes = 0;
    const char* installed_after = nullptr;  // its content afterwards; nullptr: gone
    bool staged_after = false;
    const char* started = nullptr;  // the program started, if any
};

const char kLookedUp[] = "Sleep GetTempPathA OpenFile CreateProcessA";
const char kSwapped[] = "Sleep GetTempPathA OpenFile DeleteFileA MoveFileA CreateProcessA";
const char kBothFailed[] = "Sleep GetTempPathA OpenFile DeleteFileA MessageBoxA MoveFileA MessageBoxA CreateProcessA";
const char kMoveFailed[] = "Sleep GetTempPathA OpenFile DeleteFileA MoveFileA MessageBoxA CreateProcessA";
const char kLongSwapped[] = "Sleep GetTempPathA CreateFileA CloseHandle DeleteFileA MoveFileA CreateProcessA";
const char kNotLookedUp[] = "Sleep GetTempPathA CreateProcessA";

const Case kCases[] = {
    {.name = "NothingStaged", .staged = false, .calls = kLookedUp,
     .installed_after = kOldProgram, .started = kOldProgram},
    {.name = "NeitherFilePresent", .installed = Installed::None, .staged = false, .calls = kLookedUp},
    {.name = "NormalSwap", .calls = kSwapped, .installed_after = kNewProgram, .started = kNewProgram},
    // Nothing to delete is not a failure: no box, and the new program is installed.
    {.name = "NoInstalledProgram", .installed = Installed::None, .calls = kSwapped,
     .installed_after = kNewProgram, .started = kNewProgram},
    {.name = "InstalledProgramRunning", .installed = Installed::Running, .calls = kBothFailed, .boxes = 2,
     .installed_after = kOldProgram, .staged_after = true, .started = kOldProgram},
    {.name = "InstalledProgramReadOnly", .installed = Installed::ReadOnly, .calls = kBothFailed, .boxes = 2,
     .installed_after = kOldProgram, .staged_after = true, .started = kOldProgram},
    // Where no backup can be made, the delete fails as well and nothing is lost.
    {.name = "FolderNotWritable", .folder_writable = false, .calls = kBothFailed, .boxes = 2,
     .installed_after = kOldProgram, .staged_after = true, .started = kOldProgram},
    // A move that fails after the delete puts the old program back.
    {.name = "StagedFileHeldOpen", .staged_held_open = true, .calls = kMoveFailed, .boxes = 1,
     .installed_after = kOldProgram, .staged_after = true, .started = kOldProgram},
    {.name = "MoveFromOtherVolumeBreaksOff", .move_breaks_off = true, .calls = kMoveFailed, .boxes = 1,
     .installed_after = kOldProgram, .staged_after = true, .started = kOldProgram},
    {.name = "StaleReadOnlyBackupReplaced", .move_breaks_off = true, .stale_backup = true, .calls = kMoveFailed,
     .boxes = 1, .installed_after = kOldProgram, .staged_after = true, .started = kOldProgram},
    {.name = "BackupBreaksOffThenSwap", .copy_breaks_off = true, .calls = kSwapped,
     .installed_after = kNewProgram, .started = kNewProgram},
    // Without a backup a failed move after the delete leaves nothing to start.
    {.name = "BackupBreaksOffThenMoveFails", .staged_held_open = true, .copy_breaks_off = true,
     .calls = kMoveFailed, .boxes = 1, .staged_after = true},
    // Older Windows: the DLL search stays as it is, everything else the same.
    {.name = "NoSetDefaultDllDirectories", .dll_directories_api = false, .calls = kSwapped,
     .installed_after = kNewProgram, .started = kNewProgram},
    {.name = "NoTemporaryDirectory", .temp_length = 0, .calls = kNotLookedUp,
     .installed_after = kOldProgram, .staged_after = true, .started = kOldProgram},
    // Staging paths up to 127 characters fit OpenFile's record, longer ones do not.
    {.name = "TempPath110", .temp_length = 110, .calls = kSwapped,
     .installed_after = kNewProgram, .started = kNewProgram},
    {.name = "TempPath111", .temp_length = 111, .calls = kLongSwapped,
     .installed_after = kNewProgram, .started = kNewProgram},
    {.name = "TempPath111NothingStaged", .staged = false, .temp_length = 111,
     .calls = "Sleep GetTempPathA CreateFileA CreateProcessA", .installed_after = kOldProgram,
     .started = kOldProgram},
    {.name = "TempPath242", .temp_length = 242, .calls = kLongSwapped,
     .installed_after = kNewProgram, .started = kNewProgram},
    // The staging path no longer fits the buffer: treated as nothing staged.
    {.name = "TempPath243", .temp_length = 243, .calls = kNotLookedUp,
     .installed_after = kOldProgram, .staged_after = true, .started = kOldProgram},
    {.name = "TempPath259", .temp_length = 259, .calls = kNotLookedUp,
     .installed_after = kOldProgram, .staged_after = true, .started = kOldProgram},
    {.name = "TempPath260", .temp_length = 260, .calls = kNotLookedUp,
     .installed_after = kOldProgram, .staged_after = true, .started = kOldProgram},
    {.name = "TempPath400", .temp_length = 400, .calls = kNotLookedUp,
     .installed_after = kOldProgram, .staged_after = true, .started = kOldProgram},
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::string temp_path_of(unsigned length) { return "C:\\Temp" + std::string(length - 8, 'x') + "\\"; }

// The calls from Sleep on, leaving out those that touch the backup.
std::string visible_calls(const std::vector<FakeCall>& calls) {
    std::string names;
    for (const FakeCall& call : calls) {
        bool touches_backup = false;
        for (const std::string& arg : call.args) touches_backup |= arg == kBackup;
        if (touches_backup) continue;
        names += (names.empty() ? "" : " ") + call.name;
    }
    return names;
}

class InstallUpdate : public testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        const Case& c = GetParam();
        fake() = FakeWin32{};
        fake().has_temp_path = c.temp_length != 0;
        if (c.temp_length != 0) fake().temp_path = temp_path_of(c.temp_length);
        staging_ = fake().temp_path + "Tarvex\\tarvex.exe";

        if (c.installed != Installed::None) {
            FakeFile& program = fake().files[kInstalled];
            program.content = kOldProgram;
            program.running = c.installed == Installed::Running;
            program.read_only = c.installed == Installed::ReadOnly;
        }
        if (c.staged) {
            FakeFile& staged = fake().files[staging_];
            staged.content = kNewProgram;
            staged.held_open = c.staged_held_open;
        }
        if (c.stale_backup) fake().files[kBackup] = FakeFile{.content = "stale", .read_only = true};
        fake().current_directory_writable = c.folder_writable;
        fake().copy_breaks_off = c.copy_breaks_off;
        fake().move_breaks_off = c.move_breaks_off;
        fake().has_set_default_dll_directories = c.dll_directories_api;
    }

    std::string staging_;
};

TEST_P(InstallUpdate, Run) {
    const Case& c = GetParam();
    ASSERT_EQ(install_update(), 0);
    const FakeWin32& f = fake();

    // Before anything else, DLLs are restricted to the system folder where Windows can.
    std::vector<std::vector<std::string>> dll_setup = {{"GetModuleHandleA", "kernel32.dll"},
                                                       {"GetProcAddress", "PTR", "SetDefaultDllDirectories"}};
    if (c.dll_directories_api) dll_setup.push_back({"SetDefaultDllDirectories", "2048"});
    ASSERT_GT(f.calls.size(), dll_setup.size() + 2);
    for (std::size_t i = 0; i < dll_setup.size(); ++i) {
        std::vector<std::string> call = {f.calls[i].name};
        call.insert(call.end(), f.calls[i].args.begin(), f.calls[i].args.end());
        EXPECT_EQ(call, dll_setup[i]);
    }
    const std::vector<FakeCall> rest(f.calls.begin() + dll_setup.size(), f.calls.end());

    EXPECT_EQ(visible_calls(rest), c.calls);
    EXPECT_EQ(rest[0].name, "Sleep");
    EXPECT_EQ(rest[0].args, (std::vector<std::string>{"1000"}));
    EXPECT_EQ(rest[1].args, (std::vector<std::string>{"260", "PTR"}));

    int boxes = 0;
    int launches = 0;
    for (const FakeCall& call : rest) {
        const auto& a = call.args;
        if (call.name == "MessageBoxA") {
            ++boxes;
            EXPECT_EQ(a, (std::vector<std::string>{"NULL", "Updating failed\n\nAccess to TARVEX.EXE denied",
                                                   "Tarvex Update", "16"}));
        } else if (call.name == "OpenFile") {
            EXPECT_EQ(a, (std::vector<std::string>{staging_, "PTR", "16384"}));
        } else if (call.name == "CreateFileA") {
            EXPECT_EQ(a, (std::vector<std::string>{staging_, "2147483648", "3", "NULL", "3", "128", "NULL"}));
        } else if (call.name == "DeleteFileA" && a[0] != kBackup) {
            EXPECT_EQ(a[0], kInstalled);
        } else if (call.name == "MoveFileA" && a[0] != kBackup) {
            EXPECT_EQ(a, (std::vector<std::string>{staging_, kInstalled}));
        } else if (call.name == "CreateProcessA") {
            ++launches;
            EXPECT_EQ(a, (std::vector<std::string>{kInstalled, "NULL", "NULL", "NULL", "0", "0", "NULL", "NULL",
                                                   "PTR", "PTR"}));
        }
    }
    EXPECT_EQ(boxes, c.boxes);
    EXPECT_EQ(launches, 1);
    EXPECT_EQ(f.calls.back().name, "CreateProcessA");

    // STARTUPINFOA: cb holds the record's size, every other byte is zero;
    // PROCESS_INFORMATION is all zero when handed over.
    ASSERT_EQ(f.startup_info.size(), sizeof(STARTUPINFOA));
    DWORD cb;
    std::memcpy(&cb, f.startup_info.data(), sizeof cb);
    EXPECT_EQ(cb, sizeof(STARTUPINFOA));
    EXPECT_EQ(std::vector<unsigned char>(f.startup_info.begin() + sizeof cb, f.startup_info.end()),
              std::vector<unsigned char>(sizeof(STARTUPINFOA) - sizeof cb, 0));
    EXPECT_EQ(f.process_info, std::vector<unsigned char>(sizeof(PROCESS_INFORMATION), 0));

    auto installed = f.files.find(kInstalled);
    if (c.installed_after) {
        ASSERT_NE(installed, f.files.end()) << "the user's program is gone";
        EXPECT_EQ(installed->second.content, c.installed_after);
    } else {
        EXPECT_EQ(installed, f.files.end());
    }
    EXPECT_EQ(f.files.count(staging_), c.staged_after ? 1u : 0u);
    EXPECT_EQ(f.files.count(kBackup), 0u) << "a backup was left behind";
    EXPECT_TRUE(f.open_handles.empty());
    EXPECT_EQ(f.started, c.started ? std::vector<std::string>{c.started} : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Cases, InstallUpdate, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
