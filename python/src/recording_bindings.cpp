// The recording core of the command-line tool, used as it is: how a file splits into frames,
// frames read with checked reads (a file that became shorter is an error, never a signal), the
// two-byte sequence number scan, and where numbers were dropped or came again.
#include <nanobind/stl/string.h>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "bindings.h"
#include "released_gil.h"
#include "recording/recording.h"

namespace framedec::python {
namespace {

// Messages name the file by its bytes, which need not be UTF-8: they go to Python as bytes.
nb::bytes Bytes(const std::string& text) { return nb::bytes(text.data(), text.size()); }

// A numpy array of frames, one per row, that owns the storage.
nb::ndarray<nb::numpy, uint8_t, nb::ndim<2>> FrameRows(std::vector<uint8_t>&& bytes, std::size_t count,
                                                       std::size_t frameBytes) {
    auto* owned = new std::vector<uint8_t>(std::move(bytes));
    nb::capsule owner(owned, [](void* p) noexcept { delete static_cast<std::vector<uint8_t>*>(p); });
    const std::size_t shape[2] = {count, frameBytes};
    return nb::ndarray<nb::numpy, uint8_t, nb::ndim<2>>(owned->data(), 2, shape, owner);
}

// One open recording. Reads take a lock (Open replaces the file) and run without the GIL.
class RecordingFile {
public:
    // Opens, or opens again to take in the file's current length, with the tool's rules on the
    // frame height (0: find it; check: refuse one at which the sequence numbers do not run):
    // (the problem's number, 0 for none; its message naming the Python arguments). The path is
    // the file system's bytes, as os.fsencode gives them.
    nb::tuple Open(nb::bytes path, uint32_t frameLines, bool check) {
        tools::OpenOptions options;
        options.height = frameLines;
        options.check = check;
        options.names = {"height", "=", "check=False"};
        const std::string name(path.c_str(), path.size());
        std::string error;
        tools::RecordingProblem problem;
        {
            ReleasedGil released;
            std::lock_guard lock(mutex_);
            problem = reader_.Open(name, options, error);
        }
        return nb::make_tuple(static_cast<int>(problem), Bytes(error));
    }

    // (frame height, bytes per frame, whole frames, trailing bytes) when opened.
    nb::tuple Layout() {
        std::lock_guard lock(mutex_);
        const tools::RecordingLayout& layout = reader_.layout();
        return nb::make_tuple(reader_.height(), layout.frameBytes, layout.frames, layout.trailingBytes);
    }

    // (error or b"", the frames at these indices as one row each), each run of consecutive
    // indices read at once.
    nb::tuple ReadEach(nb::ndarray<const uint64_t, nb::ndim<1>, nb::c_contig, nb::device::cpu> indices) {
        const std::size_t count = indices.shape(0);
        std::vector<uint8_t> bytes;
        std::string error;
        uint64_t frameBytes = 0;
        {
            ReleasedGil released;
            std::lock_guard lock(mutex_);
            frameBytes = reader_.layout().frameBytes;
            bytes.resize(count * frameBytes);
            const uint64_t* index = indices.data();
            for (std::size_t i = 0, run = 1; i < count && error.empty(); i += run) {
                for (run = 1; i + run < count && index[i + run] == index[i] + run;) ++run;
                reader_.ReadInto(index[i], run, bytes.data() + i * frameBytes, error);
            }
        }
        if (!error.empty()) return nb::make_tuple(Bytes(error), nb::none());
        return nb::make_tuple(Bytes(error), FrameRows(std::move(bytes), count, frameBytes));
    }

    // (error or b"", the sequence number of count frames from first), reading two bytes a frame.
    nb::tuple SequenceNumbers(uint64_t first, uint64_t count) {
        std::vector<uint16_t> numbers;
        std::string error;
        {
            ReleasedGil released;
            std::lock_guard lock(mutex_);
            reader_.ReadSequenceNumbers(first, count, numbers, error);
        }
        if (!error.empty()) return nb::make_tuple(Bytes(error), nb::none());
        return nb::make_tuple(Bytes(error), ToNumpy(std::move(numbers)));
    }

private:
    std::mutex mutex_;
    tools::RecordingReader reader_;
};

// Follows the sequence numbers: ([(index, count)] of the dropped runs, [index] of repeated frames).
nb::tuple TrackSequence(nb::ndarray<const uint16_t, nb::ndim<1>, nb::c_contig, nb::device::cpu> numbers) {
    tools::SequenceTracker tracker;
    {
        ReleasedGil released;
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
        .def("read_each", &RecordingFile::ReadEach, nb::arg("indices"),
             "(error or b\"\", the frames at these uint64 indices, one per row).")
        .def("sequence_numbers", &RecordingFile::SequenceNumbers, nb::arg("first"), nb::arg("count"),
             "(error or b\"\", the frames' sequence numbers), two bytes read per frame.");
    m.attr("RECORDING_CANNOT_READ") = static_cast<int>(tools::RecordingProblem::CannotRead);
    m.attr("RECORDING_NO_WHOLE_FRAME") = static_cast<int>(tools::RecordingProblem::NoWholeFrame);
    m.def("track_sequence", &TrackSequence, nb::arg("numbers"),
          "([(index, count)] of dropped runs, [index] of repeated frames), counting modulo 65536.");
}

}  // namespace framedec::python
