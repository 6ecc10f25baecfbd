// The GIL released around the library's work, in a way that the interpreter's exit cannot turn
// into an abort.
//
// While CPython finalises, every other thread that tries to take the GIL back is ended with
// pthread_exit. Its forced unwind cannot pass the binding's frames (a destructor is noexcept, and
// nanobind's dispatcher catches everything), so it ends in std::terminate: a daemon thread inside
// a decode would abort the exiting process. An exit handler, which runs before finalisation
// begins, therefore waits until every call that released the GIL has taken it back; calls that
// start after it keep the GIL, so none is left to take it back later.
#pragma once

#include <Python.h>

namespace framedec::python {

class ReleasedGil {
public:
    ReleasedGil();   // releases the GIL, unless the interpreter is exiting
    ~ReleasedGil();  // takes it back
    ReleasedGil(const ReleasedGil&) = delete;
    ReleasedGil& operator=(const ReleasedGil&) = delete;

private:
    PyThreadState* thread_ = nullptr;
};

// Registers the exit handler (atexit) and what a child process forgets after fork.
void PrepareReleasedGilForExit();
// In a child after fork: the parent's calls in flight are not this process's.
void ForgetReleasedGilAfterFork();

}  // namespace framedec::python
