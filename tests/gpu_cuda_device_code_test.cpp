// The cuda backend's library carries the device code: one fatbin, embedded in the section where
// NVIDIA's tools look for it, with machine code for every architecture of the build and PTX, each
// holding all four kernels; cuobjdump lists those architectures; and the SASS of the two launched
// kernels rounds every product before adding it and keeps every value in registers, at every
// architecture.
//
// A fatbin is a container (magic 0xBA55ED50, 16-byte header ending in the container's size) of
// entries whose header starts with the kind (1 PTX, 2 machine code), its header size and payload
// size, and holds the compute capability at byte 28. Machine code is stored as ELF, uncompressed.
#include <elf.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "gpu/kernels/kernels.h"

namespace {

// The names the library looks its kernels up by.
constexpr const char* kHuffman = framedec::gpu::kHuffman.mangled;
constexpr const char* kInverseDctLlm = framedec::gpu::kInverseDctLlm.mangled;

std::vector<char> ReadFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

template <class T>
T At(const std::vector<char>& bytes, std::size_t offset) {
    T value{};
    if (offset + sizeof(T) <= bytes.size()) std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

std::vector<char> Section(const std::vector<char>& elf, const std::string& name) {
    const auto header = At<Elf64_Ehdr>(elf, 0);
    const auto names = At<Elf64_Shdr>(elf, header.e_shoff + std::size_t{header.e_shstrndx} * header.e_shentsize);
    for (unsigned i = 0; i < header.e_shnum; ++i) {
        const auto section = At<Elf64_Shdr>(elf, header.e_shoff + std::size_t{i} * header.e_shentsize);
        if (names.sh_offset + section.sh_name >= elf.size()) continue;
        if (name == elf.data() + names.sh_offset + section.sh_name && section.sh_offset + section.sh_size <= elf.size())
            return {elf.begin() + static_cast<std::ptrdiff_t>(section.sh_offset),
                    elf.begin() + static_cast<std::ptrdiff_t>(section.sh_offset + section.sh_size)};
    }
    return {};
}

// "75,86" -> {75, 86}
std::set<unsigned> Capabilities(const std::string& list) {
    std::set<unsigned> capabilities;
    std::istringstream in(list);
    for (std::string item; std::getline(in, item, ',');) capabilities.insert(static_cast<unsigned>(std::stoul(item)));
    return capabilities;
}

struct Image {
    unsigned capability;     // e.g. 75 for 7.5
    std::vector<char> code;  // the payload
};

struct Fatbin {
    std::size_t containers = 0;
    std::vector<Image> machineCode;
    std::set<unsigned> ptx;
};

Fatbin ReadFatbin(const std::vector<char>& section) {
    Fatbin fatbin;
    for (std::size_t offset = 0; offset + 16 <= section.size();) {
        if (At<uint32_t>(section, offset) != 0xBA55ED50u) break;  // the section's zero padding
        ++fatbin.containers;
        const auto headerSize = At<uint16_t>(section, offset + 6);
        const auto size = At<uint64_t>(section, offset + 8);
        for (std::size_t entry = offset + headerSize; entry < offset + headerSize + size;) {
            const auto kind = At<uint16_t>(section, entry);
            const auto entryHeader = At<uint32_t>(section, entry + 4);
            const auto payload = At<uint64_t>(section, entry + 8);
            const auto capability = At<uint32_t>(section, entry + 28);
            if (kind == 1) {
                fatbin.ptx.insert(capability);
            } else {
                const auto begin = section.begin() + static_cast<std::ptrdiff_t>(entry + entryHeader);
                fatbin.machineCode.push_back({capability, {begin, begin + static_cast<std::ptrdiff_t>(payload)}});
            }
            entry += entryHeader + payload;
        }
        offset += headerSize + size;
        offset = (offset + 15) / 16 * 16;
    }
    return fatbin;
}

const Fatbin& LibraryFatbin() {
    static const Fatbin fatbin = ReadFatbin(Section(ReadFile(FRAMEDEC_SHARED_LIBRARY), ".nv_fatbin"));
    return fatbin;
}

constexpr const char* kKernels[] = {kHuffman, kInverseDctLlm, framedec::gpu::kInverseDctXyConv.mangled,
                                    framedec::gpu::kInverseDctConv.mangled};

TEST(CudaDeviceCode, OneFatbinWithMachineCodeForEveryArchitectureAndPtx) {
    const Fatbin& fatbin = LibraryFatbin();
    ASSERT_EQ(fatbin.containers, 1u) << "device code in " << FRAMEDEC_SHARED_LIBRARY;
    std::set<unsigned> machineCode;
    for (const Image& image : fatbin.machineCode) {
        machineCode.insert(image.capability);
        ASSERT_GE(image.code.size(), 4u);
        EXPECT_EQ(std::string(image.code.data(), 4), "\x7f" "ELF") << "sm_" << image.capability;
        const std::string text(image.code.begin(), image.code.end());
        for (const char* kernel : kKernels)
            EXPECT_NE(text.find(kernel), std::string::npos) << kernel << " sm_" << image.capability;
    }
    EXPECT_EQ(machineCode, Capabilities(FRAMEDEC_MACHINE_CODE_ARCHITECTURES));
    EXPECT_EQ(fatbin.ptx, Capabilities(FRAMEDEC_PTX_ARCHITECTURES));
}

// What cuobjdump prints about file, line by line.
std::vector<std::string> CuobjdumpLines(const std::string& cuobjdump, const std::string& options,
                                        const std::string& file) {
    const std::string command = "'" + cuobjdump + "' " + options + " '" + file + "' 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::vector<std::string> lines;
    if (!pipe) return lines;
    std::string line;
    for (int c; (c = std::fgetc(pipe.get())) != EOF;) {
        if (c != '\n') {
            line += static_cast<char>(c);
        } else {
            lines.push_back(line);
            line.clear();
        }
    }
    return lines;
}

// One kernel's code for one architecture: its instructions by opcode (without modifiers), and
// the resources the resource report gives it.
struct KernelCode {
    std::map<std::string, unsigned> opcodes;
    std::map<std::string, unsigned> resources;  // REG, STACK, SHARED, LOCAL ...
};

// The opcode of a SASS line ("/*0040*/  @!P0 FFMA.FTZ R1, ... ;", or "/*0010*/ { MOV R6, RZ ;" for
// the first of two instructions issued together), or "" for other lines.
std::string Opcode(const std::string& line) {
    const auto address = line.find("*/");
    if (line.find("/*") == std::string::npos || address == std::string::npos || line.find("/*") > address)
        return "";
    std::istringstream words(line.substr(address + 2));
    std::string word;
    words >> word;
    if (word == "{") words >> word;
    if (!word.empty() && word[0] == '@') words >> word;  // a predicate
    return word.substr(0, word.find('.'));
}

// CUDA 13's disassembler reads machine code from compute capability 7.5 on; CUDA 11.8's the older.
std::string CuobjdumpFor(unsigned capability) {
    return capability >= 75 ? FRAMEDEC_CUOBJDUMP : FRAMEDEC_CUOBJDUMP_LEGACY;
}

// One architecture's machine code as a file of its own.
std::string CubinFile(const Image& image) {
    const std::string path = ::testing::TempDir() + "framedec_sm_" + std::to_string(image.capability) + ".cubin";
    std::ofstream(path, std::ios::binary).write(image.code.data(), static_cast<std::streamsize>(image.code.size()));
    return path;
}

// The kernel's SASS opcodes and resource usage in one architecture's machine code.
KernelCode CodeOf(const Image& image, const std::string& kernel) {
    KernelCode code;
    const std::string cubin = CubinFile(image);
    const std::string cuobjdump = CuobjdumpFor(image.capability);
    for (const std::string& line : CuobjdumpLines(cuobjdump, "-sass -fun " + kernel, cubin)) {
        EXPECT_EQ(line.find("fatal"), std::string::npos) << line << " (cuobjdump needs nvdisasm beside it)";
        std::string opcode = Opcode(line);
        // "HFMA2 R0, -RZ, RZ, 0, c" is how the compiler loads a constant: -0 x 0 + c, no arithmetic.
        if (opcode == "HFMA2" && line.find("-RZ, RZ,") != std::string::npos) opcode = "constant load";
        if (!opcode.empty()) ++code.opcodes[opcode];
    }
    for (const std::string& line : CuobjdumpLines(cuobjdump, "-res-usage -fun " + kernel, cubin)) {
        if (line.find("REG:") == std::string::npos) continue;
        std::istringstream fields(line);
        for (std::string field; fields >> field;) {
            const auto colon = field.find(':');
            if (colon != std::string::npos) code.resources[field.substr(0, colon)] = std::stoul(field.substr(colon + 1));
        }
    }
    return code;
}

// NVIDIA's own reading of the library: cuobjdump finds the fatbin and lists one cubin per
// architecture and the PTX.
TEST(CudaDeviceCode, CuobjdumpListsEveryArchitecture) {
    ASSERT_STRNE(FRAMEDEC_CUOBJDUMP, "") << "cuobjdump was not found when CMake ran (tests/run-all.sh fetches it)";
    std::set<unsigned> listed, listedPtx;
    for (const std::string& line : CuobjdumpLines(FRAMEDEC_CUOBJDUMP, "--list-elf --list-ptx", FRAMEDEC_SHARED_LIBRARY)) {
        const auto at = line.find(".sm_");
        if (at == std::string::npos) continue;
        const unsigned capability = static_cast<unsigned>(std::stoul(line.substr(at + 4)));
        (line.rfind("ELF file", 0) == 0 ? listed : listedPtx).insert(capability);
    }
    EXPECT_EQ(listed, Capabilities(FRAMEDEC_MACHINE_CODE_ARCHITECTURES));
    EXPECT_EQ(listedPtx, Capabilities(FRAMEDEC_PTX_ARCHITECTURES));
}

// The host backend predicts the GPU's pixels only if the device rounds every product before
// adding it, as the host build does: no fused multiply-add of any width. And the two kernels keep
// every value in registers: no stack frame, no local memory, no spill loads or stores.
TEST(CudaDeviceCode, LaunchedKernelsRoundEveryProductAndUseNoLocalMemory) {
    for (const char* tool : {FRAMEDEC_CUOBJDUMP, FRAMEDEC_CUOBJDUMP_LEGACY}) {
        ASSERT_STRNE(tool, "")
            << "cuobjdump was not found when CMake ran, so the device code cannot be checked. Install CUDA "
               "13's (pip install --target build/cuda-binary-tools nvidia-cuda-cuobjdump nvidia-cuda-nvdisasm) "
               "and CUDA 11.8's (build/cuda-binary-tools-11.8/usr/bin, from Debian's non-free "
               "nvidia-cuda-toolkit) as tests/run-all.sh does, and run CMake again.";
    }
    const std::set<std::string> fused = {"FFMA", "FFMA2", "FFMA32I", "HFMA2", "HFMA2MMA", "DFMA"};
    const std::set<std::string> localMemory = {"LDL", "STL"};
    ASSERT_FALSE(LibraryFatbin().machineCode.empty());
    for (const Image& image : LibraryFatbin().machineCode) {
        const std::string arch = "sm_" + std::to_string(image.capability);
        for (const char* kernel : {kHuffman, kInverseDctLlm}) {
            const KernelCode c = CodeOf(image, kernel);
            const auto count = [&](const std::string& op) { return c.opcodes.count(op) ? c.opcodes.at(op) : 0u; };
            // Maxwell and Pascal multiply by a constant with FMUL32I.
            const unsigned products = count("FMUL") + count("FMUL32I");
            const unsigned sums = count("FADD") + count("FADD32I");
            std::printf("%s %s: %u registers, %u products, %u sums\n", kernel, arch.c_str(),
                        c.resources.count("REG") ? c.resources.at("REG") : 0u, products, sums);
            EXPECT_FALSE(c.opcodes.empty()) << "no SASS for " << kernel << " " << arch;
            for (const std::string& op : fused) EXPECT_EQ(count(op), 0u) << op << " in " << kernel << " " << arch;
            if (kernel == kInverseDctLlm) {
                // One instruction per operation of the source, none folded or fused: 64 dequantising
                // products and 16 transforms of 28 products; 16 x 28 sums or differences and 64 level
                // shifts.
                EXPECT_EQ(products, 64u + 16u * 28u) << arch;
                EXPECT_EQ(sums, 16u * 28u + 64u) << arch;
            }
            for (const std::string& op : localMemory) EXPECT_EQ(count(op), 0u) << op << " in " << kernel << " " << arch;
            for (const char* resource : {"STACK", "LOCAL"}) {
                ASSERT_TRUE(c.resources.count(resource)) << resource << " of " << kernel << " " << arch;
                EXPECT_EQ(c.resources.at(resource), 0u) << resource << " of " << kernel << " " << arch;
            }
        }
    }
}

}  // namespace
