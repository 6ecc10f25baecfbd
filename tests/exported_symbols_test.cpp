// The shared library's dynamic symbol table holds exactly the library's interface.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "interface_names.h"

namespace {

std::set<std::string> DefinedDynamicSymbols(const std::string& library) {
    std::set<std::string> names;
    const std::string command = "nm -D --defined-only '" + library + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return names;
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::string s(line);
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
        const auto space = s.rfind(' ');
        if (space == std::string::npos) continue;
        std::string name = s.substr(space + 1);
        if (const auto at = name.find('@'); at != std::string::npos) name.erase(at);  // version tags
        names.insert(name);
    }
    EXPECT_EQ(pclose(pipe), 0) << command;
    return names;
}

TEST(SharedLibrary, ExportsExactlyTheInterface) {
    EXPECT_EQ(DefinedDynamicSymbols(FRAMEDEC_SHARED_LIBRARY), framedec::testing::ExportedNames());
}

}  // namespace
