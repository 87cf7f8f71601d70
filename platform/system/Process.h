#pragma once
// Simulated processes of the emulated machine: ids, program files, a 32-bit address space each,
// access tokens with privileges, handles, and the programs that can be started by their path.
// All simulated programs run inside this host process; see Machine::currentProcessId().
#include "LastError.h"
#include "Machine.h"
#include "WinTypes.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace win {

// Process access rights.
constexpr DWORD PROCESS_TERMINATE = 0x0001;
constexpr DWORD PROCESS_CREATE_THREAD = 0x0002;
constexpr DWORD PROCESS_VM_OPERATION = 0x0008;
constexpr DWORD PROCESS_VM_READ = 0x0010;
constexpr DWORD PROCESS_VM_WRITE = 0x0020;
constexpr DWORD PROCESS_DUP_HANDLE = 0x0040;
constexpr DWORD PROCESS_QUERY_INFORMATION = 0x0400;
constexpr DWORD PROCESS_ALL_ACCESS = 0x001F0FFF;

// Memory allocation types and protections.
constexpr DWORD MEM_COMMIT = 0x1000;
constexpr DWORD MEM_RESERVE = 0x2000;
constexpr DWORD MEM_DECOMMIT = 0x4000;
constexpr DWORD MEM_RELEASE = 0x8000;
constexpr DWORD PAGE_NOACCESS = 0x01;
constexpr DWORD PAGE_READONLY = 0x02;
constexpr DWORD PAGE_READWRITE = 0x04;
constexpr DWORD PAGE_EXECUTE_READ = 0x20;
constexpr DWORD PAGE_EXECUTE_READWRITE = 0x40;

// Token rights and privilege attributes.
constexpr DWORD TOKEN_ADJUST_PRIVILEGES = 0x0020;
constexpr DWORD TOKEN_QUERY = 0x0008;
constexpr DWORD SE_PRIVILEGE_ENABLED_BY_DEFAULT = 0x1;
constexpr DWORD SE_PRIVILEGE_ENABLED = 0x2;

constexpr DWORD STILL_ACTIVE = 259;

// Error codes of this service.
constexpr LONG ERROR_PATH_NOT_FOUND = 3;
constexpr LONG ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr LONG ERROR_INSUFFICIENT_BUFFER = 122;
constexpr LONG ERROR_BAD_EXE_FORMAT = 193;
constexpr LONG ERROR_PARTIAL_COPY = 299;
constexpr LONG ERROR_INVALID_ADDRESS = 487;
constexpr LONG ERROR_NOT_ALL_ASSIGNED = 1300;
constexpr LONG ERROR_NO_SUCH_PRIVILEGE = 1313;

struct LUID {
    DWORD LowPart = 0;
    LONG HighPart = 0;
};
struct LUID_AND_ATTRIBUTES {
    LUID Luid;
    DWORD Attributes = 0;
};
// Variable length: PrivilegeCount entries follow the count (4 + 12 × count bytes).
struct TOKEN_PRIVILEGES {
    DWORD PrivilegeCount = 0;
    LUID_AND_ATTRIBUTES Privileges[1];
};
static_assert(sizeof(LUID_AND_ATTRIBUTES) == 12 && sizeof(TOKEN_PRIVILEGES) == 16);

// The pseudo handle of the calling process (its id: GetCurrentProcessId of the window system).
HANDLE GetCurrentProcess();

// 0 on failure (GetLastError: ERROR_INVALID_PARAMETER for an unknown or ended process,
// ERROR_ACCESS_DENIED when the process is protected and the caller lacks the debug privilege).
HANDLE OpenProcess(DWORD desiredAccess, BOOL inheritHandle, DWORD processId);
BOOL CloseHandle(HANDLE handle);
BOOL TerminateProcess(HANDLE process, UINT exitCode);
BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode);

// Addresses in another process are 32-bit numbers; buffers on the caller's side are its own.
DWORD VirtualAllocEx(HANDLE process, DWORD address, DWORD size, DWORD allocationType, DWORD protect);
BOOL VirtualFreeEx(HANDLE process, DWORD address, DWORD size, DWORD freeType);
BOOL WriteProcessMemory(HANDLE process, DWORD address, const void* buffer, DWORD size, DWORD* written);
BOOL ReadProcessMemory(HANDLE process, DWORD address, void* buffer, DWORD size, DWORD* read);

