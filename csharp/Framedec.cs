// P/Invoke declarations of framedec's exports (framedec.h) for .NET and Mono, without `unsafe`:
// buffers are spans (an array for the GPU decode's host copy), and each call checks their lengths
// against what the library reads and writes, so that a buffer too short is refused with
// ResultCode.InvalidArgument before the library sees it (an empty span passes a null pointer, which
// the library refuses too). FramedecUnsafe.cs, beside this file, adds the same functions over
// pointers for code that holds unmanaged memory (compile with -unsafe). The C types are kept
// exactly: the one-byte C bools are marshalled as one byte (UnmanagedType.U1; .NET's default for
// bool is four), FrameSize is a sequential struct passed by value. Every function returns a result
// code (ResultCode) and throws nothing. Span needs .NET Core 2.1 or later, or Mono 5 or later (on
// .NET Framework add the System.Memory package).
//
// Where the library is loaded from:
// - Windows: framedec.dll from the application's folder and the system's safe folders only
//   (DefaultDllImportSearchPaths below), never the current directory or PATH, where a planted DLL
//   of that name would run its code. It is 64-bit only: run the host as a 64-bit process.
// - Linux: libframedec.so.0, the file of the runtime package (libframedec0), not the development
//   package's libframedec.so link. On .NET a resolver registered for this assembly maps the name
//   (an assembly that registers its own resolver must map "framedec" there); Mono reads the dllmap
//   of Framedec.dll.config, to be copied beside the assembly as <assembly file>.config (for
//   MyApp.exe: MyApp.exe.config).
//
// The twelfth export, NvOptimusEnablementCuda, is a 32-bit data word (value 1), not a function:
// P/Invoke cannot import data. On .NET its address is
// NativeLibrary.GetExport(NativeLibrary.Load(NativeMethods.Library, typeof(NativeMethods).Assembly, null),
// "NvOptimusEnablementCuda"): that overload of Load searches as the declarations below do.
using System;
using System.Reflection;
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

    public static partial class NativeMethods
    {
        public const string Library = "framedec";
        // The runtime package's file on Linux: its SONAME.
        public const string LinuxLibraryFile = "libframedec.so.0";
        // Where Windows may load framedec.dll from.
        const DllImportSearchPath TrustedFolders =
            DllImportSearchPath.AssemblyDirectory | DllImportSearchPath.SafeDirectories;

        // The frame's layout (framedec.h): 2560 bytes per row of 8 x 8 blocks, 4 bytes before a row's
        // first 16-byte block slot, 320 bytes per line; the DC preview reads 3 bytes past a slot.
        const long BlockRowBytes = 2560, RowLeadInBytes = 4, SlotBytes = 16, FrameBytesPerLine = 320;
        const long DcWindowBytesPastSlot = 3, SequenceNoFromEnd = 14;

#if NET5_0_OR_GREATER
        static NativeMethods()
        {
            try
            {
                NativeLibrary.SetDllImportResolver(typeof(NativeMethods).Assembly, ResolveLibrary);
            }
            catch (InvalidOperationException)
            {
                // The assembly has a resolver already: that one must map Library.
            }
        }

        static IntPtr ResolveLibrary(string name, Assembly assembly, DllImportSearchPath? searchPath)
        {
            if (name != Library || !OperatingSystem.IsLinux()) return IntPtr.Zero;  // the default search
            IntPtr handle;
            return NativeLibrary.TryLoad(LinuxLibraryFile, assembly, searchPath, out handle) ? handle : IntPtr.Zero;
        }
#endif

        // Bytes of an output of lines pitch bytes apart, each width elements of elementBytes; and of a
        // frame up to the end of the slots that a rectangle of block rows and columns covers.
        static long OutputBytes(uint width, uint height, uint pitch, long elementBytes) =>
            width == 0 || height == 0 ? 0 : (height - 1L) * pitch + width * elementBytes;

        static long SlotsEnd(long firstRow, long rows, long firstColumn, long columns) =>
            rows <= 0 || columns <= 0
                ? 0
                : BlockRowBytes * (firstRow + rows - 1) + RowLeadInBytes + SlotBytes * (firstColumn + columns);

        // Whether the buffers hold what a decode of the pixel rectangle writes and reads.
        static bool RectangleFits(long outputBytes, uint x, uint y, uint width, uint height, uint pitch, long elementBytes,
                                  ReadOnlySpan<byte> frame, ReadOnlySpan<ushort> table) =>
            outputBytes >= OutputBytes(width, height, pitch, elementBytes) &&
            frame.Length >= SlotsEnd(y / 8, (height + 7L) / 8, x / 8, (width + 7L) / 8) && table.Length >= 64;

        // int32_t DecodeData(uint8_t *output, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
        //                    uint32_t pitch, const uint8_t *frame, const uint16_t *table);
        public static int DecodeData(Span<byte> output, uint x, uint y, uint width, uint height, uint pitch,
                                     ReadOnlySpan<byte> frame, ReadOnlySpan<ushort> table)
        {
            if (!RectangleFits(output.Length, x, y, width, height, pitch, 1, frame, table))
                return ResultCode.InvalidArgument;
            return DecodeDataRef(ref MemoryMarshal.GetReference(output), x, y, width, height, pitch,
                                 ref MemoryMarshal.GetReference(frame), ref MemoryMarshal.GetReference(table));
        }

        // int32_t DecodeDataMultiThread(uint8_t *output, uint32_t x, uint32_t y, uint32_t width,
        //                               uint32_t height, uint32_t pitch, const uint8_t *frame,
        //                               const uint16_t *table, uint32_t threads);
        public static int DecodeDataMultiThread(Span<byte> output, uint x, uint y, uint width, uint height, uint pitch,
                                                ReadOnlySpan<byte> frame, ReadOnlySpan<ushort> table, uint threads)
        {
            if (!RectangleFits(output.Length, x, y, width, height, pitch, 1, frame, table))
                return ResultCode.InvalidArgument;
            return DecodeDataMultiThreadRef(ref MemoryMarshal.GetReference(output), x, y, width, height, pitch,
                                            ref MemoryMarshal.GetReference(frame), ref MemoryMarshal.GetReference(table),
                                            threads);
        }

        // int32_t DecodeDCTData(int16_t *output, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
        //                       uint32_t pitch, const uint8_t *frame, const uint16_t *table);
        // pitch in bytes.
        public static int DecodeDCTData(Span<short> output, uint x, uint y, uint width, uint height, uint pitch,
                                        ReadOnlySpan<byte> frame, ReadOnlySpan<ushort> table)
        {
            if (!RectangleFits(2L * output.Length, x, y, width, height, pitch, 2, frame, table))
                return ResultCode.InvalidArgument;
            return DecodeDCTDataRef(ref MemoryMarshal.GetReference(output), x, y, width, height, pitch,
                                    ref MemoryMarshal.GetReference(frame), ref MemoryMarshal.GetReference(table));
        }

        // int32_t DecodeDCData(uint8_t *output, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
        //                      const uint8_t *frame);
        // x, y, width and height in blocks. Each block's DC code is read from a window that reaches 3
        // bytes past its slot: the last block of a row 7 bytes past that row, so a frame whose last
        // row is decoded to its right edge needs 7 bytes more than height x 320.
        public static int DecodeDCData(Span<byte> output, uint x, uint y, uint width, uint height, ReadOnlySpan<byte> frame)
        {
            long frameBytes = SlotsEnd(y, height, x, width);
            if (frameBytes > 0) frameBytes += DcWindowBytesPastSlot;
            if (output.Length < (long)width * height || frame.Length < frameBytes) return ResultCode.InvalidArgument;
            return DecodeDCDataRef(ref MemoryMarshal.GetReference(output), x, y, width, height,
                                   ref MemoryMarshal.GetReference(frame));
        }

        // int32_t ExtractSequenceNo(const uint8_t *frame, uint32_t reserved, uint32_t height,
        //                           uint16_t *sequenceNo);
        public static int ExtractSequenceNo(ReadOnlySpan<byte> frame, uint reserved, uint height, out ushort sequenceNo)
        {
            sequenceNo = 0;
            if (height >= 8 && frame.Length < height * FrameBytesPerLine - SequenceNoFromEnd + 2)
                return ResultCode.InvalidArgument;
            return ExtractSequenceNoRef(ref MemoryMarshal.GetReference(frame), reserved, height, out sequenceNo);
        }

        // int32_t GetAvailableGPUProcess(void);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        [DefaultDllImportSearchPaths(TrustedFolders)]
        public static extern int GetAvailableGPUProcess();

        // The GPU state's frame size, as set up through these declarations (the library does not
        // report it): what the span overloads of DecodeGPU check their buffers against. Set-up,
        // tear-down and those decodes hold the lock (the library runs them one at a time anyway).
        static readonly object gpuSetUpLock = new object();
        static FrameSize gpuSetUp;  // height 0: nothing set up

        // int32_t SetupGPUDecode(FrameSize frameSize);
        public static int SetupGPUDecode(FrameSize frameSize)
        {
            lock (gpuSetUpLock)
            {
                int result = SetupGPUDecodeNative(frameSize);
                gpuSetUp = result == ResultCode.Ok ? frameSize : default(FrameSize);
                return result;
            }
        }

        // int32_t TeardownGPUDecode(void);
        public static int TeardownGPUDecode()
        {
            lock (gpuSetUpLock)
            {
                gpuSetUp = default(FrameSize);
                return TeardownGPUDecodeNative();
            }
        }

        // int32_t DecodeGPU(bool copyToHost, const uint8_t *frame, uint8_t **output, int32_t outputPitch);
        // With the host copy: the image, set-up height x outputPitch bytes, into output. frame must
        // hold the set-up height x 320 bytes. Refused (InvalidArgument) when the set-up was not made
        // through these declarations (SetupGPUDecode above), or a buffer is too short for it.
        public static int DecodeGPU(ReadOnlySpan<byte> frame, byte[] output, int outputPitch)
        {
            lock (gpuSetUpLock)
            {
                if (output == null || !HoldsGpuFrame(frame) || (long)output.Length < (long)gpuSetUp.Height * outputPitch)
                    return ResultCode.InvalidArgument;
                GCHandle pinned = GCHandle.Alloc(output, GCHandleType.Pinned);
                try
                {
                    IntPtr image = pinned.AddrOfPinnedObject();
                    return DecodeGPURef(true, ref MemoryMarshal.GetReference(frame), ref image, outputPitch);
                }
                finally
                {
                    pinned.Free();
                }
            }
        }

        // Without the host copy: deviceImage receives the device address of the image, which stays
        // the library's (valid until the next decode or the tear-down). Checked as above.
        public static int DecodeGPU(ReadOnlySpan<byte> frame, out IntPtr deviceImage, int outputPitch)
        {
            deviceImage = IntPtr.Zero;
            lock (gpuSetUpLock)
            {
                if (!HoldsGpuFrame(frame)) return ResultCode.InvalidArgument;
                return DecodeGPURef(false, ref MemoryMarshal.GetReference(frame), ref deviceImage, outputPitch);
            }
        }

        static bool HoldsGpuFrame(ReadOnlySpan<byte> frame) =>
            gpuSetUp.Height > 0 && frame.Length >= gpuSetUp.Height * FrameBytesPerLine;

        // int32_t IsSetupGPUDecode(bool *isSetup);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        [DefaultDllImportSearchPaths(TrustedFolders)]
        public static extern int IsSetupGPUDecode([MarshalAs(UnmanagedType.U1)] out bool isSetup);

        // int32_t GetGPULastError(int32_t *error);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        [DefaultDllImportSearchPaths(TrustedFolders)]
        public static extern int GetGPULastError(out int error);

        // The exports as the overloads above call them, with references to the buffers' first elements.
        [DllImport(Library, EntryPoint = "DecodeData", CallingConvention = CallingConvention.Cdecl,
                   ExactSpelling = true)]
        [DefaultDllImportSearchPaths(TrustedFolders)]
        static extern int DecodeDataRef(ref byte output, uint x, uint y, uint width, uint height, uint pitch, ref byte frame,
                                        ref ushort table);

        [DllImport(Library, EntryPoint = "DecodeDataMultiThread", CallingConvention = CallingConvention.Cdecl,
                   ExactSpelling = true)]
        [DefaultDllImportSearchPaths(TrustedFolders)]
        static extern int DecodeDataMultiThreadRef(ref byte output, uint x, uint y, uint width, uint height, uint pitch,
                                                   ref byte frame, ref ushort table, uint threads);

        [DllImport(Library, EntryPoint = "DecodeDCTData", CallingConvention = CallingConvention.Cdecl,
                   ExactSpelling = true)]
        [DefaultDllImportSearchPaths(TrustedFolders)]
        static extern int DecodeDCTDataRef(ref short output, uint x, uint y, uint width, uint height, uint pitch,
                                           ref byte frame, ref ushort table);

        [DllImport(Library, EntryPoint = "DecodeDCData", CallingConvention = CallingConvention.Cdecl,
                   ExactSpelling = true)]
        [DefaultDllImportSearchPaths(TrustedFolders)]
        static extern int DecodeDCDataRef(ref byte output, uint x, uint y, uint width, uint height, ref byte frame);

        [DllImport(Library, EntryPoint = "ExtractSequenceNo", CallingConvention = CallingConvention.Cdecl,
                   ExactSpelling = true)]
        [DefaultDllImportSearchPaths(TrustedFolders)]
        static extern int ExtractSequenceNoRef(ref byte frame, uint reserved, uint height, out ushort sequenceNo);

        [DllImport(Library, EntryPoint = "SetupGPUDecode", CallingConvention = CallingConvention.Cdecl,
                   ExactSpelling = true)]
        [DefaultDllImportSearchPaths(TrustedFolders)]
        static extern int SetupGPUDecodeNative(FrameSize frameSize);

        [DllImport(Library, EntryPoint = "TeardownGPUDecode", CallingConvention = CallingConvention.Cdecl,
                   ExactSpelling = true)]
        [DefaultDllImportSearchPaths(TrustedFolders)]
        static extern int TeardownGPUDecodeNative();

        [DllImport(Library, EntryPoint = "DecodeGPU", CallingConvention = CallingConvention.Cdecl,
                   ExactSpelling = true)]
        [DefaultDllImportSearchPaths(TrustedFolders)]
        static extern int DecodeGPURef([MarshalAs(UnmanagedType.U1)] bool copyToHost, ref byte frame, ref IntPtr output,
                                       int outputPitch);
    }
}
