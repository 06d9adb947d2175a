#include "app/module_path.h"

#include "platform/platform.h"

namespace app {
std::u16string directoryPart(std::u16string_view path) {
    const std::size_t cut = path.rfind(u'\\');
    return cut == std::u16string_view::npos ? std::u16string() : std::u16string(path.substr(0, cut));
}

std::u16string fileNamePart(std::u16string_view path) {
    const std::size_t cut = path.rfind(u'\\');
    return cut == std::u16string_view::npos ? std::u16string() : std::u16string(path.substr(cut + 1));
}

std::u16string moduleDirectory() { return directoryPart(platform::modulePath()); }

std::u16string moduleFileName() { return fileNamePart(platform::modulePath()); }

}  // namespace app
