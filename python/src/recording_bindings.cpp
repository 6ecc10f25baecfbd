// The recording core of the command-line tool, used as it is: how a file splits into frames,
// frames read with checked reads (a file that became shorter is an error, never a signal), the
// two-byte sequence number scan, and where numbers were dropped or came again.
#include <nanobind/stl/string.h>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "bindings.h"
#include "recording/recording.h"

namespace framedec::python {
namespace {

// One open recording. Reads take a lock (the reader keeps one file position) and run without the GIL.
class RecordingFile {
public:
    // Opens, or opens again to take in the file's current length, with the tool's rules on the
    // frame height (0: find it; check: refuse one at which the sequence numbers do not run):
    // (the problem's number, 0 for none; its message naming the Python arguments).
    nb::tuple Open(const std::string& path, uint32_t frameLines, bool check) {
        tools::OpenOptions options;
        options.height = frameLines;
        options.check = check;
        options.names = {"height", "=", "check=False"};
        std::string error;
        tools::RecordingProblem problem;
        {
            nb::gil_scoped_release release;
            std::lock_guard lock(mutex_);
            problem = reader_.Open(path, options, error);
        }
        return nb::make_tuple(static_cast<int>(problem), error);
    }

    // (frame height, bytes per frame, whole frames, trailing bytes) when opened.
    nb::tuple Layout() {
        std::lock_guard lock(mutex_);
        const tools::RecordingLayout& layout = reader_.layout();
        return nb::make_tuple(reader_.height(), layout.frameBytes, layout.frames, layout.trailingBytes);
    }

    // (error or "", count frames from first as one row each).
    nb::tuple Read(uint64_t first, uint64_t count) {
        std::vector<uint8_t> bytes;
        std::string error;
        uint64_t frameBytes = 0;
        {
            nb::gil_scoped_release release;
            std::lock_guard lock(mutex_);
            frameBytes = reader_.layout().frameBytes;
            reader_.Read(first, count, bytes, error);
        }
        if (!error.empty()) return nb::make_tuple(error, nb::none());
        auto* owned = new std::vector<uint8_t>(std::move(bytes));
        nb::capsule owner(owned, [](void* p) noexcept { delete static_cast<std::vector<uint8_t>*>(p); });
        const std::size_t shape[2] = {static_cast<std::size_t>(count), static_cast<std::size_t>(frameBytes)};
        return nb::make_tuple(error, nb::ndarray<nb::numpy, uint8_t, nb::ndim<2>>(owned->data(), 2, shape, owner));
    }

    // (error or "", the sequence number of count frames from first), reading two bytes a frame.
    nb::tuple SequenceNumbers(uint64_t first, uint64_t count) {
        std::vector<uint16_t> numbers;
        std::string error;
        {
            nb::gil_scoped_release release;
            std::lock_guard lock(mutex_);
            reader_.ReadSequenceNumbers(first, count, numbers, error);
        }
        if (!error.empty()) return nb::make_tuple(error, nb::none());
        return nb::make_tuple(error, ToNumpy(std::move(numbers)));
    }

private:
    std::mutex mutex_;
    tools::RecordingReader reader_;
};

// Follows the sequence numbers: ([(index, count)] of the dropped runs, [index] of repeated frames).
nb::tuple TrackSequence(nb::ndarray<const uint16_t, nb::ndim<1>, nb::c_contig, nb::device::cpu> numbers) {
    tools::SequenceTracker tracker;
    {
        nb::gil_scoped_release release;
        tracker = tools::TrackSequence(std::span(numbers.data(), numbers.shape(0)));
    }
    nb::list dropped, repeated;
    for (const tools::DroppedRun& run : tracker.dropped()) dropped.append(nb::make_tuple(run.index, run.count));
    for (uint64_t index : tracker.repeated()) repeated.append(index);
    return nb::make_tuple(dropped, repeated);
}

}  // namespace

void BindRecording(nb::module_& m) {
    nb::class_<RecordingFile>(m, "RecordingFile", "A recording read with checked reads (the tool's reader).")
        .def(nb::init<>())
        .def("open", &RecordingFile::Open, nb::arg("path"), nb::arg("frame_lines"), nb::arg("check"),
             "Opens (again) with the tool's height rules (frame_lines 0: find it): (problem, message).")
        .def("layout", &RecordingFile::Layout,
             "(frame height, bytes per frame, whole frames, trailing bytes) when opened.")
        .def("read", &RecordingFile::Read, nb::arg("first"), nb::arg("count"),
             "(error or \"\", count frames from first, one per row).")
        .def("sequence_numbers", &RecordingFile::SequenceNumbers, nb::arg("first"), nb::arg("count"),
             "(error or \"\", the frames' sequence numbers), two bytes read per frame.");
    m.attr("RECORDING_CANNOT_READ") = static_cast<int>(tools::RecordingProblem::CannotRead);
    m.def("track_sequence", &TrackSequence, nb::arg("numbers"),
          "([(index, count)] of dropped runs, [index] of repeated frames), counting modulo 65536.");
}

}  // namespace framedec::python
