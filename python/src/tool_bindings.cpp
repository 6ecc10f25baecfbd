// The tools' frame synthesiser with its tables, used as it is by the command-line tool.
#include <algorithm>
#include <vector>

#include "bindings.h"
#include "released_gil.h"
#include "codec/frame_geometry.h"
#include "framedec.h"
#include "synth/frame_synth.h"

namespace framedec::python {
namespace {

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
        ReleasedGil released;
        frame = tools::SynthesizeFrame(grey, options);
    }
    return ToNumpy(std::move(frame));
}

}  // namespace

void BindTools(nb::module_& m) {
    m.def("default_table", [] { return TableArray(tools::DefaultTable()); }, "The synthesiser's default table.");
    m.def("quality_table", [](int quality) { return TableArray(tools::TableForQuality(quality)); },
          nb::arg("quality"), "The JPEG-style table of a quality from 1 to 100.");
    m.def("synthesize", &Synthesize, nb::arg("image"), nb::arg("table"), nb::arg("sequence"),
          "A compressed frame from an image, made by the tool's synthesiser.");
}

}  // namespace framedec::python
