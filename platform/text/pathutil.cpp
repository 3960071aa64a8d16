#include "platform/text/pathutil.h"

#include <climits>
#include <cstdlib>
#include <dlfcn.h>
#include <unistd.h>

namespace {
size_t LastSeparator(std::string_view path) {
    return path.find_last_of("/\\");
}
} // namespace

std::string FileNamePart(std::string_view path) {
    const size_t pos = LastSeparator(path);
    return std::string(pos == std::string_view::npos ? path : path.substr(pos + 1));
}

std::string FolderPart(std::string_view path) {
    const size_t pos = LastSeparator(path);
    return pos == std::string_view::npos ? std::string() : std::string(path.substr(0, pos));
}

std::string FolderWithSeparator(std::string_view path) {
    const size_t pos = LastSeparator(path);
    return pos == std::string_view::npos ? std::string() : std::string(path.substr(0, pos + 1));
}

std::string EnsureTrailingSeparator(std::string_view folder) {
    std::string out(folder);
    if (!out.empty() && out.back() != '/' && out.back() != '\\')
        out.push_back('/');
    return out;
}

std::string ModulePathOf(const void* address) {
    Dl_info info{};
    if (::dladdr(address, &info) == 0 || info.dli_fname == nullptr || *info.dli_fname == '\0')
        return {};
    std::string path = info.dli_fname;
    // The main program is reported by the name it was started with; resolve it.
    char resolved[PATH_MAX];
    if (path.find('/') == std::string::npos) {
        const ssize_t n = ::readlink("/proc/self/exe", resolved, sizeof resolved - 1);
        if (n <= 0)
            return {};
        return std::string(resolved, static_cast<size_t>(n));
    }
    if (::realpath(path.c_str(), resolved) != nullptr)
        return resolved;
    return path;
}

std::string ModuleFolderOf(const void* address) {
    const std::string path = ModulePathOf(address);
    return path.empty() ? std::string() : FolderWithSeparator(path);
}
