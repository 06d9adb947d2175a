// Own location, working directory, time and the console on Windows.
#include <windows.h>

#include <ctime>
#include <cwchar>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/wide.h"

namespace platform {

std::u16string modulePath() {
    // GetModuleFileNameW cuts a path that does not fit (and then returns the
    // buffer's size), so the buffer grows until the whole path fits.
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD n = ::GetModuleFileNameW(::GetModuleHandleW(nullptr), buffer.data(), size);
        if (n == 0) return {};
        if (n < size) return std::u16string(win32::utf16(buffer.data()), n);
        if (size >= 0x100000) return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::uint32_t setCurrentDirectory(const std::u16string& dir) {
    return ::SetCurrentDirectoryW(win32::wide(dir)) ? std::uint32_t{kErrorSuccess} : ::GetLastError();
}

std::u16string_view executableSuffix() { return u".exe"; }

std::uint32_t reserveOpenFiles(std::size_t) { return kErrorSuccess; }

void sleepMs(std::uint32_t ms) { ::Sleep(ms); }

std::u16string formatLocalTime(const char* pattern) {
    std::wstring widePattern;
    for (const char* p = pattern; *p != '\0'; ++p) widePattern.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*p)));
    const std::time_t now = std::time(nullptr);
    if (now == static_cast<std::time_t>(-1)) return {};
    const std::tm* local = std::localtime(&now);  // per thread in the C runtime
    if (local == nullptr) return {};
    wchar_t buffer[128];
    const std::size_t n = std::wcsftime(buffer, 128, widePattern.c_str(), local);
    return std::u16string(win32::utf16(buffer), n);
}

// ---- standard output ------------------------------------------------------

namespace {

// The trace is written in one encoding whatever the kind of line: UTF-16 to
// a console, code page 936 to a redirected output.
constexpr UINT kTraceCodePage = 936;

void writeLine(const std::u16string& text) {
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) return;  // a GUI program usually has none
    DWORD mode = 0;
    DWORD written = 0;
    if (::GetConsoleMode(out, &mode)) {
        const std::u16string line = text + u"\r\n";
        ::WriteConsoleW(out, win32::wide(line), static_cast<DWORD>(line.size()), &written, nullptr);
        return;
    }
    std::string line;
    if (!text.empty()) {
        const int size = static_cast<int>(text.size());
        const int need = ::WideCharToMultiByte(kTraceCodePage, 0, win32::wide(text.c_str()), size, nullptr, 0, nullptr, nullptr);
        line.resize(static_cast<std::size_t>(need));
        if (need > 0) {
            ::WideCharToMultiByte(kTraceCodePage, 0, win32::wide(text.c_str()), size, line.data(), need, nullptr, nullptr);
        }
    }
    line += "\r\n";
    ::WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

void writeText(DWORD which, std::u16string_view text) {
    const HANDLE stream = ::GetStdHandle(which);
    if (stream == nullptr || stream == INVALID_HANDLE_VALUE || text.empty()) return;
    DWORD mode = 0;
    DWORD written = 0;
    const auto size = static_cast<int>(text.size());
    const wchar_t* wide = win32::wide(text.data());
    if (::GetConsoleMode(stream, &mode)) {
        ::WriteConsoleW(stream, wide, static_cast<DWORD>(size), &written, nullptr);
        return;
    }
    const int need = ::WideCharToMultiByte(CP_UTF8, 0, wide, size, nullptr, 0, nullptr, nullptr);
    if (need <= 0) return;
    std::string bytes(static_cast<std::size_t>(need), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide, size, bytes.data(), need, nullptr, nullptr);
    ::WriteFile(stream, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

void writeNarrowLine(const std::u16string& text) { writeLine(text); }
void writeWideLine(const std::u16string& text) { writeLine(text); }

void writeOutputText(std::u16string_view text) { writeText(STD_OUTPUT_HANDLE, text); }
void writeErrorText(std::u16string_view text) { writeText(STD_ERROR_HANDLE, text); }

bool stderrIsTerminal() {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

}  // namespace platform
