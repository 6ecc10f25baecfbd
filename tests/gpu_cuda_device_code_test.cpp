// The cuda backend's library carries the device code: each kernel module as machine code for every
// architecture of the build and as PTX, with all four kernels; and the SASS of the two launched
// kernels rounds every product before adding it and keeps every value in registers.
//
// The device code sits in the library's .nv_fatbin section as fat-binary containers (magic
// 0xBA55ED50, 16-byte header ending in the container's size), each a list of entries whose header
// starts with the kind (1 PTX, 2 machine code), its header size and payload size, and holds the
// compute capability at byte 28.
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

namespace {

constexpr const char* kHuffman = "_ZN8framedec3gpu7huffmanEPhPf4int2";
constexpr const char* kInverseDctLlm = "_ZN8framedec3gpu16inverseDCT_2DLLMEPfPh4int2S3_i";

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

struct Module {
    std::set<unsigned> machineCode;  // compute capabilities, e.g. 75 for 7.5
    std::set<unsigned> ptx;
};

TEST(CudaDeviceCode, EveryModuleHasMachineCodeForEveryArchitectureAndPtx) {
    const auto fatbin = Section(ReadFile(FRAMEDEC_SHARED_LIBRARY), ".nv_fatbin");
    ASSERT_FALSE(fatbin.empty()) << "no device code in " << FRAMEDEC_SHARED_LIBRARY;

    std::vector<Module> modules;
    for (std::size_t offset = 0; offset + 16 <= fatbin.size();) {
        ASSERT_EQ(At<uint32_t>(fatbin, offset), 0xBA55ED50u) << "container at " << offset;
        const auto headerSize = At<uint16_t>(fatbin, offset + 6);
        const auto size = At<uint64_t>(fatbin, offset + 8);
        Module module;
        for (std::size_t entry = offset + headerSize; entry < offset + headerSize + size;) {
            const auto kind = At<uint16_t>(fatbin, entry);
            const auto capability = At<uint32_t>(fatbin, entry + 28);
            (kind == 1 ? module.ptx : module.machineCode).insert(capability);
            entry += At<uint32_t>(fatbin, entry + 4) + At<uint64_t>(fatbin, entry + 8);
        }
        modules.push_back(module);
        offset += headerSize + size;
    }

    ASSERT_EQ(modules.size(), 2u);  // huffman.cu and idct.cu
    const auto machineCode = Capabilities(FRAMEDEC_MACHINE_CODE_ARCHITECTURES);
    const auto ptx = Capabilities(FRAMEDEC_PTX_ARCHITECTURES);
    for (const Module& m : modules) {
        EXPECT_FALSE(m.machineCode.empty() && m.ptx.empty());
        // Empty for a named set such as "all": then the build chose, not this list.
        if (!machineCode.empty() || !ptx.empty()) {
            EXPECT_EQ(m.machineCode, machineCode);
            EXPECT_EQ(m.ptx, ptx);
        }
    }
    const std::string text(fatbin.begin(), fatbin.end());
    for (const char* kernel : {kHuffman, kInverseDctLlm, "_ZN8framedec3gpu19inverseDCT_2DXYCONVEPfPh4int2S3_",
                               "_ZN8framedec3gpu17inverseDCT_2DCONVEPfPh4int2S3_"}) {
        EXPECT_NE(text.find(kernel), std::string::npos) << kernel;
    }
}

// What cuobjdump prints, line by line.
std::vector<std::string> CuobjdumpLines(const std::string& options) {
    const std::string command =
        std::string("'") + FRAMEDEC_CUOBJDUMP + "' " + options + " '" + FRAMEDEC_SHARED_LIBRARY + "' 2>&1";
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

// The opcode of a SASS line ("/*0040*/  @!P0 FFMA.FTZ R1, ... ;"), or "" for other lines.
std::string Opcode(const std::string& line) {
    const auto address = line.find("*/");
    if (line.find("/*") == std::string::npos || address == std::string::npos || line.find("/*") > address)
        return "";
    std::istringstream words(line.substr(address + 2));
    std::string word;
    words >> word;
    if (!word.empty() && word[0] == '@') words >> word;  // a predicate
    return word.substr(0, word.find('.'));
}

// Per architecture (sm_75 ...): the kernel's SASS opcodes and resource usage.
std::map<std::string, KernelCode> CodeOf(const std::string& kernel) {
    std::map<std::string, KernelCode> code;
    std::string arch;
    for (const std::string& line : CuobjdumpLines("-sass -fun " + kernel)) {
        if (const auto at = line.find("code for sm_"); at != std::string::npos) arch = line.substr(at + 9);
        std::string opcode = Opcode(line);
        // "HFMA2 R0, -RZ, RZ, 0, c" is how the compiler loads a constant: -0 x 0 + c, no arithmetic.
        if (opcode == "HFMA2" && line.find("-RZ, RZ,") != std::string::npos) opcode = "constant load";
        if (!arch.empty() && !opcode.empty()) ++code[arch].opcodes[opcode];
    }
    for (const std::string& line : CuobjdumpLines("-res-usage -fun " + kernel)) {
        if (const auto at = line.find("arch = "); at != std::string::npos) arch = line.substr(at + 7);
        if (line.find("REG:") == std::string::npos) continue;
        std::istringstream fields(line);
        for (std::string field; fields >> field;) {
            const auto colon = field.find(':');
            if (colon != std::string::npos) code[arch].resources[field.substr(0, colon)] = std::stoul(field.substr(colon + 1));
        }
    }
    return code;
}

// The host backend predicts the GPU's pixels only if the device rounds every product before
// adding it, as the host build does: no fused multiply-add of any width. And the two kernels keep
// every value in registers: no stack frame, no local memory, no spill loads or stores.
TEST(CudaDeviceCode, LaunchedKernelsRoundEveryProductAndUseNoLocalMemory) {
    ASSERT_STRNE(FRAMEDEC_CUOBJDUMP, "")
        << "cuobjdump was not found when CMake ran, so the device code cannot be checked. Install it "
           "(pip install --target build/cuda-binary-tools nvidia-cuda-cuobjdump nvidia-cuda-nvdisasm, as "
           ".ci/run does, or put a CUDA toolkit's cuobjdump and nvdisasm on PATH) and run CMake again.";
    const std::set<std::string> fused = {"FFMA", "FFMA2", "FFMA32I", "HFMA2", "HFMA2MMA", "DFMA"};
    const std::set<std::string> localMemory = {"LDL", "STL"};
    for (const std::string& line : CuobjdumpLines("-sass -fun " + std::string(kHuffman)))
        ASSERT_EQ(line.find("fatal"), std::string::npos) << line << " (cuobjdump needs nvdisasm beside it)";
    for (const char* kernel : {kHuffman, kInverseDctLlm}) {
        const auto code = CodeOf(kernel);
        ASSERT_FALSE(code.empty()) << "no SASS for " << kernel << " in " << FRAMEDEC_SHARED_LIBRARY;
        for (const auto& [arch, c] : code) {
            const auto count = [&](const std::string& op) { return c.opcodes.count(op) ? c.opcodes.at(op) : 0u; };
            std::printf("%s %s: %u registers, %u FMUL, %u FADD\n", kernel, arch.c_str(),
                        c.resources.count("REG") ? c.resources.at("REG") : 0u, count("FMUL"), count("FADD"));
            EXPECT_FALSE(c.opcodes.empty()) << kernel << " " << arch;
            for (const std::string& op : fused) EXPECT_EQ(count(op), 0u) << op << " in " << kernel << " " << arch;
            if (kernel == kInverseDctLlm) {
                // One instruction per operation of the source, none folded or fused: 64 dequantising
                // products and 16 transforms of 28 products; 16 x 28 sums or differences and 64 level
                // shifts.
                EXPECT_EQ(count("FMUL"), 64u + 16u * 28u) << arch;
                EXPECT_EQ(count("FADD"), 16u * 28u + 64u) << arch;
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
