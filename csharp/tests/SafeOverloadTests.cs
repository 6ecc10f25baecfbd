// The span overloads of Framedec.cs, compiled without -unsafe, against the runtime library alone (the
// test runs it from a folder holding only libframedec.so.0 and the shipped dllmap): every decode
// gives the C library's bytes (the hashes of the pointer test), and a buffer one element short of
// what a call reads or writes is refused with 5 before anything is written.
//   mono SafeOverloadTests.exe
using System;
using Framedec;
using static TestFrame;

static class SafeOverloadTests
{
    // A canary pattern, to see that a refused call wrote nothing.
    static byte[] Canary(long length)
    {
        var bytes = new byte[length];
        for (int i = 0; i < bytes.Length; ++i) bytes[i] = (byte)(i * 167 + 13);
        return bytes;
    }

    static bool IsCanary(byte[] bytes)
    {
        for (int i = 0; i < bytes.Length; ++i)
        {
            if (bytes[i] != (byte)(i * 167 + 13)) return false;
        }
        return true;
    }

    // A call given an output of outputBytes and another buffer one element short, or this output
    // one element short: 5, and the output untouched.
    static void CheckRefused(string what, long outputBytes, Func<byte[], int> call)
    {
        byte[] canary = Canary(outputBytes);
        Check(call(canary) == ResultCode.InvalidArgument && IsCanary(canary), what + " one element short: refused");
    }

    static byte[] Prefix(byte[] bytes, long length) => bytes.AsSpan(0, (int)length).ToArray();

    static void CheckDecodes(byte[] frame, ushort[] table)
    {
        var pixels = new byte[Width * Lines];
        Check(NativeMethods.DecodeData(pixels, 0, 0, Width, Lines, Width, frame, table) == ResultCode.Ok &&
              Fnv1a(pixels) == PixelsHash, "DecodeData");
        foreach (uint threads in new uint[] { 1, 7, 32 })
        {
            Array.Clear(pixels, 0, pixels.Length);
            Check(NativeMethods.DecodeDataMultiThread(pixels, 0, 0, Width, Lines, Width, frame, table, threads) == ResultCode.Ok &&
                  Fnv1a(pixels) == PixelsHash, "DecodeDataMultiThread, " + threads + " strips");
        }
        var coefficients = new short[DctWidth * Lines];
        Check(NativeMethods.DecodeDCTData(coefficients, 0, 0, DctWidth, Lines, 2 * DctWidth, frame, table) == ResultCode.Ok &&
              Fnv1a(coefficients) == CoefficientsHash, "DecodeDCTData");
        // The last block of the last row reads 7 bytes past the frame's lines.
        var padded = new byte[frame.Length + 7];
        frame.CopyTo(padded, 0);
        var preview = new byte[PreviewWidth * (Lines / 8)];
        Check(NativeMethods.DecodeDCData(preview, 0, 0, PreviewWidth, Lines / 8, padded) == ResultCode.Ok &&
              Fnv1a(preview) == PreviewHash, "DecodeDCData");
        ushort sequenceNo;
        Check(NativeMethods.ExtractSequenceNo(frame, 0, Lines, out sequenceNo) == ResultCode.Ok && sequenceNo == SequenceNo,
              "ExtractSequenceNo");
    }

