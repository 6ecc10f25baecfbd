// Where `framedec convert` writes: one multi-page TIFF, or a sequence of PNG or PGM files whose
// names hold the frame number (frames/f%05d.png).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <utility>

namespace framedec::cli {

enum class OutputFormat { Tiff, Png, Pgm };

// A file name with one printf-style frame number in it: %d, %u or %i with an optional 0 flag and
// width (%05d); %% stands for a percent sign.
struct FileNamePattern {
    std::string before, after;  // the text around the number, %% already turned into %
    uint32_t width = 0;         // at least this many characters
    bool zeroPadded = false;    // padded with 0 instead of spaces

    std::string NameOf(uint64_t frame) const;
};

struct OutputTarget {
    OutputFormat format = OutputFormat::Tiff;
    std::string path;          // the TIFF, or the pattern as given
    FileNamePattern pattern;   // for PNG and PGM sequences
};

// Chooses the format by the name's ending (.tif, .tiff, .png, .pgm, in any case). Returns false with
// a usage error for any other ending, a sequence name without its frame number, and a TIFF name
// with one (a TIFF holds all frames).
bool ChooseOutputTarget(const std::string& path, OutputTarget& target, std::string& error);

const char* FormatName(OutputFormat format);

// The first name the output would write that is the same file as one of inputs (by identity, so
// also through "./", symbolic and hard links), with that input; empty names when none is: the
// TIFF's name, or the names of files first to first + files - 1 of a sequence.
std::pair<std::string, std::string> NameThatIsAnInput(const OutputTarget& target, uint64_t first, uint64_t files,
                                                      std::span<const std::string> inputs);

}  // namespace framedec::cli
