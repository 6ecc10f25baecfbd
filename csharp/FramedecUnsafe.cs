// The exports over pointers, beside the checked span overloads of Framedec.cs (compile both files,
// with -unsafe): for code that holds unmanaged memory or pins its own buffers with `fixed`. Nothing
// is checked on this side: the pointers must cover what each call reads and writes (framedec.h).
// The library is found as Framedec.cs describes.
using System.Runtime.InteropServices;

namespace Framedec
{
    public static unsafe partial class NativeMethods
    {
        // int32_t DecodeData(uint8_t *output, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
        //                    uint32_t pitch, const uint8_t *frame, const uint16_t *table);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        [DefaultDllImportSearchPaths(TrustedFolders)]
        public static extern int DecodeData(byte* output, uint x, uint y, uint width, uint height, uint pitch,
                                            byte* frame, ushort* table);

        // int32_t DecodeDataMultiThread(uint8_t *output, uint32_t x, uint32_t y, uint32_t width,
        //                               uint32_t height, uint32_t pitch, const uint8_t *frame,
        //                               const uint16_t *table, uint32_t threads);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        [DefaultDllImportSearchPaths(TrustedFolders)]
        public static extern int DecodeDataMultiThread(byte* output, uint x, uint y, uint width, uint height,
                                                       uint pitch, byte* frame, ushort* table, uint threads);

        // int32_t DecodeDCTData(int16_t *output, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
        //                       uint32_t pitch, const uint8_t *frame, const uint16_t *table);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        [DefaultDllImportSearchPaths(TrustedFolders)]
        public static extern int DecodeDCTData(short* output, uint x, uint y, uint width, uint height, uint pitch,
                                               byte* frame, ushort* table);

        // int32_t DecodeDCData(uint8_t *output, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
        //                      const uint8_t *frame);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        [DefaultDllImportSearchPaths(TrustedFolders)]
        public static extern int DecodeDCData(byte* output, uint x, uint y, uint width, uint height, byte* frame);

        // int32_t ExtractSequenceNo(const uint8_t *frame, uint32_t reserved, uint32_t height,
        //                           uint16_t *sequenceNo);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        [DefaultDllImportSearchPaths(TrustedFolders)]
        public static extern int ExtractSequenceNo(byte* frame, uint reserved, uint height, out ushort sequenceNo);

        // int32_t DecodeGPU(bool copyToHost, const uint8_t *frame, uint8_t **output, int32_t outputPitch);
        // copyToHost: *output points to a host buffer of height * outputPitch bytes that receives the
        // image; otherwise *output receives the image's device address.
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        [DefaultDllImportSearchPaths(TrustedFolders)]
        public static extern int DecodeGPU([MarshalAs(UnmanagedType.U1)] bool copyToHost, byte* frame, byte** output,
                                           int outputPitch);
    }
}
