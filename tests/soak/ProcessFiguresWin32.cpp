// SPDX-License-Identifier: BSD-2-Clause
#include "ProcessFigures.h"

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <vector>

namespace {

// The system's handle table as SystemExtendedHandleInformation returns it;
// GetProcessHandleCount answers 0 under Wine, this works on both.
constexpr auto EXTENDED_HANDLE_INFORMATION = SYSTEM_INFORMATION_CLASS(64);
constexpr NTSTATUS INFO_LENGTH_MISMATCH = NTSTATUS(0xC0000004L);

struct HandleEntry {
    PVOID object;
    ULONG_PTR processId;
    ULONG_PTR handle;
    ULONG grantedAccess;
    USHORT creatorBackTraceIndex;
    USHORT objectTypeIndex;
    ULONG attributes;
    ULONG reserved;
};

struct HandleTable {
    ULONG_PTR count;
    ULONG_PTR reserved;
    HandleEntry entries[1];
};

uint64_t HandlesOfThisProcess()
{
    std::vector<char> buffer(1 << 20);
    ULONG needed = 0;
    NTSTATUS status;
    while ((status = NtQuerySystemInformation(EXTENDED_HANDLE_INFORMATION, buffer.data(), ULONG(buffer.size()),
                                              &needed)) == INFO_LENGTH_MISMATCH)
        buffer.resize(buffer.size() * 2);
    if (status != 0)
        return 0;
    const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
    uint64_t count = 0;
    for (ULONG_PTR i = 0; i < table->count; ++i) {
        if (table->entries[i].processId == GetCurrentProcessId())
            ++count;
    }
    return count;
}

uint64_t ThreadsOfThisProcess()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    uint64_t count = 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId())
            ++count;
    }
    CloseHandle(snapshot);
    return count;
}

}  // namespace

ProcessFigures ReadProcessFigures()
{
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    return {uint64_t(memory.WorkingSetSize) / 1024, HandlesOfThisProcess(), ThreadsOfThisProcess()};
}
