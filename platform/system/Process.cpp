#include "Process.h"

#include "CodePage.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace sys {

// ---- Address space ----------------------------------------------------------------------

namespace {
bool validProtect(uint32_t p) {
    return p == win::PAGE_NOACCESS || p == win::PAGE_READONLY || p == win::PAGE_READWRITE ||
           p == win::PAGE_EXECUTE_READ || p == win::PAGE_EXECUTE_READWRITE;
}
bool readable(uint32_t p) { return p != win::PAGE_NOACCESS; }
bool writable(uint32_t p) { return p == win::PAGE_READWRITE || p == win::PAGE_EXECUTE_READWRITE; }
uint64_t roundUp(uint64_t v, uint64_t unit) { return (v + unit - 1) / unit * unit; }
} // namespace

uint32_t AddressSpace::allocate(uint32_t address, uint32_t size, uint32_t type, uint32_t protect,
                                int32_t* error) {
    auto fail = [&](int32_t e) {
        if (error) *error = e;
        return 0u;
    };
    const bool commit = type & win::MEM_COMMIT, reserve = type & win::MEM_RESERVE;
    if (size == 0 || (!commit && !reserve) || (type & ~(win::MEM_COMMIT | win::MEM_RESERVE)) ||
        !validProtect(protect))
        return fail(win::ERROR_INVALID_PARAMETER);
    const uint64_t span = roundUp(size, kPageSize);
    std::lock_guard lock(mutex_);

    // Committing pages of a region reserved earlier.
    if (address != 0 && commit && !reserve) {
        uint32_t offset = 0;
        auto it = regions_.upper_bound(address);
        if (it == regions_.begin()) return fail(win::ERROR_INVALID_ADDRESS);
        --it;
        offset = address - it->first;
        if (uint64_t(offset) + size > it->second.size) return fail(win::ERROR_INVALID_ADDRESS);
        Region& r = it->second;
        if (!r.committed) {
            if (committed_ + r.size > kCommitLimit) return fail(win::ERROR_NOT_ENOUGH_MEMORY);
            r.bytes.assign(r.size, 0);
            r.committed = true;
            committed_ += r.size;
        }
        r.protect = protect;
        return address & ~(kPageSize - 1);
    }

    if (commit && committed_ + span > kCommitLimit) return fail(win::ERROR_NOT_ENOUGH_MEMORY);
    auto isFree = [&](uint64_t base) {
        if (base < kLowest || base + span > kHighest) return false;
        auto next = regions_.lower_bound(static_cast<uint32_t>(base));
        if (next != regions_.end() && next->first < base + span) return false;
        if (next != regions_.begin()) {
            auto prev = std::prev(next);
            if (uint64_t(prev->first) + prev->second.size > base) return false;
        }
        return true;
    };
    uint64_t base = 0;
    if (address != 0) {
        base = address / kGranularity * kGranularity;
        if (!isFree(base)) return fail(win::ERROR_INVALID_ADDRESS);
    } else {
        // First fit from the bottom, on the allocation granularity.
        uint64_t candidate = kLowest;
        for (const auto& [start, region] : regions_) {
            if (candidate + span <= start) break;
            candidate = std::max(candidate, roundUp(uint64_t(start) + region.size, kGranularity));
        }
        if (candidate + span > kHighest) return fail(win::ERROR_NOT_ENOUGH_MEMORY);
        base = candidate;
    }
    Region r;
    r.size = static_cast<uint32_t>(span);
    r.protect = protect;
    if (commit) {
        r.committed = true;
        r.bytes.assign(r.size, 0);
        committed_ += r.size;
    }
    regions_.emplace(static_cast<uint32_t>(base), std::move(r));
    return static_cast<uint32_t>(base);
}

bool AddressSpace::free(uint32_t address, uint32_t size, uint32_t type, int32_t* error) {
    auto fail = [&](int32_t e) {
        if (error) *error = e;
        return false;
    };
    std::lock_guard lock(mutex_);
    auto it = regions_.find(address);
    if (type == win::MEM_RELEASE) {
        // Only a whole region, named by its base and a size of 0.
        if (size != 0) return fail(win::ERROR_INVALID_PARAMETER);
        if (it == regions_.end()) return fail(win::ERROR_INVALID_ADDRESS);
        if (it->second.committed) committed_ -= it->second.size;
        if (last_ == it) last_ = regions_.end();
        regions_.erase(it);
        return true;
    }
    if (type == win::MEM_DECOMMIT) {
        if (it == regions_.end()) return fail(win::ERROR_INVALID_ADDRESS);
        if (it->second.committed) committed_ -= it->second.size;
        it->second.committed = false;
        it->second.bytes.clear();
        it->second.bytes.shrink_to_fit();
        return true;
    }
    return fail(win::ERROR_INVALID_PARAMETER);
}

