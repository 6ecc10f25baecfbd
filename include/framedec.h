/*
 * framedec: decoder for the camera's compressed greyscale frames.
 *
 * A compressed frame of H lines (H a multiple of 8, at most 1024) is H x 320 bytes: H / 8 block rows
 * of 2560 bytes, each holding 156 fixed 16-byte slots, one per 8 x 8 block. Images are at most
 * 1246 pixels wide. Every function returns a result code (FRAMEDEC_* below); a call that returns
 * FRAMEDEC_INVALID_ARGUMENT has written nothing. The caller owns every buffer; the library only
 * reads frames and quantisation tables and writes only the rectangle it was asked for.
 *
 * Usable from C99 and C++. Thread safety: every CPU decoder may run on any number of threads at
 * once, also on the same frame, as long as the output areas do not overlap. The GPU functions share
 * one process-wide GPU state; set-up, decode and tear-down run one at a time, from any thread.
 *
 * On Windows the declarations import from framedec.dll (__declspec(dllimport)), so MSVC and MinGW
 * programs link through framedec.lib or libframedec.dll.a alone. Define FRAMEDEC_STATIC before
 * including this header to link the library's code into the program instead. framedec.dll is a
 * 64-bit DLL; there is no 32-bit build.
 */
#ifndef FRAMEDEC_H
#define FRAMEDEC_H

#if defined(_WIN32) && !defined(_WIN64)
#error "framedec is built for 64-bit Windows only: framedec.dll is an x64 DLL"
#endif

#include <stdbool.h>
#include <stdint.h>

/* FRAMEDEC_BUILDING_LIBRARY is defined only while the library itself is compiled. */
#if defined(FRAMEDEC_BUILDING_LIBRARY)
#if defined(_WIN32)
#define FRAMEDEC_API __declspec(dllexport)
#elif defined(__GNUC__)
#define FRAMEDEC_API __attribute__((visibility("default")))
#else
#define FRAMEDEC_API
#endif
#elif defined(_WIN32) && !defined(FRAMEDEC_STATIC)
#define FRAMEDEC_API __declspec(dllimport)
#else
#define FRAMEDEC_API
#endif

