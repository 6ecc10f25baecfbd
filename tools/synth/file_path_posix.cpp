// POSIX: a file name is the bytes it was given.
#include "synth/file_path.h"

namespace framedec::tools {

std::FILE* OpenUtf8Path(const std::string& name, const char* mode) { return std::fopen(name.c_str(), mode); }

}  // namespace framedec::tools