    // Each call with one buffer one element too short: 5, and the output untouched.
    static void CheckShortBuffersRefused(byte[] frame, ushort[] table)
    {
        // An inner rectangle with an odd pitch: 100 x 20 at (16, 8), lines 101 bytes apart.
        const uint X = 16, Y = 8, W = 100, H = 20, Pitch = 101;
        long outputBytes = (H - 1) * Pitch + W;
        long frameBytes = 2560 * ((Y + H - 1) / 8) + 4 + 16 * (X / 8 + (W + 7) / 8);
        const int DcFrameBytes = 2560 * 3 + 4 + 16 * 12 + 3;  // rows 1 to 3, blocks 2 to 11, 3 bytes past
        byte[] fullFrame = Prefix(frame, frameBytes), shortFrame = Prefix(frame, frameBytes - 1);
        byte[] dcFrame = Prefix(frame, DcFrameBytes), shortDcFrame = Prefix(frame, DcFrameBytes - 1);
        ushort[] shortTable = table.AsSpan(0, 63).ToArray();

        byte[] output = Canary(outputBytes);
        Check(NativeMethods.DecodeData(output, X, Y, W, H, Pitch, fullFrame, table) == ResultCode.Ok && !IsCanary(output),
              "DecodeData with buffers of exactly the size it needs");
        output = Canary(30);
        Check(NativeMethods.DecodeDCData(output, 2, 1, 10, 3, dcFrame) == ResultCode.Ok && !IsCanary(output),
              "DecodeDCData with buffers of exactly the size it needs");
        CheckRefused("DecodeData, output", outputBytes - 1,
                     o => NativeMethods.DecodeData(o, X, Y, W, H, Pitch, fullFrame, table));
        CheckRefused("DecodeData, frame", outputBytes, o => NativeMethods.DecodeData(o, X, Y, W, H, Pitch, shortFrame, table));
        CheckRefused("DecodeData, table", outputBytes, o => NativeMethods.DecodeData(o, X, Y, W, H, Pitch, fullFrame, shortTable));
        CheckRefused("DecodeDataMultiThread, output", outputBytes - 1,
                     o => NativeMethods.DecodeDataMultiThread(o, X, Y, W, H, Pitch, fullFrame, table, 4));
        CheckRefused("DecodeDataMultiThread, frame", outputBytes,
                     o => NativeMethods.DecodeDataMultiThread(o, X, Y, W, H, Pitch, shortFrame, table, 4));
        CheckRefused("DecodeDCData, output", 29, o => NativeMethods.DecodeDCData(o, 2, 1, 10, 3, dcFrame));
        CheckRefused("DecodeDCData, frame", 30, o => NativeMethods.DecodeDCData(o, 2, 1, 10, 3, shortDcFrame));
        var coefficients = new short[outputBytes - 1];  // twice the pixels' bytes: as many elements
        Check(NativeMethods.DecodeDCTData(coefficients, X, Y, W, H, 2 * Pitch, fullFrame, table) == ResultCode.InvalidArgument,
              "DecodeDCTData, output one element short: refused");
        ushort sequenceNo;
        Check(NativeMethods.ExtractSequenceNo(new ReadOnlySpan<byte>(frame, 0, frame.Length - 13), 0, Lines, out sequenceNo) ==
              ResultCode.InvalidArgument, "ExtractSequenceNo, frame one byte short of the number: refused");
    }

    // The GPU decode's host copy and device address, checked against the set-up made through these
    // declarations.
    static void CheckGpu(byte[] frame)
    {
        var image = new byte[Width * Lines];
        Check(NativeMethods.DecodeGPU(frame, image, (int)Width) == ResultCode.InvalidArgument, "DecodeGPU before a set-up: refused");
        Check(NativeMethods.SetupGPUDecode(new FrameSize((int)Width, (int)Lines)) == ResultCode.Ok, "SetupGPUDecode");
        Check(NativeMethods.DecodeGPU(frame, image, (int)Width) == ResultCode.Ok && Fnv1a(image) == GpuPixelsHash,
              "DecodeGPU to the host: " + Fnv1a(image).ToString("x8"));
        IntPtr device;
        Check(NativeMethods.DecodeGPU(frame, out device, (int)Width) == ResultCode.Ok && device != IntPtr.Zero,
              "DecodeGPU on the device");
        byte[] shortImage = Canary(Width * Lines - 1);
        Check(NativeMethods.DecodeGPU(frame, shortImage, (int)Width) == ResultCode.InvalidArgument && IsCanary(shortImage),
              "DecodeGPU, image one byte short: refused");
        Check(NativeMethods.DecodeGPU(new ReadOnlySpan<byte>(frame, 0, frame.Length - 1), image, (int)Width) ==
              ResultCode.InvalidArgument, "DecodeGPU, frame one byte short: refused");
        Check(NativeMethods.TeardownGPUDecode() == ResultCode.Ok, "TeardownGPUDecode");
        Check(NativeMethods.DecodeGPU(frame, out device, (int)Width) == ResultCode.InvalidArgument,
              "DecodeGPU after the tear-down: refused");
    }

    static int Main()
    {
        byte[] frame = Frame();
        ushort[] table = Table();
        CheckDecodes(frame, table);
        CheckShortBuffersRefused(frame, table);
        CheckGpu(frame);
        return Finish("framedec from C# through spans");
    }
}
