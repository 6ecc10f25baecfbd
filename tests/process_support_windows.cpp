#include "process_support.h"

#include <windows.h>
#include <io.h>
#include <tlhelp32.h>

#include <cstring>
#include <random>
#include <thread>

#include "synth/file_path.h"

namespace framedec::testing {
namespace {

std::wstring Wide(const std::string& text) { return tools::PathFromUtf8(text).wstring(); }

// One argument as the C runtime's command-line parser reads it back: quoted, with backslashes
// doubled where they precede a quote.
std::wstring Quoted(const std::wstring& argument) {
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(2 * backslashes, L'\\');
    quoted.push_back(L'"');
    return quoted;
}

HANDLE InheritableFile(const std::filesystem::path& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreateFileW(path.wstring().c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Starts the program with its standard streams on the two files; false (GetLastError set) when it
// or one of its files cannot be.
bool StartProgram(std::wstring& commandLine, const std::filesystem::path& workingDirectory,
                  const std::filesystem::path& outPath, const std::filesystem::path& errPath,
                  PROCESS_INFORMATION& process) {
    const HANDLE input = InheritableFile(L"NUL", GENERIC_READ, OPEN_EXISTING);
    const HANDLE out = InheritableFile(outPath, GENERIC_WRITE, CREATE_ALWAYS);
    const HANDLE err = InheritableFile(errPath, GENERIC_WRITE, CREATE_ALWAYS);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = out;
    startup.hStdError = err;
    const std::wstring directory = workingDirectory.wstring();
    const bool started = input != INVALID_HANDLE_VALUE && out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE &&
                         CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        directory.empty() ? nullptr : directory.c_str(), &startup, &process);
    const DWORD error = GetLastError();
    for (HANDLE h : {input, out, err}) {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    SetLastError(error);
    return started;
}

}  // namespace

ProgramRun RunProgram(const std::vector<std::string>& command, const std::filesystem::path& workingDirectory,
                      const std::filesystem::path& outPath, const std::filesystem::path& errPath,
                      std::chrono::seconds timeout, uint64_t fileSizeLimit) {
    ProgramRun run;
    if (fileSizeLimit > 0) return run;  // see CanLimitFileSize
    std::wstring commandLine;
    for (const std::string& argument : command) {
        if (!commandLine.empty()) commandLine += L' ';
        commandLine += Quoted(Wide(argument));
    }

    // Under Wine a start occasionally fails for a moment (the files of the run before still held,
    // the server busy): try again a few times before calling it a failure.
    PROCESS_INFORMATION process{};
    for (int attempt = 0;; ++attempt) {
        if (StartProgram(commandLine, workingDirectory, outPath, errPath, process)) break;
        const DWORD error = GetLastError();
        if (attempt == 4) {
            run.startError = "cannot start " + command.front() + ": Windows error " + std::to_string(error);
            return run;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50 << attempt));
    }

    const DWORD limit = static_cast<DWORD>(std::chrono::milliseconds(timeout).count());
    if (WaitForSingleObject(process.hProcess, limit) == WAIT_OBJECT_0) {
        DWORD code = 0;
        if (GetExitCodeProcess(process.hProcess, &code)) run.exitCode = static_cast<int>(code);
    } else {
        TerminateProcess(process.hProcess, 124);
        WaitForSingleObject(process.hProcess, INFINITE);
        run.timedOut = true;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return run;
}

// Windows has no limit on the size of the files a process writes.
bool CanLimitFileSize() { return false; }

long ThreadCount() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    const DWORD self = GetCurrentProcessId();
    long count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == self) ++count;
    }
    CloseHandle(snapshot);
    return count;
}

uint64_t CurrentProcessId() { return GetCurrentProcessId(); }

std::filesystem::path MakeTemporaryDirectory(const std::string& prefix) {
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path candidate =
            std::filesystem::temp_directory_path() / (prefix + std::to_string(random() % 1000000000));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) return candidate;
    }
    return {};
}

void WriteUnbuffered(const char* text) {
    if (_write(1, text, static_cast<unsigned>(std::strlen(text))) < 0) _exit(3);
}

void EndProcessAfter(std::chrono::seconds limit) {
    std::thread([limit] {
        std::this_thread::sleep_for(limit);
        TerminateProcess(GetCurrentProcess(), 124);
    }).detach();
}

// Shared for reading and writing but not for deletion, as programs open files by default: the file
// can be neither deleted nor replaced meanwhile.
FileHold::FileHold(const std::filesystem::path& path)
    : handle_(reinterpret_cast<intptr_t>(CreateFileW(path.wstring().c_str(), GENERIC_READ,
                                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                                     FILE_ATTRIBUTE_NORMAL, nullptr))) {}

FileHold::~FileHold() {
    if (Held()) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool FileHold::Held() const { return reinterpret_cast<HANDLE>(handle_) != INVALID_HANDLE_VALUE; }

SharedLibrary::SharedLibrary(const std::string& path) : handle_(LoadLibraryW(Wide(path).c_str())) {
    if (handle_ == nullptr) error_ = "LoadLibrary failed with error " + std::to_string(GetLastError());
}

SharedLibrary::~SharedLibrary() { Unload(); }

void* SharedLibrary::Symbol(const char* name) const {
    return handle_ ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name)) : nullptr;
}

bool SharedLibrary::Unload() {
    if (handle_ == nullptr) return false;
    const bool unloaded = FreeLibrary(static_cast<HMODULE>(handle_)) != 0;
    handle_ = nullptr;
    return unloaded;
}

bool SharedLibrary::IsMapped(const std::string& path) { return GetModuleHandleW(Wide(path).c_str()) != nullptr; }

}  // namespace framedec::testing