const AddressSpace::Region* AddressSpace::locate(uint32_t address, uint32_t size, uint32_t* offset) const {
    // Reads and writes mostly go to the block used just before.
    if (last_ != regions_.end() && address >= last_->first && address - last_->first < last_->second.size) {
        const Region& r = last_->second;
        const uint64_t off = address - last_->first;
        if (!r.committed || off + size > r.size) return nullptr;
        *offset = static_cast<uint32_t>(off);
        return &r;
    }
    auto it = regions_.upper_bound(address);
    if (it == regions_.begin()) return nullptr;
    --it;
    last_ = it;
    const Region& r = it->second;
    const uint64_t off = address - it->first;
    if (!r.committed || off + size > r.size) return nullptr;
    *offset = static_cast<uint32_t>(off);
    return &r;
}

bool AddressSpace::read(uint32_t address, void* out, uint32_t size) const {
    if (size == 0) return true;
    std::lock_guard lock(mutex_);
    uint32_t off = 0;
    const Region* r = locate(address, size, &off);
    if (!r || !readable(r->protect)) return false;
    std::memcpy(out, r->bytes.data() + off, size);
    return true;
}

bool AddressSpace::write(uint32_t address, const void* in, uint32_t size) {
    if (size == 0) return true;
    std::lock_guard lock(mutex_);
    uint32_t off = 0;
    Region* r = const_cast<Region*>(locate(address, size, &off));
    if (!r || !writable(r->protect)) return false;
    std::memcpy(r->bytes.data() + off, in, size);
    return true;
}

size_t AddressSpace::regionCount() const {
    std::lock_guard lock(mutex_);
    return regions_.size();
}

uint64_t AddressSpace::committedBytes() const {
    std::lock_guard lock(mutex_);
    return committed_;
}

// ---- Tokens -----------------------------------------------------------------------------

namespace {
struct PrivilegeName {
    const char* name;
    uint32_t id;
};
constexpr PrivilegeName kPrivileges[] = {
    {"SeIncreaseQuotaPrivilege", 5},   {"SeSecurityPrivilege", 8},      {"SeTakeOwnershipPrivilege", 9},
    {"SeLoadDriverPrivilege", 10},     {"SeSystemtimePrivilege", 12},   {"SeBackupPrivilege", 17},
    {"SeRestorePrivilege", 18},        {"SeShutdownPrivilege", 19},     {"SeDebugPrivilege", 20},
    {"SeChangeNotifyPrivilege", 23},   {"SeUndockPrivilege", 25},       {"SeIncreaseWorkingSetPrivilege", 33},
    {"SeTimeZonePrivilege", 34},
};
constexpr uint32_t kDebugPrivilege = 20;
} // namespace

std::optional<uint32_t> privilegeId(std::string_view name) {
    for (const auto& p : kPrivileges)
        if (iequals(p.name, name)) return p.id;
    return std::nullopt;
}

bool Token::enabled(uint32_t luid) const {
    auto it = privileges.find(luid);
    return it != privileges.end() && (it->second & win::SE_PRIVILEGE_ENABLED);
}

// ---- Processes --------------------------------------------------------------------------

Process::Process(uint32_t id, std::string exePath, const ProcessOptions& options)
    : id_(id), parentId_(options.parentId), exePath_(std::move(exePath)), protected_(options.protectedProcess) {
    // A standard user's token, with the debug privilege held but off for an administrator.
    token_.privileges[23] = win::SE_PRIVILEGE_ENABLED | win::SE_PRIVILEGE_ENABLED_BY_DEFAULT;
    token_.privileges[19] = 0;
    token_.privileges[25] = 0;
    token_.privileges[33] = 0;
    token_.privileges[34] = 0;
    if (options.mayDebug) token_.privileges[kDebugPrivilege] = 0;
}

namespace {
std::mutex g_imagesMutex;
std::map<std::string, ProgramMain>& images() {
    static std::map<std::string, ProgramMain> table;
    return table;
}
constexpr std::string_view kImageMarker = "SIMULATED-PROGRAM ";
} // namespace