// The main module's file name in the code page; module 0 is the main module.
// Returns the bytes copied without the NUL, 0 on failure.
DWORD GetModuleFileNameExA(HANDLE process, HANDLE module, char* fileName, DWORD size);

BOOL OpenProcessToken(HANDLE process, DWORD desiredAccess, HANDLE* token);
BOOL LookupPrivilegeValueA(const char* systemName, const char* name, LUID* luid);
// previousState gets the former state of the privileges this call changed; bufferLength is its size.
// Succeeds with ERROR_NOT_ALL_ASSIGNED when the token lacks one of the privileges.
BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAllPrivileges, const TOKEN_PRIVILEGES* newState,
                           DWORD bufferLength, TOKEN_PRIVILEGES* previousState, DWORD* returnLength);

} // namespace win

namespace sys {

// A 32-bit address space: regions allocated at 64 KB granularity, committed in 4 KB pages.
class AddressSpace {
public:
    static constexpr uint32_t kPageSize = 0x1000;
    static constexpr uint32_t kGranularity = 0x10000;
    static constexpr uint32_t kLowest = 0x00010000;
    static constexpr uint32_t kHighest = 0x7FFE0000;  // end of the user part
    static constexpr uint64_t kCommitLimit = 64ull << 20;  // keeps a runaway caller off the host

    // Base address, or 0 with the error code in *error.
    uint32_t allocate(uint32_t address, uint32_t size, uint32_t type, uint32_t protect, int32_t* error);
    bool free(uint32_t address, uint32_t size, uint32_t type, int32_t* error);
    // All or nothing: false when any byte is not committed or not accessible that way.
    bool read(uint32_t address, void* out, uint32_t size) const;
    bool write(uint32_t address, const void* in, uint32_t size);
    size_t regionCount() const;
    uint64_t committedBytes() const;

private:
    struct Region {
        uint32_t size = 0;      // reserved, whole pages
        uint32_t protect = 0;
        bool committed = false;
        std::vector<uint8_t> bytes;
    };
    // Region holding [address, address + size), or nullptr; spans are never split across regions.
    const Region* locate(uint32_t address, uint32_t size, uint32_t* offset) const;

    mutable std::mutex mutex_;
    std::map<uint32_t, Region> regions_;
    mutable std::map<uint32_t, Region>::const_iterator last_ = regions_.end();  // the region found last
    uint64_t committed_ = 0;
};

// Privileges a token holds, by their locally unique id, with their attributes.
class Token {
public:
    std::map<uint32_t, uint32_t> privileges;  // LUID low part -> attributes
    bool enabled(uint32_t luid) const;
};
// Known privilege names and their ids on every machine ("SeDebugPrivilege" is 20).
std::optional<uint32_t> privilegeId(std::string_view name);

struct ProcessOptions {
    // Only a caller with the debug privilege enabled may open it (a service or another user's).
    bool protectedProcess = false;
    // The token holds the debug privilege (disabled), as an administrator's processes do.
    bool mayDebug = true;
    uint32_t parentId = 0;
};

class Process : public std::enable_shared_from_this<Process> {
public:
    Process(uint32_t id, std::string exePath, const ProcessOptions& options);
    uint32_t id() const { return id_; }
    uint32_t parentId() const { return parentId_; }
    // Full Windows path of the program file, as it was started.
    const std::string& exePath() const { return exePath_; }
    void setExePath(std::string path) { exePath_ = std::move(path); }
    bool isProtected() const { return protected_; }
    bool alive() const { return alive_; }
    uint32_t exitCode() const { return exitCode_; }
    AddressSpace& memory() { return memory_; }
    Token& token() { return token_; }

