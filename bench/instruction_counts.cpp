#include "instruction_counts.h"

#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "bench_support.h"
#include "codec/block_decoder.h"
#include "codec/frame_geometry.h"
#include "codec/quant_table_q.h"
#include "framedec.h"

namespace framedec::bench {
namespace {

namespace fs = std::filesystem;

const char* const kOperations[] = {"DecodeData", "DecodeDCData"};

void Decode(const std::string& operation, const BenchImage& b, std::vector<uint8_t>& out) {
    if (operation == "DecodeData") {
        DecodeData(out.data(), 0, 0, kMaxImageWidth, kMaxImageHeight, kMaxImageWidth, b.frame.data(), kTableQ);
    } else {
        DecodeDCData(out.data(), 0, 0, kSlotsPerRow, kMaxBlockRows, b.frame.data());
    }
}

// "desc: Trigger: Client Request: <label>" and "totals: <count>" of one callgrind dump.
bool ReadDump(const fs::path& file, std::string& label, unsigned long long& count) {
    std::ifstream in(file);
    const std::string trigger = "desc: Trigger: Client Request: ", totals = "totals: ";
    bool haveLabel = false, haveCount = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(trigger, 0) == 0) {
            label = line.substr(trigger.size());
            haveLabel = true;
        } else if (line.rfind(totals, 0) == 0) {
            count = std::strtoull(line.c_str() + totals.size(), nullptr, 10);
            haveCount = true;
        }
    }
    return haveLabel && haveCount;
}

std::string WithThousands(unsigned long long n) {
    std::string digits = std::to_string(n), out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

}  // namespace

int RunInstructionCounts() {
    std::vector<uint8_t> out(std::size_t{kMaxImageWidth} * kMaxImageHeight);
    const std::string initial = ActiveBlockDecoder().name;
    CALLGRIND_START_INSTRUMENTATION;
    for (const BenchImage& b : BenchImages()) {
        for (const BlockDecoder& variant : BlockDecoders()) {
            if (!SelectBlockDecoder(variant.name)) continue;  // valgrind does not run every instruction set
            for (const std::string operation : kOperations) {
                Decode(operation, b, out);  // once uncounted, so that both runs start alike
                CALLGRIND_TOGGLE_COLLECT;
                Decode(operation, b, out);
                CALLGRIND_TOGGLE_COLLECT;
                const std::string label = operation + "." + variant.name + "/" + b.name;
                CALLGRIND_DUMP_STATS_AT(label.c_str());
            }
        }
    }
    SelectBlockDecoder(initial);
    return 0;
}

void PrintInstructionCounts(const std::string& self, const std::string& workDirectory) {
    const fs::path dir = fs::path(workDirectory) / "instruction-counts";
    std::error_code error;
    fs::remove_all(dir, error);
    fs::create_directories(dir, error);
    const std::string command = "valgrind --tool=callgrind --instr-atstart=no --collect-atstart=no --callgrind-out-file=" +
                                (dir / "callgrind.out").string() + " " + self + " " + kInstructionCountRunFlag +
                                "yes > " + (dir / "log").string() + " 2>&1";
    std::printf("\ninstructions per whole-frame decode (callgrind, %s)\n", (dir / "log").c_str());
    std::fflush(stdout);
    if (std::system("command -v valgrind > /dev/null 2>&1") != 0) {
        std::printf("valgrind is not installed: no instruction counts\n");
        return;
    }
    if (std::system(command.c_str()) != 0) {
        std::printf("the counting run under callgrind failed: see its log\n");
        return;
    }
    std::map<std::string, std::map<std::string, unsigned long long>> counts;  // label -> image -> count
    for (const auto& entry : fs::directory_iterator(dir)) {
        std::string label;
        unsigned long long count = 0;
        if (!ReadDump(entry.path(), label, count)) continue;
        const auto slash = label.find('/');
        if (slash != std::string::npos) counts[label.substr(0, slash)][label.substr(slash + 1)] = count;
    }
    std::printf("%-22s", "");
    for (const BenchImage& b : BenchImages()) std::printf(" %14s", b.name.c_str());
    std::printf("\n");
    for (const std::string operation : kOperations) {
        for (const BlockDecoder& variant : BlockDecoders()) {
            const std::string label = operation + "." + variant.name;
            std::printf("%-22s", label.c_str());
            for (const BenchImage& b : BenchImages()) {
                const auto row = counts.find(label);
                const bool counted = row != counts.end() && row->second.count(b.name) > 0;
                std::printf(" %14s", counted ? WithThousands(row->second.at(b.name)).c_str() : "n/a");
            }
            std::printf("\n");
        }
    }
    std::printf("(n/a: a variant valgrind cannot run, such as AVX-512)\n");
}

}  // namespace framedec::bench
