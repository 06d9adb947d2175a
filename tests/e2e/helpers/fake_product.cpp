// Stands in for the product "mivato.exe" in the end-to-end scenarios.
//   fake_product --stay MARKER READY   runs until the file MARKER is gone (at
//                                      most two minutes), after creating READY
//   anything else                      appends the command line it was started
//                                      with, as UTF-8, and a line end to
//                                      "product-cmdline.txt" in the working
//                                      directory, then exits
// The Updater starts the product with the outcome text as its whole command
// line: on Windows that is GetCommandLineW(), on POSIX the one argument argv[0].
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

int stay(const std::filesystem::path& marker, const std::filesystem::path& ready) {
    std::ofstream(ready) << "ready\n";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (std::filesystem::exists(marker) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return 0;
}

void record(const std::string& commandLine) {
    std::ofstream("product-cmdline.txt", std::ios::binary | std::ios::app) << commandLine << '\n';
}

}  // namespace

#ifdef _WIN32

int wmain(int argc, wchar_t* argv[]) {
    if (argc == 4 && std::wstring(argv[1]) == L"--stay") return stay(argv[2], argv[3]);
    const wchar_t* line = GetCommandLineW();
    const int size = WideCharToMultiByte(CP_UTF8, 0, line, -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line, -1, utf8.data(), size, nullptr, nullptr);
    utf8.resize(utf8.find('\0'));
    record(utf8);
    return 0;
}

#else

int main(int argc, char* argv[]) {
    if (argc == 4 && std::string(argv[1]) == "--stay") return stay(argv[2], argv[3]);
    record(argc > 0 ? argv[0] : "");
    return 0;
}

#endif
