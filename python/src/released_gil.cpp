#include "released_gil.h"

#include <nanobind/nanobind.h>

#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace framedec::python {
namespace {

// Changed only with the GIL held, so a fork (which holds it) never copies the mutex locked.
struct CallsInFlight {
    std::mutex mutex;
    std::condition_variable allBack;
    std::size_t released = 0;  // calls that released the GIL and have not taken it back
    bool exiting = false;
};

CallsInFlight& Calls() {
    static CallsInFlight* calls = new CallsInFlight;  // never destroyed: used until the process ends
    return *calls;
}

// The exit handler, with the GIL held: marks the exit, then waits without the GIL until the calls
// in flight have taken it back.
void WaitForCallsAtExit() {
    CallsInFlight& calls = Calls();
    {
        std::lock_guard lock(calls.mutex);
        calls.exiting = true;
        if (calls.released == 0) return;
    }
    nanobind::gil_scoped_release release;  // the interpreter is not finalising yet
    std::unique_lock lock(calls.mutex);
    calls.allBack.wait(lock, [&] { return calls.released == 0; });
}

}  // namespace

ReleasedGil::ReleasedGil() {
    CallsInFlight& calls = Calls();
    {
        std::lock_guard lock(calls.mutex);
        if (calls.exiting) return;
        ++calls.released;
    }
    thread_ = PyEval_SaveThread();
}

ReleasedGil::~ReleasedGil() {
    if (thread_ == nullptr) return;
    PyEval_RestoreThread(thread_);
    CallsInFlight& calls = Calls();
    std::lock_guard lock(calls.mutex);
    if (--calls.released == 0) calls.allBack.notify_all();
}

void PrepareReleasedGilForExit() {
    nanobind::module_::import_("atexit").attr("register")(nanobind::cpp_function(&WaitForCallsAtExit));
}

void ForgetReleasedGilAfterFork() {
    CallsInFlight& calls = Calls();
    std::lock_guard lock(calls.mutex);
    calls.released = 0;
}

}  // namespace framedec::python