namespace {
std::mutex g_hooksMutex;
std::vector<std::function<void(Machine&, uint32_t)>>& exitHooks() {
    static std::vector<std::function<void(Machine&, uint32_t)>> hooks;
    return hooks;
}
} // namespace

void addProcessExitHook(std::function<void(Machine&, uint32_t)> hook) {
    std::lock_guard lock(g_hooksMutex);
    exitHooks().push_back(std::move(hook));
}

void registerProgramImage(const std::string& name, ProgramMain main) {
    std::lock_guard lock(g_imagesMutex);
    images()[name] = std::move(main);
}

std::string programImageText(const std::string& name) { return std::string(kImageMarker) + name + "\r\n"; }

namespace {
// Every table that ends makes the calling threads look theirs up again (see current()).
std::atomic<uint64_t> g_tableGeneration{1};
// Every handle opened or closed in any table makes the calling threads look theirs up again
// (see handle()).
std::atomic<uint64_t> g_handleGeneration{1};
} // namespace

ProcessTable& ProcessTable::current() {
    // The machine's service lookup is costly next to a memory read; the price loop reads hundreds
    // of cells per tick, so the table is remembered per thread until any table ends.
    thread_local Machine* machine = nullptr;
    thread_local ProcessTable* table = nullptr;
    thread_local uint64_t generation = 0;
    Machine& m = Machine::current();
    const uint64_t g = g_tableGeneration.load(std::memory_order_acquire);
    if (machine != &m || generation != g || !table) {
        table = &of(m);
        machine = &m;
        generation = g;
    }
    return *table;
}

ProcessTable::~ProcessTable() { g_tableGeneration.fetch_add(1, std::memory_order_acq_rel); }

ProcessTable::ProcessTable(Machine& machine) : machine_(machine) {
    auto own = std::make_shared<Process>(Machine::kProgramProcessId,
                                         "C:\\Program Files\\Pennant\\Pennant.exe", ProcessOptions{});
    processes_.emplace(own->id(), own);
}

std::shared_ptr<Process> ProcessTable::find(uint32_t pid) const {
    std::lock_guard lock(mutex_);
    auto it = processes_.find(pid);
    return it == processes_.end() ? nullptr : it->second;
}

std::vector<uint32_t> ProcessTable::processIds() const {
    std::lock_guard lock(mutex_);
    std::vector<uint32_t> ids;
    for (const auto& [id, p] : processes_) ids.push_back(id);
    return ids;
}

std::shared_ptr<Process> ProcessTable::create(const std::string& exePath, const ProcessOptions& options) {
    std::lock_guard lock(mutex_);
    uint32_t pid = nextPid_;
    nextPid_ += 4;  // ids are multiples of 4, as on the target
    auto p = std::make_shared<Process>(pid, exePath, options);
    processes_.emplace(pid, p);
    return p;
}

bool ProcessTable::terminate(uint32_t pid, uint32_t exitCode) {
    auto p = find(pid);
    if (!p) return false;
    finish(p, exitCode);
    return true;
}

void ProcessTable::exitLater(uint32_t pid, uint32_t exitCode) {
    machine_.post([this, pid, exitCode] { terminate(pid, exitCode); });
}

void ProcessTable::finish(const std::shared_ptr<Process>& p, uint32_t exitCode) {
    std::vector<std::function<void(uint32_t)>> listeners;
    {
        std::lock_guard lock(mutex_);
        if (!p->alive_) return;
        p->alive_ = false;
        p->exitCode_ = exitCode;
        processes_.erase(p->id());
        for (auto it = handles_.begin(); it != handles_.end();)
            it = it->second.owner == p->id() ? handles_.erase(it) : std::next(it);
        g_handleGeneration.fetch_add(1, std::memory_order_acq_rel);
        for (const auto& [id, l] : exitListeners_) listeners.push_back(l);
    }
    std::vector<std::function<void(Machine&, uint32_t)>> hooks;
    {
        std::lock_guard lock(g_hooksMutex);
        hooks = exitHooks();
    }
    {
        MachineScope scope(machine_);
        for (const auto& h : hooks) h(machine_, p->id());
    }
    for (const auto& l : listeners) l(p->id());
    // The program's state may be the caller (a window procedure of the ending process).
    auto kept = std::make_shared<std::vector<std::shared_ptr<void>>>(std::move(p->kept_));
    p->kept_.clear();
    machine_.post([kept] { kept->clear(); });
}

