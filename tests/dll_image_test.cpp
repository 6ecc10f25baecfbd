// framedec.dll as Windows loads it, read from its PE headers: the export table holds exactly the
// library's interface under plain names, the data word lies in a data section and the functions
// in code, and the DLL imports only kernel32, advapi32 and msvcrt (no MinGW runtime beside it).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <string>

#include "interface_names.h"
#include "process_support.h"

namespace framedec::testing {
namespace {

class DllImage : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(library_.Loaded()) << library_.Error();
        base_ = reinterpret_cast<const uint8_t*>(library_.Symbol("DecodeData"));  // any address inside
        HMODULE module = nullptr;
        const DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
        ASSERT_TRUE(GetModuleHandleExW(flags, reinterpret_cast<LPCWSTR>(base_), &module));
        base_ = reinterpret_cast<const uint8_t*>(module);
        const auto* dos = At<IMAGE_DOS_HEADER>(0);
        ASSERT_EQ(dos->e_magic, IMAGE_DOS_SIGNATURE);
        nt_ = At<IMAGE_NT_HEADERS64>(static_cast<DWORD>(dos->e_lfanew));
        ASSERT_EQ(nt_->Signature, IMAGE_NT_SIGNATURE);
    }

    template <class T>
    const T* At(DWORD rva) const {
        return reinterpret_cast<const T*>(base_ + rva);
    }

    const IMAGE_DATA_DIRECTORY& Directory(int entry) const { return nt_->OptionalHeader.DataDirectory[entry]; }

    // Export name -> address (relative to the image base).
    std::map<std::string, DWORD> Exports() const {
        std::map<std::string, DWORD> exports;
        const auto* directory = At<IMAGE_EXPORT_DIRECTORY>(Directory(IMAGE_DIRECTORY_ENTRY_EXPORT).VirtualAddress);
        const auto* names = At<DWORD>(directory->AddressOfNames);
        const auto* ordinals = At<WORD>(directory->AddressOfNameOrdinals);
        const auto* functions = At<DWORD>(directory->AddressOfFunctions);
        for (DWORD i = 0; i < directory->NumberOfNames; ++i) exports[At<char>(names[i])] = functions[ordinals[i]];
        return exports;
    }

    // Whether the section holding rva may be executed.
    bool InCode(DWORD rva) const {
        const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt_);
        for (WORD i = 0; i < nt_->FileHeader.NumberOfSections; ++i, ++section) {
            if (rva >= section->VirtualAddress && rva < section->VirtualAddress + section->Misc.VirtualSize)
                return (section->Characteristics & IMAGE_SCN_MEM_EXECUTE) != 0;
        }
        ADD_FAILURE() << "address " << rva << " lies in no section";
        return false;
    }

    // The DLLs it imports from, in lower case.
    std::set<std::string> Imports() const {
        std::set<std::string> dlls;
        for (const auto* entry = At<IMAGE_IMPORT_DESCRIPTOR>(Directory(IMAGE_DIRECTORY_ENTRY_IMPORT).VirtualAddress);
             entry->Name != 0; ++entry) {
            std::string name = At<char>(entry->Name);
            std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
            dlls.insert(name);
        }
        return dlls;
    }

    SharedLibrary library_{FRAMEDEC_SHARED_LIBRARY};
    const uint8_t* base_ = nullptr;
    const IMAGE_NT_HEADERS64* nt_ = nullptr;
};

TEST_F(DllImage, ExportsExactlyTheInterfaceWithTheDataWordAsData) {
    const std::map<std::string, DWORD> exports = Exports();
    std::set<std::string> names;
    for (const auto& [name, rva] : exports) {
        names.insert(name);
        EXPECT_EQ(InCode(rva), name != kExportedDataWord) << name;
    }
    EXPECT_EQ(names, ExportedNames());
    const auto* word = library_.Lookup<const int32_t>(kExportedDataWord.c_str());
    ASSERT_NE(word, nullptr);
    EXPECT_EQ(*word, 1);
}

// Windows system DLLs only, and no COM or RPC runtime: task identifiers come from RtlGenRandom.
TEST_F(DllImage, ImportsOnlyKernel32Advapi32AndMsvcrt) {
    EXPECT_EQ(Imports(), (std::set<std::string>{"advapi32.dll", "kernel32.dll", "msvcrt.dll"}));
}

}  // namespace
}  // namespace framedec::testing
