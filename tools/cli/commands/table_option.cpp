#include "commands/table_option.h"

#include "commands/exit_status.h"
#include "synth/quant_table_file.h"

namespace framedec::cli {

int ChooseTable(const Arguments& parsed, TableChoice& choice, std::string& error) {
    if (parsed.Has("--table") && parsed.Has("--quality")) {
        error = "--table and --quality both given ('" + parsed.Value("--table") + "', '" + parsed.Value("--quality") +
                "'): choose one";
        return kExitUsage;
    }
    if (parsed.Has("--quality")) {
        uint32_t quality = 0;
        if (!UnsignedOption(parsed, "--quality", 1, 100, quality, error)) return kExitUsage;
        choice.table = tools::TableForQuality(static_cast<int>(quality));
        choice.description = "quality " + std::to_string(quality);
    } else if (parsed.Has("--table")) {
        if (!tools::ReadTableFile(parsed.Value("--table"), choice.table, error)) return kExitFailure;
        choice.description = "table file '" + parsed.Value("--table") + "'";
    }
    return kExitSuccess;
}

}  // namespace framedec::cli
