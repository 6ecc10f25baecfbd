// What both C# test programs decode: the fixed pseudo-random frame and table of the C consumer
// check, and the FNV-1a hashes of the C library's output for them.
using System;
using System.Runtime.InteropServices;

static class TestFrame
{
    public const uint Lines = 64, Width = 1246, DctWidth = 1248, PreviewWidth = 160;
    public const uint PixelsHash = 0x90f00277, CoefficientsHash = 0xc2f69074, PreviewHash = 0x5df23add;
    // DecodeGPU's image with its fixed table (the host GPU backend's, which a GPU's equals).
    public const uint GpuPixelsHash = 0xa9b55bc5;
    public const ushort SequenceNo = 0x3b4f;

    public static byte[] Frame()
    {
        var frame = new byte[Lines * 320];
        uint state = 12345;
        for (int i = 0; i < frame.Length; ++i)
        {
            state = state * 1103515245 + 12345;
            frame[i] = (byte)(state >> 16);
        }
        return frame;
    }

    public static ushort[] Table()
    {
        var table = new ushort[64];
        for (int i = 0; i < 64; ++i) table[i] = (ushort)(1 + i % 7);
        return table;
    }

    public static uint Fnv1a(ReadOnlySpan<byte> data)
    {
        uint hash = 2166136261;
        foreach (byte b in data) hash = (hash ^ b) * 16777619;
        return hash;
    }

    public static uint Fnv1a(ReadOnlySpan<short> data) => Fnv1a(MemoryMarshal.AsBytes(data));

    static int failures;

    public static void Check(bool passed, string what)
    {
        if (passed) return;
        Console.WriteLine("failed: " + what);
        ++failures;
    }

    // The program's exit code, after a summary line.
    public static int Finish(string program)
    {
        Console.WriteLine(failures == 0 ? program + ": ok" : program + ": " + failures + " checks failed");
        return failures == 0 ? 0 : 1;
    }
}
