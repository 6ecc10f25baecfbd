// Frames per second of a whole recording decoded on every processor, three ways side by side in one
// process, beside libjpeg-turbo decoding the same frames as JPEGs on as many threads:
//   - the tool's path: frames read from the file and decoded through the ordered pipeline that
//     `framedec convert` runs, with nothing written (the convert of nothing);
//   - the batch path: frames in memory, one whole frame per thread, into one output array, as the
//     Python package's batch decode does (the same frame loop, compiled in);
//   - libjpeg-turbo: each frame, decoded by framedec and saved as a quality-90 greyscale JPEG, decoded
//     from memory into the same output array by the same frame loop.
// The three run in turn, round after round, so that a change of load reaches all of them; each
// rate is the median of the rounds.
//
// usage: recording_rates RECORDING HEIGHT [THREADS (processor count)] [ROUNDS (5)]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "codec/frame_geometry.h"
#include "decoding/frame_pipeline.h"
#include "frame_batch.h"
#include "framedec.h"
#include "libjpeg_codec.h"
#include "recording/recording.h"
#include "synth/frame_synth.h"

namespace {

using namespace framedec;

constexpr int kJpegQuality = 90;

struct Recording {
    std::string path;
    uint32_t height = 0;
    std::vector<uint8_t> bytes;  // the whole file
    uint64_t frames = 0;
    std::size_t FrameBytes() const { return std::size_t{height} * kFrameBytesPerLine; }
    const uint8_t* Frame(uint64_t i) const { return bytes.data() + i * FrameBytes(); }
};

// One JPEG per distinct picture: a recording of a few pictures repeated keeps a few JPEGs.
struct JpegFrames {
    std::vector<std::vector<uint8_t>> distinct;
    std::vector<std::size_t> ofFrame;  // frame -> index into distinct
};

JpegFrames MakeJpegs(const Recording& rec, const uint16_t* table) {
    JpegFrames jpegs;
    std::map<std::string, std::size_t> seen;  // decoded pixels -> index into distinct
    std::vector<uint8_t> pixels(std::size_t{kMaxImageWidth} * rec.height);
    for (uint64_t i = 0; i < rec.frames; ++i) {
        DecodeData(pixels.data(), 0, 0, kMaxImageWidth, rec.height, kMaxImageWidth, rec.Frame(i), table);
        const auto [at, added] = seen.emplace(std::string(pixels.begin(), pixels.end()), jpegs.distinct.size());
        if (added) jpegs.distinct.push_back(bench::EncodeGreyJpeg(pixels.data(), kMaxImageWidth, rec.height, kJpegQuality));
        jpegs.ofFrame.push_back(at->second);
    }
    return jpegs;
}

double Seconds(const std::function<bool()>& run) {
    const auto start = std::chrono::steady_clock::now();
    if (!run()) {
        std::fprintf(stderr, "a decode failed\n");
        std::exit(1);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s RECORDING HEIGHT [THREADS] [ROUNDS]\n", argv[0]);
        return 2;
    }
    Recording rec;
    rec.path = argv[1];
    rec.height = static_cast<uint32_t>(std::atoi(argv[2]));
    const uint32_t threads = argc > 3 ? static_cast<uint32_t>(std::atoi(argv[3])) : std::thread::hardware_concurrency();
    const int rounds = argc > 4 ? std::atoi(argv[4]) : 5;
    if (rec.height == 0 || rec.height > kMaxImageHeight || rec.height % kBlockSize != 0 || threads == 0 || rounds < 1) {
        std::fprintf(stderr, "HEIGHT: a multiple of 8 up to 1024; THREADS and ROUNDS: 1 or more\n");
        return 2;
    }
    std::ifstream file(rec.path, std::ios::binary);
    rec.bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    rec.frames = rec.bytes.size() / rec.FrameBytes();
    if (rec.frames == 0) {
        std::fprintf(stderr, "%s holds no frame of %u lines\n", rec.path.c_str(), rec.height);
        return 1;
    }
    const tools::QuantTable table = tools::DefaultTable();
    const JpegFrames jpegs = MakeJpegs(rec, table.data());
    const std::size_t imageBytes = std::size_t{kMaxImageWidth} * rec.height;
    std::vector<uint8_t> images(imageBytes * rec.frames);  // the batch's output, as Python returns it

    tools::RecordingReader reader;
    std::string error;
    tools::OpenOptions options;
    options.height = rec.height;
    options.check = false;  // the frames as they are, whatever their sequence numbers
    if (reader.Open(rec.path, options, error) != tools::RecordingProblem::None) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::mutex readerLock;
    const cli::FrameStep readAndDecode = [&](uint64_t i, cli::ConvertedFrame& frame, std::string& failure) {
        std::vector<uint8_t> bytes;
        {
            const std::lock_guard lock(readerLock);
            if (!reader.Read(i, 1, bytes, failure)) return false;
        }
        frame.image.samples.resize(imageBytes);
        return DecodeData(frame.image.samples.data(), 0, 0, kMaxImageWidth, rec.height, kMaxImageWidth, bytes.data(),
                          table.data()) == FRAMEDEC_OK;
    };
    const cli::FrameStep discard = [](uint64_t, cli::ConvertedFrame&, std::string&) { return true; };

    struct Side {
        const char* label;
        std::function<bool()> run;
        std::vector<double> seconds;
    };
    std::vector<Side> sides = {
        {"tool's pipeline, file to nothing",
         [&] { return cli::RunInOrder(rec.frames, threads, readAndDecode, discard, error); }, {}},
        {"batch, frames in memory",
         [&] {
             return python::ForEachFrame(rec.frames, threads, [&](std::size_t i) {
                        return DecodeData(images.data() + i * imageBytes, 0, 0, kMaxImageWidth, rec.height,
                                          kMaxImageWidth, rec.Frame(i), table.data());
                    }) == FRAMEDEC_OK;
         }, {}},
        {"libjpeg-turbo, JPEGs in memory",
         [&] {
             return python::ForEachFrame(rec.frames, threads, [&](std::size_t i) {
                        const std::vector<uint8_t>& jpeg = jpegs.distinct[jpegs.ofFrame[i]];
                        return bench::DecodeJpeg(jpeg.data(), jpeg.size(), 1, images.data() + i * imageBytes) ? 0 : 1;
                    }) == 0;
         }, {}},
    };
    for (Side& side : sides) side.run();  // once unmeasured: pages of the output touched, files cached
    for (int r = 0; r < rounds; ++r) {
        for (Side& side : sides) side.seconds.push_back(Seconds(side.run));
    }
    const double jpegRate = rec.frames / Median(sides.back().seconds);
    std::printf("%llu frames of %u x %u, %u threads, medians of %d rounds\n",
                static_cast<unsigned long long>(rec.frames), kMaxImageWidth, rec.height, threads, rounds);
    std::printf("%-34s %10s %16s\n", "decode", "frames/s", "/ libjpeg-turbo");
    for (const Side& side : sides) {
        const double rate = rec.frames / Median(side.seconds);
        std::printf("%-34s %10.1f %16.2f\n", side.label, rate, rate / jpegRate);
    }
    return 0;
}
