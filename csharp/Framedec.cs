// P/Invoke declarations of framedec's exports (framedec.h) for .NET and Mono: framedec.dll on
// Windows, libframedec.so on Linux. Each declaration sits under its C prototype. The C types are
// kept exactly: the one-byte C bools are marshalled as one byte (UnmanagedType.U1; .NET's default
// for bool is four), FrameSize is a sequential struct passed by value, and buffers are pointers
// (compile with -unsafe; pin arrays with `fixed`). Every function returns a result code (ResultCode)
// and throws nothing. framedec.dll is 64-bit only: run the host as a 64-bit process.
//
// The twelfth export, NvOptimusEnablementCuda, is a 32-bit data word (value 1), not a function:
// P/Invoke cannot import data. On .NET Core 3.0 and later its address is
// NativeLibrary.GetExport(NativeLibrary.Load("framedec"), "NvOptimusEnablementCuda").
using System.Runtime.InteropServices;

namespace Framedec
{
    // The result codes (FRAMEDEC_* in framedec.h).
    public static class ResultCode
    {
        public const int Ok = 0;
        public const int InvalidArgument = 5;
        public const int GpuUnavailable = 26;
        public const int GpuDecodeFailed = 27;
        public const int GpuAllocFailed = 28;
        public const int GpuFreeFailed = 29;
        public const int GpuSyncFailed = 30;
        public const int GpuCopyBackFailed = 31;
    }

    // typedef struct FrameSize { int32_t width; int32_t height; } FrameSize;
    [StructLayout(LayoutKind.Sequential)]
    public struct FrameSize
    {
        public int Width;   // pixels
        public int Height;  // lines

        public FrameSize(int width, int height)
        {
            Width = width;
            Height = height;
        }
    }

    public static unsafe class NativeMethods
    {
        public const string Library = "framedec";

        // int32_t DecodeData(uint8_t *output, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
        //                    uint32_t pitch, const uint8_t *frame, const uint16_t *table);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern int DecodeData(byte* output, uint x, uint y, uint width, uint height, uint pitch,
                                            byte* frame, ushort* table);

        // int32_t DecodeDataMultiThread(uint8_t *output, uint32_t x, uint32_t y, uint32_t width,
        //                               uint32_t height, uint32_t pitch, const uint8_t *frame,
        //                               const uint16_t *table, uint32_t threads);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern int DecodeDataMultiThread(byte* output, uint x, uint y, uint width, uint height,
                                                       uint pitch, byte* frame, ushort* table, uint threads);

        // int32_t DecodeDCTData(int16_t *output, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
        //                       uint32_t pitch, const uint8_t *frame, const uint16_t *table);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern int DecodeDCTData(short* output, uint x, uint y, uint width, uint height, uint pitch,
                                               byte* frame, ushort* table);

        // int32_t DecodeDCData(uint8_t *output, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
        //                      const uint8_t *frame);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern int DecodeDCData(byte* output, uint x, uint y, uint width, uint height, byte* frame);

        // int32_t ExtractSequenceNo(const uint8_t *frame, uint32_t reserved, uint32_t height,
        //                           uint16_t *sequenceNo);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern int ExtractSequenceNo(byte* frame, uint reserved, uint height, out ushort sequenceNo);

        // int32_t GetAvailableGPUProcess(void);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern int GetAvailableGPUProcess();

        // int32_t SetupGPUDecode(FrameSize frameSize);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern int SetupGPUDecode(FrameSize frameSize);

        // int32_t DecodeGPU(bool copyToHost, const uint8_t *frame, uint8_t **output, int32_t outputPitch);
        // copyToHost: *output points to a host buffer of height * outputPitch bytes that receives the
        // image; otherwise *output receives the image's device address.
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern int DecodeGPU([MarshalAs(UnmanagedType.U1)] bool copyToHost, byte* frame, byte** output,
                                           int outputPitch);

        // int32_t TeardownGPUDecode(void);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern int TeardownGPUDecode();

        // int32_t IsSetupGPUDecode(bool *isSetup);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern int IsSetupGPUDecode([MarshalAs(UnmanagedType.U1)] out bool isSetup);

        // int32_t GetGPULastError(int32_t *error);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern int GetGPULastError(out int error);
    }
}