int ProcessTable::addExitListener(std::function<void(uint32_t)> listener) {
    std::lock_guard lock(mutex_);
    int id = nextListener_++;
    exitListeners_.emplace(id, std::move(listener));
    return id;
}

void ProcessTable::removeExitListener(int id) {
    std::lock_guard lock(mutex_);
    exitListeners_.erase(id);
}

void ProcessTable::registerProgram(const std::string& exePath, ProgramMain main) {
    std::lock_guard lock(mutex_);
    programs_[upperAscii(machine_.fullWinPath(exePath))] = std::move(main);
}

ProcessTable::StartResult ProcessTable::start(const std::string& exePath, const std::string& commandLine,
                                              int showCommand, const ProcessOptions& options) {
    const std::string full = machine_.fullWinPath(exePath);
    if (!machine_.fileExists(full)) {
        const auto slash = full.find_last_of('\\');
        return {0, slash != std::string::npos && !machine_.dirExists(full.substr(0, slash))
                       ? win::ERROR_PATH_NOT_FOUND
                       : win::ERROR_FILE_NOT_FOUND};
    }
    ProgramMain main;
    {
        std::lock_guard lock(mutex_);
        auto it = programs_.find(upperAscii(full));
        if (it != programs_.end()) main = it->second;
    }
    if (!main) {
        auto text = machine_.readFile(full);
        if (text && text->compare(0, kImageMarker.size(), kImageMarker) == 0) {
            std::string name = text->substr(kImageMarker.size());
            name = name.substr(0, name.find_first_of("\r\n"));
            std::lock_guard lock(g_imagesMutex);
            auto it = images().find(name);
            if (it != images().end()) main = it->second;
        }
    }
    if (!main) return {0, win::ERROR_BAD_EXE_FORMAT};

    ProcessOptions opts = options;
    if (!opts.parentId) opts.parentId = Machine::currentProcessId();
    auto process = create(full, opts);
    StartInfo info{full, commandLine, showCommand};
    std::weak_ptr<Process> weak = process;
    machine_.post([weak, info, main] {
        auto p = weak.lock();
        if (!p || !p->alive()) return;
        ProcessScope scope(p->id());
        main(*p, info);
    });
    return {process->id(), 0};
}

win::HANDLE ProcessTable::addHandle(HandleEntry entry) {
    std::lock_guard lock(mutex_);
    win::HANDLE h = nextHandle_;
    nextHandle_ += 4;
    handles_.emplace(h, std::move(entry));
    g_handleGeneration.fetch_add(1, std::memory_order_acq_rel);
    return h;
}

const ProcessTable::HandleEntry* ProcessTable::handle(win::HANDLE h) const {
    const uint32_t caller = Machine::currentProcessId();
    // A read of a process's memory asks for the same handle hundreds of times per price tick:
    // each thread remembers its last answer until any handle or table changes.
    struct Last {
        const ProcessTable* table = nullptr;
        uint64_t tables = 0, handles = 0;
        win::HANDLE handle = 0;
        uint32_t caller = 0;
        const HandleEntry* entry = nullptr;
    };
    thread_local Last last;
    const uint64_t tables = g_tableGeneration.load(std::memory_order_acquire);
    const uint64_t handles = g_handleGeneration.load(std::memory_order_acquire);
    if (h != -1 && last.table == this && last.tables == tables && last.handles == handles && last.handle == h &&
        last.caller == caller)
        return last.entry;
    std::lock_guard lock(mutex_);
    if (h == -1) {
        thread_local HandleEntry self{HandleKind::Process, 0, win::PROCESS_ALL_ACCESS, nullptr};
        auto it = processes_.find(caller);
        if (it == processes_.end()) return nullptr;
        self.owner = caller;
        self.target = it->second;
        return &self;
    }
    auto it = handles_.find(h);
    const HandleEntry* found = it == handles_.end() || it->second.owner != caller ? nullptr : &it->second;
    last = {this, tables, handles, h, caller, found};
    return found;
}

bool ProcessTable::closeHandle(win::HANDLE h) {
    const uint32_t caller = Machine::currentProcessId();
    std::lock_guard lock(mutex_);
    auto it = handles_.find(h);
    if (it == handles_.end() || it->second.owner != caller) return false;
    handles_.erase(it);
    g_handleGeneration.fetch_add(1, std::memory_order_acq_rel);
    return true;
}

