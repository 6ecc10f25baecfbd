// Windows: the arguments arrive in UTF-16 (wmain; the narrow argv would hold them in the ANSI code
// page, where most names have no spelling) and go on in UTF-8, which the console is switched to
// for the tool's own output.
#include <windows.h>

#include <cstdlib>
#include <exception>

#include "platform/entry_point.h"
#include "commands/exit_status.h"
#include "synth/file_path.h"

namespace {

UINT consoleOutputCodePage = 0;

void RestoreConsoleOutputCodePage() { SetConsoleOutputCP(consoleOutputCodePage); }

}  // namespace

int wmain(int argc, wchar_t** argv) {
    using namespace framedec::cli;
    // The console (if any) is shared with the shell that started the tool: its code page is put
    // back at exit.
    consoleOutputCodePage = GetConsoleOutputCP();
    if (consoleOutputCodePage != 0 && SetConsoleOutputCP(CP_UTF8)) std::atexit(RestoreConsoleOutputCodePage);
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        try {
            arguments.push_back(framedec::tools::Utf8FromPath(argv[i]));
        } catch (const std::exception&) {  // a lone UTF-16 surrogate
            return Fail("", kExitUsage, "argument " + std::to_string(i) + " is not valid Unicode text");
        }
    }
    return RunTool(arguments);
}
