// Processes on Windows: the Toolhelp snapshot, OpenProcess + TerminateProcess
// and CreateProcessW.
#include <windows.h>
#include <tlhelp32.h>

#include "platform/platform.h"
#include "platform/win32/wide.h"

namespace platform {

bool processSnapshot(std::vector<ProcessEntry>& out) {
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    out.clear();
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry)) {
        out.push_back({entry.th32ProcessID, win32::utf16(entry.szExeFile)});
    }
    ::CloseHandle(snapshot);
    return true;
}

bool terminateProcess(std::uint32_t id) {
    const HANDLE process = ::OpenProcess(PROCESS_TERMINATE, FALSE, id);
    if (process == nullptr) return false;
    const bool ended = ::TerminateProcess(process, 0) != FALSE;
    ::CloseHandle(process);
    return ended;
}

std::uint32_t startProcess(const std::u16string& appPath, const std::u16string& commandLine) {
    std::u16string line = commandLine;  // CreateProcessW may write into it
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(win32::wide(appPath), win32::wide(line.data()), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &info)) {
        return ::GetLastError();
    }
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
    return kErrorSuccess;
}

}  // namespace platform
