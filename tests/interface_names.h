// The names the shared library exports: eleven functions and one data word, nothing else.
#pragma once

#include <set>
#include <string>

namespace framedec::testing {

inline const std::set<std::string> kExportedFunctions = {
    "DecodeData",        "DecodeDataMultiThread", "DecodeDCTData",  "DecodeDCData",
    "ExtractSequenceNo", "GetAvailableGPUProcess", "SetupGPUDecode", "DecodeGPU",
    "TeardownGPUDecode", "IsSetupGPUDecode",      "GetGPULastError",
};
inline const std::string kExportedDataWord = "NvOptimusEnablementCuda";

inline std::set<std::string> ExportedNames() {
    std::set<std::string> names = kExportedFunctions;
    names.insert(kExportedDataWord);
    return names;
}

}  // namespace framedec::testing
