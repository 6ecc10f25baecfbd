// File names travel through the tools as UTF-8 text (the command line's bytes on Linux, converted
// from UTF-16 on Windows) and become paths only where a file is touched: one conversion, the same
// on every platform. (A path made from a plain std::string on Windows takes each byte for a
// character, so every non-ASCII name would be garbled.)
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace framedec::tools {

inline std::filesystem::path PathFromUtf8(std::string_view name) {
    return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

inline std::string Utf8FromPath(const std::filesystem::path& path) {
    const std::u8string name = path.u8string();
    return std::string(name.begin(), name.end());
}

// std::fopen by a UTF-8 name: on Windows through the wide call, which reaches every file name.
std::FILE* OpenUtf8Path(const std::string& name, const char* mode);

}  // namespace framedec::tools