    // The program's own state lives as long as the process.
    void keep(std::shared_ptr<void> state) { kept_.push_back(std::move(state)); }

private:
    friend class ProcessTable;
    uint32_t id_;
    uint32_t parentId_;
    std::string exePath_;
    bool protected_;
    bool alive_ = true;
    uint32_t exitCode_ = win::STILL_ACTIVE;
    AddressSpace memory_;
    Token token_;
    std::vector<std::shared_ptr<void>> kept_;
};

struct StartInfo {
    std::string exePath;      // full Windows path
    std::string commandLine;  // arguments after the program file
    int showCommand = 1;      // SW_SHOWNORMAL unless the starter says otherwise
};
// A simulated program's entry: it runs as the new process (ProcessScope) in a pump round after
// the start, creates its windows and keeps its state with Process::keep.
using ProgramMain = std::function<void(Process&, const StartInfo&)>;

// A program file on disk names its program by a first line "SIMULATED-PROGRAM <name>"; programs
// registered under that name start from any copy of the file on any machine.
void registerProgramImage(const std::string& name, ProgramMain main);
std::string programImageText(const std::string& name);

// Layers above (the window system) hear of every ended process on every machine: registered once
// at start-up, called with the machine current.
void addProcessExitHook(std::function<void(Machine&, uint32_t pid)> hook);

// The machine's process table, program registry and handle table.
class ProcessTable {
public:
    explicit ProcessTable(Machine& machine);
    ~ProcessTable();
    ProcessTable(const ProcessTable&) = delete;
    ProcessTable& operator=(const ProcessTable&) = delete;
    static ProcessTable& of(Machine& machine) { return machine.service<ProcessTable>(machine); }
    static ProcessTable& current();

    Machine& machine() { return machine_; }
    // A live process, or nullptr. The program's own process always exists.
    std::shared_ptr<Process> find(uint32_t pid) const;
    std::vector<uint32_t> processIds() const;
    std::shared_ptr<Process> create(const std::string& exePath, const ProcessOptions& options = {});

    // Ends a process at once: its exit listeners run (the window system destroys its windows),
    // its handles go, and its kept state is released after the current pump round.
    bool terminate(uint32_t pid, uint32_t exitCode);
    // For the process's own code (ExitProcess): the same, deferred to the next pump round, so a
    // window procedure may call it and return normally.
    void exitLater(uint32_t pid, uint32_t exitCode);
    int addExitListener(std::function<void(uint32_t pid)> listener);
    void removeExitListener(int id);

    // ---- Programs by path -------------------------------------------------------------
    // This machine's programs by full path, without regard to case. Takes precedence over images.
    void registerProgram(const std::string& exePath, ProgramMain main);
    struct StartResult {
        uint32_t pid = 0;  // 0 on failure
        int32_t error = 0;
    };
    // Starts the program file: ERROR_FILE_NOT_FOUND when it is missing, ERROR_BAD_EXE_FORMAT when
    // it is no simulated program. The process exists at once; its entry runs in the next round.
    StartResult start(const std::string& exePath, const std::string& commandLine = "", int showCommand = 1,
                      const ProcessOptions& options = {});

    // ---- Handles ----------------------------------------------------------------------
    enum class HandleKind { Process, Token };
    struct HandleEntry {
        HandleKind kind;
        uint32_t owner;   // the process that holds the handle
        uint32_t access;
        std::shared_ptr<Process> target;
    };
    win::HANDLE addHandle(HandleEntry entry);
    // The entry when the calling process holds the handle, valid until the handle is closed; the
    // pseudo handle -1 is its own process with all rights.
    const HandleEntry* handle(win::HANDLE h) const;
    bool closeHandle(win::HANDLE h);
    size_t handleCount() const;

private:
    void finish(const std::shared_ptr<Process>& process, uint32_t exitCode);

    Machine& machine_;
    mutable std::mutex mutex_;
    std::map<uint32_t, std::shared_ptr<Process>> processes_;
    uint32_t nextPid_ = 1200;
    std::unordered_map<win::HANDLE, HandleEntry> handles_;
    win::HANDLE nextHandle_ = 0x100;
    std::map<std::string, ProgramMain> programs_;  // upper-case full paths
    std::map<int, std::function<void(uint32_t)>> exitListeners_;
    int nextListener_ = 1;
};

} // namespace sys
