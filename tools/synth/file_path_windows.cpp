// Windows: files are opened by their UTF-16 names; the narrow calls would go through the ANSI code
// page, which cannot name most files.
#include "synth/file_path.h"

namespace framedec::tools {

std::FILE* OpenUtf8Path(const std::string& name, const char* mode) {
    const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));  // ASCII
    return _wfopen(PathFromUtf8(name).c_str(), wideMode.c_str());
}

}  // namespace framedec::tools