size_t ProcessTable::handleCount() const {
    std::lock_guard lock(mutex_);
    return handles_.size();
}

} // namespace sys

// ---- The Win32-style functions ------------------------------------------------------------

namespace win {

namespace {
using sys::ProcessTable;

sys::ProcessTable& table() { return ProcessTable::current(); }

constexpr DWORD kSynchronize = 0x00100000;

BOOL fail(LONG code) {
    SetLastError(static_cast<DWORD>(code));
    return FALSE;
}

// The process behind a handle that grants every right in `need`, or nullptr with the error set.
sys::Process* processFor(HANDLE h, DWORD need) {
    auto e = table().handle(h);
    if (!e || e->kind != ProcessTable::HandleKind::Process) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if ((e->access & need) != need) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return e->target.get();
}
} // namespace

HANDLE GetCurrentProcess() { return -1; }

HANDLE OpenProcess(DWORD desiredAccess, BOOL, DWORD processId) {
    auto& t = table();
    auto target = t.find(processId);
    if (!target || desiredAccess == 0 || (desiredAccess & ~(PROCESS_ALL_ACCESS | kSynchronize))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const uint32_t caller = sys::Machine::currentProcessId();
    if (target->isProtected() && caller != processId) {
        auto self = t.find(caller);
        if (!self || !self->token().enabled(20)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return 0;
        }
    }
    return t.addHandle({ProcessTable::HandleKind::Process, caller, desiredAccess, target});
}

BOOL CloseHandle(HANDLE handle) {
    if (handle == -1) return TRUE;  // the pseudo handle needs no closing
    return table().closeHandle(handle) ? TRUE : fail(ERROR_INVALID_HANDLE);
}

BOOL TerminateProcess(HANDLE process, UINT exitCode) {
    auto p = processFor(process, PROCESS_TERMINATE);
    if (!p) return FALSE;
    if (!p->alive()) return fail(ERROR_ACCESS_DENIED);
    return table().terminate(p->id(), exitCode) ? TRUE : fail(ERROR_ACCESS_DENIED);
}

BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode) {
    auto p = processFor(process, PROCESS_QUERY_INFORMATION);
    if (!p) return FALSE;
    if (!exitCode) return fail(ERROR_INVALID_PARAMETER);
    *exitCode = p->exitCode();
    return TRUE;
}

DWORD VirtualAllocEx(HANDLE process, DWORD address, DWORD size, DWORD allocationType, DWORD protect) {
    auto p = processFor(process, PROCESS_VM_OPERATION);
    if (!p) return 0;
    if (!p->alive()) return fail(ERROR_ACCESS_DENIED);
    int32_t error = 0;
    DWORD base = p->memory().allocate(address, size, allocationType, protect, &error);
    if (!base) SetLastError(static_cast<DWORD>(error));
    return base;
}

BOOL VirtualFreeEx(HANDLE process, DWORD address, DWORD size, DWORD freeType) {
    auto p = processFor(process, PROCESS_VM_OPERATION);
    if (!p) return FALSE;
    int32_t error = 0;
    return p->memory().free(address, size, freeType, &error) ? TRUE : fail(error);
}

BOOL WriteProcessMemory(HANDLE process, DWORD address, const void* buffer, DWORD size, DWORD* written) {
    if (written) *written = 0;
    auto p = processFor(process, PROCESS_VM_WRITE | PROCESS_VM_OPERATION);
    if (!p) return FALSE;
    if (!buffer && size) return fail(ERROR_NOACCESS);
    if (!p->alive() || !p->memory().write(address, buffer, size)) return fail(ERROR_NOACCESS);
    if (written) *written = size;
    return TRUE;
}

BOOL ReadProcessMemory(HANDLE process, DWORD address, void* buffer, DWORD size, DWORD* read) {
    if (read) *read = 0;
    auto p = processFor(process, PROCESS_VM_READ);
    if (!p) return FALSE;
    if (!buffer && size) return fail(ERROR_NOACCESS);
    if (!p->alive() || !p->memory().read(address, buffer, size)) return fail(ERROR_PARTIAL_COPY);
    if (read) *read = size;
    return TRUE;
}

DWORD GetModuleFileNameExA(HANDLE process, HANDLE module, char* fileName, DWORD size) {
    auto p = processFor(process, PROCESS_QUERY_INFORMATION | PROCESS_VM_READ);
    if (!p) return 0;
    if (module != 0) return fail(ERROR_INVALID_HANDLE);
    if (!fileName || size == 0) return fail(ERROR_INSUFFICIENT_BUFFER);
    if (!p->alive()) return fail(ERROR_PARTIAL_COPY);
    const std::string ansi = sys::truncateAnsi(sys::toAnsi(p->exePath(), table().machine().codePage()),
                                               size - 1, table().machine().codePage());
    std::memcpy(fileName, ansi.data(), ansi.size());
    fileName[ansi.size()] = '\0';
    return static_cast<DWORD>(ansi.size());
}

BOOL OpenProcessToken(HANDLE process, DWORD desiredAccess, HANDLE* token) {
    if (token) *token = 0;
    auto p = processFor(process, PROCESS_QUERY_INFORMATION);
    if (!p) return FALSE;
    if (!token || desiredAccess == 0) return fail(ERROR_INVALID_PARAMETER);
    *token = table().addHandle(
        {ProcessTable::HandleKind::Token, sys::Machine::currentProcessId(), desiredAccess, p->shared_from_this()});
    return TRUE;
}

BOOL LookupPrivilegeValueA(const char* systemName, const char* name, LUID* luid) {
    if (systemName && *systemName) return fail(ERROR_BAD_NETPATH);  // only the local system
    if (!name || !luid) return fail(ERROR_INVALID_PARAMETER);
    auto id = sys::privilegeId(name);
    if (!id) return fail(ERROR_NO_SUCH_PRIVILEGE);
    luid->LowPart = *id;
    luid->HighPart = 0;
    return TRUE;
}

BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAllPrivileges, const TOKEN_PRIVILEGES* newState,
                           DWORD bufferLength, TOKEN_PRIVILEGES* previousState, DWORD* returnLength) {
    auto e = table().handle(token);
    if (!e || e->kind != ProcessTable::HandleKind::Token) return fail(ERROR_INVALID_HANDLE);
    const DWORD need = TOKEN_ADJUST_PRIVILEGES | (previousState ? TOKEN_QUERY : 0);
    if ((e->access & need) != need) return fail(ERROR_ACCESS_DENIED);
    if (!disableAllPrivileges && !newState) return fail(ERROR_INVALID_PARAMETER);
    auto& held = e->target->token().privileges;

    // The changes first, then whether the caller's buffer takes the former state of those changed.
    std::vector<std::pair<uint32_t, uint32_t>> changes;  // id, new attributes
    bool notAll = false;
    if (disableAllPrivileges) {
        for (const auto& [id, attrs] : held)
            if (attrs & SE_PRIVILEGE_ENABLED) changes.emplace_back(id, attrs & ~SE_PRIVILEGE_ENABLED);
    } else {
        const auto* entries = reinterpret_cast<const uint8_t*>(newState) + 4;
        for (DWORD i = 0; i < newState->PrivilegeCount; ++i) {
            LUID_AND_ATTRIBUTES want;
            std::memcpy(&want, entries + 12 * i, sizeof want);
            auto it = held.find(want.Luid.LowPart);
            if (want.Luid.HighPart != 0 || it == held.end()) {
                notAll = true;
                continue;
            }
            const uint32_t attrs = (it->second & ~SE_PRIVILEGE_ENABLED) | (want.Attributes & SE_PRIVILEGE_ENABLED);
            if (attrs != it->second) changes.emplace_back(it->first, attrs);
        }
    }
    const DWORD length = static_cast<DWORD>(4 + 12 * changes.size());
    if (previousState) {
        if (returnLength) *returnLength = length;
        if (bufferLength < length) return fail(ERROR_INSUFFICIENT_BUFFER);
        previousState->PrivilegeCount = static_cast<DWORD>(changes.size());
        auto* entries = reinterpret_cast<uint8_t*>(previousState) + 4;
        for (size_t i = 0; i < changes.size(); ++i) {
            const LUID_AND_ATTRIBUTES before{LUID{changes[i].first, 0}, held[changes[i].first]};
            std::memcpy(entries + 12 * i, &before, sizeof before);
        }
    }
    for (const auto& [id, attrs] : changes) held[id] = attrs;
    SetLastError(notAll ? ERROR_NOT_ALL_ASSIGNED : 0);
    return TRUE;
}

} // namespace win
