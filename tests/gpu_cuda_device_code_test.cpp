// The cuda backend's library carries the device code: each kernel module as machine code for every
// architecture of the build and as PTX for the oldest, with all four kernels.
//
// The device code sits in the library's .nv_fatbin section as fat-binary containers (magic
// 0xBA55ED50, 16-byte header ending in the container's size), each a list of entries whose header
// starts with the kind (1 PTX, 2 machine code), its header size and payload size, and holds the
// compute capability at byte 28.
#include <elf.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

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
    for (const Module& m : modules) {
        EXPECT_EQ(m.machineCode, (std::set<unsigned>{75, 86, 89, 90, 120}));
        EXPECT_EQ(m.ptx, (std::set<unsigned>{75}));
    }
    const std::string text(fatbin.begin(), fatbin.end());
    for (const char* kernel : {"_ZN8framedec3gpu7huffmanEPhPf4int2", "_ZN8framedec3gpu16inverseDCT_2DLLMEPfPh4int2S3_i",
                               "_ZN8framedec3gpu19inverseDCT_2DXYCONVEPfPh4int2S3_",
                               "_ZN8framedec3gpu17inverseDCT_2DCONVEPfPh4int2S3_"}) {
        EXPECT_NE(text.find(kernel), std::string::npos) << kernel;
    }
}

}  // namespace
