#include "synth/quant_table_file.h"

#include <cctype>
#include <charconv>
#include <sstream>

#include "synth/file_bytes.h"

namespace framedec::tools {
namespace {

// 64 integers and white space; far more than any table file, and a stop for endless input.
constexpr std::size_t kMaxTableFileBytes = std::size_t{1} << 20;

// A word as an error message shows it: at most 20 characters, unprintable ones as '?'.
std::string Shown(const std::string& word) {
    std::string shown = word.substr(0, 20);
    for (char& c : shown)
        if (!std::isprint(static_cast<unsigned char>(c))) c = '?';
    return word.size() > shown.size() ? shown + "..." : shown;
}

}  // namespace

bool ParseTableText(const std::string& text, QuantTable& table, std::string& error) {
    std::istringstream words(text);
    std::string word;
    QuantTable parsed{};
    std::size_t count = 0;
    while (words >> word) {
        if (count == parsed.size()) {
            error = "holds more than " + std::to_string(parsed.size()) + " integers (entry " +
                    std::to_string(count + 1) + " is '" + Shown(word) + "')";
            return false;
        }
        uint32_t value = 0;
        const char* end = word.data() + word.size();
        const auto [stop, status] = std::from_chars(word.data(), end, value);
        if (status != std::errc() || stop != end || value > 65535) {
            error = "entry " + std::to_string(count + 1) + " is '" + Shown(word) + "', not an integer from 0 to 65535";
            return false;
        }
        parsed[count++] = static_cast<uint16_t>(value);
    }
    if (count != parsed.size()) {
        error = "holds " + std::to_string(count) + " integers, expected " + std::to_string(parsed.size());
        return false;
    }
    table = parsed;
    return true;
}

bool ReadTableFile(const std::string& path, QuantTable& table, std::string& error) {
    std::vector<uint8_t> bytes;
    if (!ReadFileBytes(path, "table file", kMaxTableFileBytes, bytes, error)) return false;
    if (!ParseTableText(std::string(bytes.begin(), bytes.end()), table, error)) {
        error = "table file '" + path + "' " + error;
        return false;
    }
    return true;
}

}  // namespace framedec::tools
