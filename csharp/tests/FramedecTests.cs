// The C# pointer declarations against the real library (run by Mono in the tests): every CPU export
// decodes the fixed pseudo-random frame of the C consumer check to the C library's bytes (the same
// FNV-1a hashes), and the GPU exports' one-byte bool and out-parameters read back what the library
// wrote.
//   mono FramedecTests.exe <the error GetGPULastError gives after a set-up too large for the device>
using System;
using System.Reflection;
using System.Runtime.InteropServices;
using Framedec;
using static TestFrame;

static unsafe class FramedecTests
{
    // What the library's ABI fixes, and the marshaller would get wrong silently on x64 (where a
    // four-byte bool in a register, or in a zeroed temporary, still happens to work): every bool
    // crosses as one byte, and FrameSize is two 32-bit fields, width first.
    static void CheckDeclarations()
    {
        foreach (MethodInfo method in typeof(NativeMethods).GetMethods(BindingFlags.Public | BindingFlags.Static))
        {
            foreach (ParameterInfo parameter in method.GetParameters())
            {
                Type type = parameter.ParameterType.IsByRef ? parameter.ParameterType.GetElementType() : parameter.ParameterType;
                if (type != typeof(bool)) continue;
                var marshal = (MarshalAsAttribute)Attribute.GetCustomAttribute(parameter, typeof(MarshalAsAttribute));
                Check(marshal != null && marshal.Value == UnmanagedType.U1,
                      method.Name + "'s " + parameter.Name + " crosses as one byte");
            }
        }
        Check(Marshal.SizeOf(typeof(FrameSize)) == 8 && (int)Marshal.OffsetOf(typeof(FrameSize), "Width") == 0 &&
              (int)Marshal.OffsetOf(typeof(FrameSize), "Height") == 4, "FrameSize's layout");
    }

    static int Main(string[] args)
    {
        int allocationError = int.Parse(args[0]);
        CheckDeclarations();
        byte[] frame = Frame();
        ushort[] table = Table();
        var pixels = new byte[Width * Lines];
        var coefficients = new short[DctWidth * Lines];
        var preview = new byte[PreviewWidth * (Lines / 8)];

        fixed (byte* f = frame, p = pixels, d = preview)
        fixed (ushort* t = table)
        fixed (short* c = coefficients)
        {
            Check(NativeMethods.DecodeData(p, 0, 0, Width, Lines, Width, f, t) == ResultCode.Ok, "DecodeData");
            Check(Fnv1a(pixels) == PixelsHash, "DecodeData's pixels");
            foreach (uint threads in new uint[] { 1, 7, 32 })
            {
                Array.Clear(pixels, 0, pixels.Length);
                Check(NativeMethods.DecodeDataMultiThread(p, 0, 0, Width, Lines, Width, f, t, threads) == ResultCode.Ok,
                      "DecodeDataMultiThread");
                Check(Fnv1a(pixels) == PixelsHash, "DecodeDataMultiThread's pixels, " + threads + " strips");
            }
            Check(NativeMethods.DecodeDataMultiThread(p, 0, 0, 8, 8, 8, f, t, 33) == ResultCode.InvalidArgument,
                  "33 strips refused");
            Check(NativeMethods.DecodeDCTData(c, 0, 0, DctWidth, Lines, 2 * DctWidth, f, t) == ResultCode.Ok,
                  "DecodeDCTData");
            Check(Fnv1a(coefficients) == CoefficientsHash, "DecodeDCTData's coefficients");
            Check(NativeMethods.DecodeDCData(d, 0, 0, PreviewWidth, Lines / 8, f) == ResultCode.Ok, "DecodeDCData");
            Check(Fnv1a(preview) == PreviewHash, "DecodeDCData's preview");
            ushort sequenceNo;
            Check(NativeMethods.ExtractSequenceNo(f, 0, Lines, out sequenceNo) == ResultCode.Ok && sequenceNo == SequenceNo,
                  "ExtractSequenceNo");

            bool isSetup = true;
            Check(NativeMethods.IsSetupGPUDecode(out isSetup) == ResultCode.Ok && !isSetup, "not set up at first");
            Check(NativeMethods.SetupGPUDecode(new FrameSize((int)Width, (int)Lines)) == ResultCode.Ok, "SetupGPUDecode");
            Check(NativeMethods.IsSetupGPUDecode(out isSetup) == ResultCode.Ok && isSetup, "set up");
            byte* image = p;
            Check(NativeMethods.DecodeGPU(true, f, &image, (int)Width) == ResultCode.Ok && Fnv1a(pixels) == GpuPixelsHash,
                  "DecodeGPU to the host: " + Fnv1a(pixels).ToString("x8"));
            Check(NativeMethods.TeardownGPUDecode() == ResultCode.Ok, "TeardownGPUDecode");
            Check(NativeMethods.IsSetupGPUDecode(out isSetup) == ResultCode.Ok && !isSetup, "torn down");

            int error = -1;
            Check(NativeMethods.SetupGPUDecode(new FrameSize((int)Width, 8 << 20)) == ResultCode.GpuAllocFailed,
                  "a set-up too large for the device");
            Check(NativeMethods.GetGPULastError(out error) == ResultCode.Ok && error == allocationError,
                  "GetGPULastError after it: " + error);
            Check(NativeMethods.GetGPULastError(out error) == ResultCode.Ok && error == 0, "read once: " + error);
        }
        return Finish("framedec from C# through pointers");
    }
}
