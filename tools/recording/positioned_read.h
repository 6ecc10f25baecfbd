// Reads at a file offset without moving a file position: one system call per read (no seek
// before it), and reads from several threads never disturb each other. The platform's business.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace framedec::tools {

enum class ReadResult { Complete, EndOfFile, Failed };  // Failed leaves the cause in errno

// Reads size bytes at offset of file (opened for reading) into bytes, resuming after short reads.
ReadResult ReadAtOffset(std::FILE* file, uint64_t offset, uint8_t* bytes, std::size_t size);

}  // namespace framedec::tools
