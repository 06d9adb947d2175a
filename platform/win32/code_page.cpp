// Code pages on Windows: the system's own converters, flags 0.
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/wide.h"

namespace platform {

int ansiCodePage() { return static_cast<int>(::GetACP()); }
int oemCodePage() { return static_cast<int>(::GetOEMCP()); }

int multiByteToWide(int codePage, const char* src, int srcLen, char16_t* dst, int dstCap) {
    return ::MultiByteToWideChar(static_cast<UINT>(codePage), 0, src, srcLen, win32::wide(dst), dstCap);
}

int wideToMultiByte(int codePage, const char16_t* src, int srcLen, char* dst, int dstCap) {
    return ::WideCharToMultiByte(static_cast<UINT>(codePage), 0, win32::wide(src), srcLen, dst, dstCap, nullptr, nullptr);
}

}  // namespace platform