#ifdef __cplusplus
#define FRAMEDEC_NOEXCEPT noexcept
extern "C" {
#else
#define FRAMEDEC_NOEXCEPT
#endif

/* Result codes. */
enum {
    FRAMEDEC_OK = 0,                /* success */
    FRAMEDEC_INVALID_ARGUMENT = 5,  /* null pointer, rectangle out of bounds, unaligned corner, bad thread count */
    FRAMEDEC_GPU_UNAVAILABLE = 26,  /* no CUDA device, or the device query failed */
    FRAMEDEC_GPU_DECODE_FAILED = 27,/* copying the frame to the device or launching a kernel failed */
    FRAMEDEC_GPU_ALLOC_FAILED = 28, /* allocating a device buffer failed during set-up */
    FRAMEDEC_GPU_FREE_FAILED = 29,  /* freeing a device buffer failed */
    FRAMEDEC_GPU_SYNC_FAILED = 30,  /* waiting for the device to finish the decode failed */
    FRAMEDEC_GPU_COPY_BACK_FAILED = 31 /* copying the decoded pixels to the caller's buffer failed */
};

/*
 * Decodes a rectangle of a compressed frame to 8-bit pixels on the calling thread.
 *   output  receives the rectangle: its top-left pixel at output[0], line j at output + j * pitch
 *   x       left edge in pixels; a multiple of 8
 *   y       top edge in lines; a multiple of 8
 *   width   rectangle width in pixels; x + width must lie in 1 to 1246
 *   height  rectangle height in lines; y + height must lie in 1 to 1024
 *   pitch   bytes from one output line to the next (at least width)
 *   frame   the compressed frame; only the block rows the rectangle touches are read
 *   table   quantisation table: 64 entries in natural (row-major) order
 * Returns FRAMEDEC_OK or FRAMEDEC_INVALID_ARGUMENT. Exactly the rectangle's bytes are written.
 */
FRAMEDEC_API int32_t DecodeData(uint8_t *output, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                   uint32_t pitch, const uint8_t *frame, const uint16_t *table) FRAMEDEC_NOEXCEPT;

/*
 * Decodes a rectangle to the same pixels as DecodeData, split into vertical strips of whole 8-pixel
 * block columns decoded at the same time: all strips but the right-most on the library's pool of
 * 32 worker threads (started by the first accepted call), the right-most on the calling thread.
 *   output   receives the rectangle: its top-left pixel at output[0], line j at output + j * pitch
 *   x        left edge in pixels; a multiple of 8
 *   y        top edge in lines; a multiple of 8
 *   width    rectangle width in pixels; x + width must lie in 1 to 1246
 *   height   rectangle height in lines; y + height must lie in 1 to 1024
 *   pitch    bytes from one output line to the next (at least width)
 *   frame    the compressed frame; only the block rows the rectangle touches are read
 *   table    quantisation table: 64 entries in natural (row-major) order
 *   threads  how many strips to use, the calling thread's included; 1 to 32
 * Returns FRAMEDEC_OK once every strip is written, or FRAMEDEC_INVALID_ARGUMENT (nothing written,
 * no work queued). May be called from several threads at once; each call waits only for its own
 * strips. The caller's buffers are not touched after the call returns.
 */
FRAMEDEC_API int32_t DecodeDataMultiThread(uint8_t *output, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                              uint32_t pitch, const uint8_t *frame, const uint16_t *table,
                              uint32_t threads) FRAMEDEC_NOEXCEPT;

/*
 * Decodes a rectangle to the dequantised DCT coefficients, laid out like an image: the coefficient
 * of vertical frequency v and horizontal frequency u of the rectangle's block (i, j) lies at line
 * 8j + v, element 8i + u. A right or bottom edge cut short keeps only the low frequencies.
 *   output  receives signed 16-bit elements; line L starts L * pitch bytes after output
 *   x       left edge in pixels; a multiple of 8
 *   y       top edge in lines; a multiple of 8
 *   width   rectangle width in elements (pixels); x + width must lie in 8 to 1248
 *   height  rectangle height in lines; y + height must lie in 8 to 1024
 *   pitch   bytes (not elements) from one output line to the next (at least 2 * width)
 *   frame   the compressed frame
 *   table   quantisation table: 64 entries in natural order
 * Returns FRAMEDEC_OK or FRAMEDEC_INVALID_ARGUMENT.
 */
FRAMEDEC_API int32_t DecodeDCTData(int16_t *output, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                      uint32_t pitch, const uint8_t *frame, const uint16_t *table) FRAMEDEC_NOEXCEPT;

/*
 * Decodes a 1/8-scale preview: one byte per block, (DC coefficient + 128) mod 256, from the first
 * code of each slot alone (no table, no transform). Coordinates and sizes are in blocks.
 *   output  receives width * height bytes, rows packed without gaps
 *   x       first block column; x + width must lie in 1 to 160
 *   y       first block row; y + height must lie in 1 to 128
 *   width   number of block columns
 *   height  number of block rows
 *   frame   the compressed frame; each block reads its slot and at most the 3 bytes after it
 * Returns FRAMEDEC_OK or FRAMEDEC_INVALID_ARGUMENT.
 */
FRAMEDEC_API int32_t DecodeDCData(uint8_t *output, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                     const uint8_t *frame) FRAMEDEC_NOEXCEPT;

/*
 * Reads the frame's 16-bit sequence number, stored little-endian at byte height * 320 - 14.
 *   frame       the compressed frame
 *   reserved    ignored
 *   height      the frame's height in lines; at least 8
 *   sequenceNo  receives the sequence number
 * Returns FRAMEDEC_OK, or FRAMEDEC_INVALID_ARGUMENT for a null pointer or a height below 8.
 */
FRAMEDEC_API int32_t ExtractSequenceNo(const uint8_t *frame, uint32_t reserved, uint32_t height,
                          uint16_t *sequenceNo) FRAMEDEC_NOEXCEPT;

/*
 * GPU decoding of whole frames. Calling order: GetAvailableGPUProcess (optional), SetupGPUDecode
 * with the frame size, any number of DecodeGPU calls with frames of that height, TeardownGPUDecode.
 * The GPU decodes with its own fixed quantisation table (the JPEG example luminance table halved)
 * in single precision, so its pixels may differ from the CPU decoders' by a grey level or so (at
 * most three). Failures are result codes; after a failed device allocation, free, copy or wait,
 * GetGPULastError on the same thread gives the CUDA runtime's error number. A kernel launch that
 * fails is reported on standard error by DecodeGPU itself, a failed copy of the frame on standard
 * output.
 *
 * Contexts: SetupGPUDecode records the CUDA context current on the calling thread (where the
 * thread has none, the primary context of its current device, started as the runtime would), and
 * allocates there. Every GPU call that works on the device (GetAvailableGPUProcess, SetupGPUDecode,
 * DecodeGPU, TeardownGPUDecode) pushes that context onto the calling thread's context stack
 * (cuCtxPushCurrent) for its work and pops it before it returns, from whichever thread and whatever
 * context that thread holds: the caller's context stack, "no context" included, is afterwards
 * exactly as it was, and no call starts a context the caller did not ask for. Without a set-up
 * these calls work in the caller's current context (or the primary one, as above). Where the
 * caller's state cannot be given back (the pop fails), the call returns its failure code, whatever
 * its work did, and GetGPULastError gives the driver's error; the set-up's context is then still
 * on the caller's stack. Host applications with contexts of their own (the driver API) may set up
 * under one and decode from any thread.
 *
 * Streams: all GPU work goes to the legacy default stream of the set-up's context. With copyToHost
 * true, DecodeGPU waits for the whole context (cudaDeviceSynchronize), so it also waits for the
 * host's own work queued in that context. The device image that DecodeGPU hands out may still be
 * being written when the call returns: use it in the set-up's context, on the legacy default
 * stream (stream 0), a blocking stream or the per-thread default stream, which wait for it and
 * which the next DecodeGPU (it overwrites the image) waits for. Work on a stream created with
 * cudaStreamNonBlocking, or in another context, must first wait for it (an event recorded on
 * stream 0 of the set-up's context after DecodeGPU returns, cudaStreamWaitEvent), and must be
 * finished before the next DecodeGPU. Call TeardownGPUDecode before cudaDeviceReset on the set-up's
 * device or destroying the set-up's context: either frees the buffers behind the library's back,
 * and a later tear-down or set-up would free addresses the host may have been given since. A reset
 * does not clear a kernel fault (below): only a new process does.
 *
 * Supported devices: NVIDIA GPUs of compute capability 5.2 or newer (Maxwell GTX 900 series and
 * later). The library carries machine code for 5.2, 6.1, 7.0, 7.5, 8.0, 8.6, 8.9, 9.0, 10.0, 11.0
 * and 12.0, which also runs on later minor versions of the same major one (8.7 runs 8.6's, 12.1
 * 12.0's), and PTX for 5.2, which the driver compiles for the others. On 64-bit ARM Linux the same
 * device code serves Grace Hopper, Grace Blackwell, Thor and Arm servers with NVIDIA GPUs (CUDA 13);
 * Jetson Orin needs a build against JetPack's CUDA 12. It needs NVIDIA's driver,
 * release 580 or newer (the CUDA 13 runtime's minimum). On Linux the runtime is linked in;
 * framedec.dll loads NVIDIA's cudart64_13.dll from its own folder, from %CUDA_PATH%\bin, or from
 * the application's folder, System32 and folders added with AddDllDirectory (never from the current
 * directory or PATH). Without that DLL or the driver, or on an older device, GetAvailableGPUProcess
 * says FRAMEDEC_GPU_UNAVAILABLE. A kernel fault on the device (an execution error such as 700,
 * illegal address) disables CUDA for the rest of the process, as NVIDIA's runtime does: every GPU
 * call then fails, and GetGPULastError keeps reporting it.
 */

/* The size of the frames to decode, in pixels. */
typedef struct FrameSize {
    int32_t width;   /* pixels, 1 to 1246 for the camera's frames */
    int32_t height;  /* lines, a multiple of 8, 8 to 1024 for the camera's frames */
} FrameSize;

/*
 * Whether the GPU decode can run: the CUDA runtime reports at least one device, and the set-up's
 * device (without a set-up: the calling thread's current device) can run the library's kernels (it
 * is new enough, and CUDA works in this process).
 * Returns FRAMEDEC_OK, else FRAMEDEC_GPU_UNAVAILABLE (also when the caller's context cannot be given
 * back); GetGPULastError then tells why.
 */
FRAMEDEC_API int32_t GetAvailableGPUProcess(void) FRAMEDEC_NOEXCEPT;

/*
 * Allocates and zeroes the device buffers for frames of one size in the calling thread's current
 * CUDA context (see Contexts above), after checking that its device can run the library's kernels,
 * and marks the GPU set up. Called while set up (or after a failed set-up), it first frees the old
 * buffers, in their own context.
 *   frameSize  width and height of the frames that DecodeGPU will get; both at least 1
 * Returns FRAMEDEC_OK, or FRAMEDEC_GPU_ALLOC_FAILED: then not set up; nothing is allocated when the
 * device cannot run the kernels, else buffers allocated before the failure stay allocated until
 * TeardownGPUDecode or the next SetupGPUDecode. Where only the caller's context could not be given
 * back, the set-up's work stands (IsSetupGPUDecode tells) and the result is still
 * FRAMEDEC_GPU_ALLOC_FAILED.
 */
FRAMEDEC_API int32_t SetupGPUDecode(FrameSize frameSize) FRAMEDEC_NOEXCEPT;

/*
 * Decodes one whole frame on the GPU: columns 0 to outputPitch - 1 of every line.
 *   copyToHost   true: wait for the GPU and copy the image to the host buffer at *output;
 *                false: store the device address of the image in *output and return at once,
 *                the kernels queued on the legacy default stream (see Devices and streams above)
 *   frame        the compressed frame, of the height given to SetupGPUDecode
 *   output       copyToHost true: points to the address of a host buffer of height * outputPitch
 *                bytes; false: receives the device address, valid until the next set-up or
 *                tear-down (every decode overwrites the image behind it)
 *   outputPitch  bytes per image line, 1 to the set-up width rounded up to a multiple of 4
 * Returns FRAMEDEC_OK, FRAMEDEC_INVALID_ARGUMENT for a null frame or output (nothing touched),
 * FRAMEDEC_GPU_DECODE_FAILED (also for an outputPitch out of range, before any set-up, after a
 * tear-down or a set-up that failed: then no kernel runs, and with nothing set up no device work is
 * done at all; also when the caller's context cannot be given back), FRAMEDEC_GPU_SYNC_FAILED or
 * FRAMEDEC_GPU_COPY_BACK_FAILED. The result and messages come from this call's own steps only: an
 * error that an earlier call left unread does not fail it (GetGPULastError still reports that one).
 */
FRAMEDEC_API int32_t DecodeGPU(bool copyToHost, const uint8_t *frame, uint8_t **output,
                               int32_t outputPitch) FRAMEDEC_NOEXCEPT;

/*
 * Frees the device buffers, in the set-up's context, and clears the set-up flag. Call it before
 * resetting the set-up's device or destroying its context.
 * Returns FRAMEDEC_OK, or FRAMEDEC_GPU_FREE_FAILED: the buffer that could not be freed and those
 * after it stay allocated, and the flag is unchanged (or, where only the caller's context could not
 * be given back, the tear-down's work stands).
 */
FRAMEDEC_API int32_t TeardownGPUDecode(void) FRAMEDEC_NOEXCEPT;

/*
 * Whether the GPU is set up.
 *   isSetup  receives true after a complete set-up, false after a complete tear-down or before any
 * Returns FRAMEDEC_OK, or FRAMEDEC_INVALID_ARGUMENT for a null isSetup.
 */
FRAMEDEC_API int32_t IsSetupGPUDecode(bool *isSetup) FRAMEDEC_NOEXCEPT;

/*
 * The CUDA runtime's last error on the calling thread, which this call also clears (all but an
 * execution error, which stays for the rest of the process).
 *   error  receives the error number, 0 when there is none
 * Returns FRAMEDEC_OK, or FRAMEDEC_INVALID_ARGUMENT for a null error (the error stays unread).
 */
FRAMEDEC_API int32_t GetGPULastError(int32_t *error) FRAMEDEC_NOEXCEPT;

/*
 * Asks hybrid-graphics drivers to run the process's CUDA work on the discrete NVIDIA GPU (value 1).
 * On Windows an application often defines a word of this name itself, as NVIDIA documents for
 * executables, which a declaration here would contradict: there it is declared only where
 * FRAMEDEC_DECLARE_NV_OPTIMUS_ENABLEMENT is defined. framedec.dll exports it either way.
 */
#if !defined(_WIN32) || defined(FRAMEDEC_DECLARE_NV_OPTIMUS_ENABLEMENT)
FRAMEDEC_API extern int32_t NvOptimusEnablementCuda;
#endif

#ifdef __cplusplus
}
#endif

#endif /* FRAMEDEC_H */
