#include "platform/executable_path.h"

#include <windows.h>

#include <string>

namespace framedec::cli {

std::filesystem::path ExecutablePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) return std::filesystem::path(path.substr(0, length));
        path.resize(2 * path.size());  // truncated: try a larger buffer
    }
}

}  // namespace framedec::cli
