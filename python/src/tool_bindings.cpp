// The tools' shared code, used as it is by the command-line tool: the frame synthesiser with its
// tables, and the recording core (how a file splits into frames, sequence gaps).
#include <algorithm>
#include <vector>

#include "bindings.h"
#include "codec/frame_geometry.h"
#include "framedec.h"
#include "recording/recording.h"
#include "synth/frame_synth.h"

namespace framedec::python {
namespace {

template <class T>
using NumpyVector = nb::ndarray<nb::numpy, T, nb::ndim<1>>;

// A numpy array that owns the vector's storage (no copy).
template <class T>
NumpyVector<T> ToNumpy(std::vector<T>&& values) {
    auto* owned = new std::vector<T>(std::move(values));
    nb::capsule owner(owned, [](void* p) noexcept { delete static_cast<std::vector<T>*>(p); });
    return NumpyVector<T>(owned->data(), {owned->size()}, owner);
}

NumpyVector<uint16_t> TableArray(const tools::QuantTable& table) {
    return ToNumpy(std::vector<uint16_t>(table.begin(), table.end()));
}

// A frame from an image of at most 1024 x 1246 pixels (the caller crops), padded as the tool pads.
NumpyVector<uint8_t> Synthesize(nb::ndarray<const uint8_t, nb::ndim<2>, nb::c_contig, nb::device::cpu> image,
                                const TableEntries& table, uint16_t sequenceNo) {
    const std::size_t height = image.shape(0), width = image.shape(1);
    if (height == 0 || width == 0 || height > kMaxImageHeight || width > kMaxImageWidth)
        throw nb::value_error("the image must have 1 to 1024 rows and 1 to 1246 columns");
    tools::GreyImage grey{static_cast<uint32_t>(width), static_cast<uint32_t>(height),
                          std::vector<uint8_t>(image.data(), image.data() + height * width)};
    tools::SynthOptions options;
    std::copy(table.data(), table.data() + options.table.size(), options.table.begin());
    options.sequenceNo = sequenceNo;
    std::vector<uint8_t> frame;
    {
        nb::gil_scoped_release release;
        frame = tools::SynthesizeFrame(grey, options);
    }
    return ToNumpy(std::move(frame));
}

nb::tuple Layout(uint64_t fileBytes, uint32_t frameLines) {
    const tools::RecordingLayout layout = tools::LayoutOfRecording(fileBytes, frameLines);
    return nb::make_tuple(layout.frameBytes, layout.frames, layout.trailingBytes);
}

// The sequence number of every frame of a recording (frames: one frame per row), by ExtractSequenceNo.
NumpyVector<uint16_t> SequenceNumbers(nb::ndarray<const uint8_t, nb::ndim<2>, nb::c_contig, nb::device::cpu> frames,
                                      uint32_t frameLines) {
    if (frameLines == 0 || frames.shape(1) != FrameBytes(frameLines))
        throw nb::value_error("rows are not frames of that height");
    const std::size_t frameBytes = frames.shape(1);
    std::vector<uint16_t> numbers(frames.shape(0));
    bool extracted = true;
    {
        nb::gil_scoped_release release;
        for (std::size_t i = 0; i < numbers.size() && extracted; ++i)
            extracted = ExtractSequenceNo(frames.data() + i * frameBytes, 0, frameLines, &numbers[i]) == FRAMEDEC_OK;
    }
    if (!extracted) throw nb::value_error("rows are not frames of that height");
    return ToNumpy(std::move(numbers));
}

// Follows the sequence numbers: ([(index, count)] of the dropped runs, [index] of repeated frames).
nb::tuple TrackSequence(nb::ndarray<const uint16_t, nb::ndim<1>, nb::c_contig, nb::device::cpu> numbers) {
    tools::SequenceTracker tracker;
    {
        nb::gil_scoped_release release;
        for (std::size_t i = 0; i < numbers.shape(0); ++i) tracker.Add(numbers.data()[i]);
    }
    nb::list dropped, repeated;
    for (const tools::DroppedRun& run : tracker.dropped()) dropped.append(nb::make_tuple(run.index, run.count));
    for (uint64_t index : tracker.repeated()) repeated.append(index);
    return nb::make_tuple(dropped, repeated);
}

}  // namespace

void BindTools(nb::module_& m) {
    m.def("default_table", [] { return TableArray(tools::DefaultTable()); }, "The synthesiser's default table.");
    m.def("quality_table", [](int quality) { return TableArray(tools::TableForQuality(quality)); },
          nb::arg("quality"), "The JPEG-style table of a quality from 1 to 100.");
    m.def("synthesize", &Synthesize, nb::arg("image"), nb::arg("table"), nb::arg("sequence"),
          "A compressed frame from an image, made by the tool's synthesiser.");
    m.def("recording_layout", &Layout, nb::arg("file_bytes"), nb::arg("frame_lines"),
          "(bytes per frame, whole frames, trailing bytes) of a recording.");
    m.def("sequence_numbers", &SequenceNumbers, nb::arg("frames"), nb::arg("frame_lines"),
          "The sequence number of each frame (one per row).");
    m.def("track_sequence", &TrackSequence, nb::arg("numbers"),
          "([(index, count)] of dropped runs, [index] of repeated frames), counting modulo 65536.");
}

}  // namespace framedec::python
