// The decode-only rate of a recording, to set beside `framedec convert`: every frame read and
// decoded (DecodeData, or DecodeDCData with "dc") one frame per thread, through the same ordered
// pipeline as convert, with nothing encoded or written. Prints "N frames in S s: R frames/s".
//
// usage: recording_decode_rate RECORDING HEIGHT THREADS [dc]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "codec/frame_geometry.h"
#include "decoding/frame_pipeline.h"
#include "framedec.h"
#include "recording/recording.h"
#include "synth/frame_synth.h"

int main(int argc, char** argv) {
    using namespace framedec;
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s RECORDING HEIGHT THREADS [dc]\n", argv[0]);
        return 2;
    }
    const uint32_t height = static_cast<uint32_t>(std::atoi(argv[2]));
    const uint32_t threads = static_cast<uint32_t>(std::atoi(argv[3]));
    const bool preview = argc > 4 && std::string(argv[4]) == "dc";
    tools::RecordingReader reader;
    std::string error;
    tools::OpenOptions options;
    options.height = height;
    options.check = false;  // the frames as asked, whatever their sequence numbers
    if (reader.Open(argv[1], options, error) != tools::RecordingProblem::None) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const tools::QuantTable table = tools::DefaultTable();
    const uint64_t frames = reader.layout().frames;
    std::mutex readerLock;
    const cli::FrameStep decode = [&](uint64_t i, cli::ConvertedFrame& frame, std::string& failure) {
        std::vector<uint8_t> bytes;
        {
            const std::lock_guard lock(readerLock);
            if (!reader.Read(i, 1, bytes, failure)) return false;
        }
        const uint32_t width = preview ? kSlotsPerRow : kMaxImageWidth;
        const uint32_t lines = preview ? height / kBlockSize : height;
        frame.image.samples.resize(std::size_t{width} * lines);
        return (preview ? DecodeDCData(frame.image.samples.data(), 0, 0, width, lines, bytes.data())
                        : DecodeData(frame.image.samples.data(), 0, 0, width, lines, width, bytes.data(),
                                     table.data())) == FRAMEDEC_OK;
    };
    const cli::FrameStep discard = [](uint64_t, cli::ConvertedFrame&, std::string&) { return true; };
    const auto start = std::chrono::steady_clock::now();
    if (!cli::RunInOrder(frames, threads, decode, discard, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%llu frames in %.2f s: %.1f frames/s\n", static_cast<unsigned long long>(frames), seconds,
                frames / seconds);
    return 0;
}
