// Kinevra.cs - the Kinevra motion-rig library for .NET and Mono hosts.
//
// `Kinevra.Native` declares the library's 50 flat exports exactly as
// kinevra.h does (C calling convention; `bool` is the one-byte C bool).
// `Kinevra.Rig` wraps the ones that hand out memory: arrays owned by the
// library are copied into managed arrays, and the snapshot blocks the caller
// owns are always given back to the library.
//
// The library is imported as "kinevra": .NET on Windows loads kinevra.dll
// (beside the program, or on the DLL search path); Mono and .NET on Linux
// load libkinevra.so (beside the program, or on LD_LIBRARY_PATH). The same
// file builds unchanged for both.
using System;
using System.Runtime.InteropServices;
using System.Text;

namespace Kinevra
{
    public static class Native
    {
        public const string Library = "kinevra";
        const CallingConvention C = CallingConvention.Cdecl;

        // ---- Engine: the game-source thread ----
        [DllImport(Library, CallingConvention = C)] public static extern void startGamesource_Thread();
        [DllImport(Library, CallingConvention = C)] public static extern void stopGamesource_Thread();
        [DllImport(Library, CallingConvention = C)] public static extern void setMotionsystemready(int ready);
        [DllImport(Library, CallingConvention = C)] public static extern void setTimerPrecision(int precise);

        // ---- Engine: status and telemetry ----
        [DllImport(Library, CallingConvention = C)] public static extern int getGameID();
        // name: at least 21 bytes.
        [DllImport(Library, CallingConvention = C)] public static extern void getGameName(byte[] name);
        [DllImport(Library, CallingConvention = C)] public static extern double getGameTimeFrame();
        [DllImport(Library, CallingConvention = C)] public static extern double getMotionDataTimeFrame();
        [DllImport(Library, CallingConvention = C)] public static extern int getGameDataCount();
        [DllImport(Library, CallingConvention = C)] public static extern void getGameData(out IntPtr values, out int count);
        [DllImport(Library, CallingConvention = C)] public static extern void getGameDataNames(out IntPtr firstName, out int count);
        [DllImport(Library, CallingConvention = C)] public static extern void getMotionCueData(int which, out IntPtr values, out int count);
        [DllImport(Library, CallingConvention = C)] public static extern int getactiveProfil();
        [DllImport(Library, CallingConvention = C)] public static extern double getTransitionStatus();
        [DllImport(Library, CallingConvention = C)] public static extern double getProfilAirTransitionStatus();
        [DllImport(Library, CallingConvention = C)] public static extern double getProfilGrdTransitionStatus();

        // ---- Engine: motion profiles and filter chains ----
        [DllImport(Library, CallingConvention = C)]
        public static extern void setActiveAxis(int profile, int channel, [MarshalAs(UnmanagedType.I1)] bool on);
        [DllImport(Library, CallingConvention = C)] public static extern void setBelt_Mix(int profile, int index, double weight);
        [DllImport(Library, CallingConvention = C)] public static extern void SetInputDofLimitValue(uint channel, double low, double high);
        [DllImport(Library, CallingConvention = C, CharSet = CharSet.Ansi, BestFitMapping = false, ThrowOnUnmappableChar = true)]
        [return: MarshalAs(UnmanagedType.I1)]
        public static extern bool setcheckFilterstring(int profile, int channel, [MarshalAs(UnmanagedType.LPStr)] string text);
        // A chain of its own run over input (the engine untouched): count, -1 refused (see failColumn and reason), -2 bad arguments.
        [DllImport(Library, CallingConvention = C, CharSet = CharSet.Ansi, BestFitMapping = false, ThrowOnUnmappableChar = true)]
        public static extern int evaluateFilterstring([MarshalAs(UnmanagedType.LPStr)] string text, double[] input, [Out] double[] output,
            int count, out int failColumn, byte[] reason, int reasonSize);

        // ---- Engine: rig output, motion cancel and snapshots ----
        [DllImport(Library, CallingConvention = C)] public static extern void SetRigDofLimitValue(int channel, double low, double high);
        // message: at least 36 bytes.
        [DllImport(Library, CallingConvention = C)] public static extern void getOutputData(byte[] message);
        [DllImport(Library, CallingConvention = C)] public static extern void activateMotionCancel([MarshalAs(UnmanagedType.I1)] bool on);
        [DllImport(Library, CallingConvention = C)] [return: MarshalAs(UnmanagedType.I1)] public static extern bool setFilterMotionCancel(double k);
        [DllImport(Library, CallingConvention = C)] [return: MarshalAs(UnmanagedType.I1)] public static extern bool setGainMotionCancel(double gain);
        [DllImport(Library, CallingConvention = C)] public static extern IntPtr GetCalculationSnapshots(out int count);
        [DllImport(Library, CallingConvention = C)] public static extern void FreeCalculationSnapshots(IntPtr snapshots);
        [DllImport(Library, CallingConvention = C)] public static extern IntPtr GetAccelerationSnapshots(out int count);
        [DllImport(Library, CallingConvention = C)] public static extern void FreeAccelerationSnapshots(IntPtr snapshots);
        [DllImport(Library, CallingConvention = C)] public static extern IntPtr GetPositionSnapshot();

        // ---- Wind output: UTF-16 texts ----
        [DllImport(Library, CallingConvention = C, CharSet = CharSet.Unicode)]
        public static extern int initWindSerial([MarshalAs(UnmanagedType.LPWStr)] string port, int baudRate,
                                                [MarshalAs(UnmanagedType.LPWStr)] string frameFormat, int sendIntervalMs);

        // ---- Controller link: serial port, bridge and messages ----
        [DllImport(Library, CallingConvention = C, CharSet = CharSet.Ansi)]
        public static extern int setStandartPort([MarshalAs(UnmanagedType.LPStr)] string port);
        // Runs the serial bridge on the calling thread until stopMMFtoSerial_Thread.
        [DllImport(Library, CallingConvention = C)] public static extern int startMMFtoSerial_Thread();
        [DllImport(Library, CallingConvention = C)] public static extern void stopMMFtoSerial_Thread();
        // message: a buffer of up to 512 bytes holding a message that ends with LF CR.
        [DllImport(Library, CallingConvention = C)] public static extern int sendMessagemmf(byte[] message);
        [DllImport(Library, CallingConvention = C)] public static extern int autoMessagemmf(byte[] message);
        // buffer: at least 512 bytes.
        [DllImport(Library, CallingConvention = C)] public static extern int readMessagemmf(byte[] buffer);
        [DllImport(Library, CallingConvention = C)] public static extern int newMessagemmf();
        [DllImport(Library, CallingConvention = C)] public static extern int isConnected();
        [DllImport(Library, CallingConvention = C)] public static extern int isInterfaceRunning();
        [DllImport(Library, CallingConvention = C)] public static extern int pauseInterface();
        [DllImport(Library, CallingConvention = C)] public static extern int resumeInterface();
        [DllImport(Library, CallingConvention = C)] public static extern int enableAutoconnect();
        [DllImport(Library, CallingConvention = C)] public static extern int disableAutoconnect();
        [DllImport(Library, CallingConvention = C)] public static extern double getOutputTimeFrame();

        // ---- Controller link over UDP ----
        [DllImport(Library, CallingConvention = C)] public static extern void setUDPport(ushort port);
        // Runs the UDP listener on the calling thread until stopMMFtoSerial_Thread.
        [DllImport(Library, CallingConvention = C)] public static extern void startUPDListenThread();
        [DllImport(Library, CallingConvention = C, CharSet = CharSet.Ansi)]
        public static extern void setMulticastAddr([MarshalAs(UnmanagedType.LPStr)] string address, ushort port);
        // Runs the multicast sender on the calling thread until stopMMFtoSerial_Thread.
        [DllImport(Library, CallingConvention = C)] public static extern void startUPDMulticastSenderThread();
    }

    // The exports a host uses most, in managed terms.
    public static class Rig
    {
        public const int ChannelCount = 23;
        public const int TelemetryCount = 43;
        public const int MessageBufferSize = 512;
        public const int RigMessageSize = 36;

        public enum Cues { Air = 0, Ground = 1, Output = 2, Held = 3 }

        static double[] Copy(IntPtr values, int count)
        {
            if (values == IntPtr.Zero || count <= 0) return new double[0];
            var a = new double[count];
            Marshal.Copy(values, a, 0, count);
            return a;
        }

        // The attached game's display name ("No Game online" when none).
        public static string GameName()
        {
            var b = new byte[21];
            Native.getGameName(b);
            int n = Array.IndexOf(b, (byte)0);
            return Encoding.ASCII.GetString(b, 0, n < 0 ? b.Length : n);
        }

        // A copy of the 43 telemetry values (the engine rewrites its own every 2 ms).
        public static double[] Telemetry()
        {
            IntPtr p; int n;
            Native.getGameData(out p, out n);
            return Copy(p, n);
        }

        // The 43 telemetry names, in the order of Telemetry() (the first has none: "").
        public static string[] TelemetryNames()
        {
            IntPtr p; int n;
            Native.getGameDataNames(out p, out n);
            var names = new string[n];
            if (p == IntPtr.Zero) return names;
            // Item 0 has no name; the names of items 1.. follow one another, each NUL-terminated.
            names[0] = "";
            int offset = 0;
            for (int i = 1; i < n; ++i)
            {
                var s = new StringBuilder();
                byte c;
                while ((c = Marshal.ReadByte(p, offset++)) != 0) s.Append((char)c);
                names[i] = s.ToString();
            }
            return names;
        }

        // A copy of one of the four cue arrays (23 values).
        public static double[] CueValues(Cues which)
        {
            IntPtr p; int n;
            Native.getMotionCueData((int)which, out p, out n);
            return Copy(p, n);
        }

        // The last 36-byte rig message.
        public static byte[] RigMessage()
        {
            var m = new byte[RigMessageSize];
            Native.getOutputData(m);
            return m;
        }

        // Axis 0..5 of a rig message (little-endian floats from byte 2).
        public static float Axis(byte[] message, int axis)
        {
            var b = new byte[4];
            Array.Copy(message, 2 + 4 * axis, b, 0, 4);
            if (!BitConverter.IsLittleEndian) Array.Reverse(b);
            return BitConverter.ToSingle(b, 0);
        }

        // The calculation records gathered since the last call (count x 23 values,
        // oldest first); the library's block is given back before this returns.
        public static double[][] CalculationSnapshots()
        {
            int n;
            IntPtr p = Native.GetCalculationSnapshots(out n);
            try { return Records(p, n, ChannelCount); }
            finally { if (p != IntPtr.Zero) Native.FreeCalculationSnapshots(p); }
        }

        // The telemetry records gathered since the last call (count x 43 values).
        public static double[][] AccelerationSnapshots()
        {
            int n;
            IntPtr p = Native.GetAccelerationSnapshots(out n);
            try { return Records(p, n, TelemetryCount); }
            finally { if (p != IntPtr.Zero) Native.FreeAccelerationSnapshots(p); }
        }

        // A copy of the latest calculation record (23 values).
        public static double[] PositionSnapshot()
        {
            return Copy(Native.GetPositionSnapshot(), ChannelCount);
        }

        static double[][] Records(IntPtr p, int count, int width)
        {
            if (p == IntPtr.Zero || count <= 0) return new double[0][];
            var all = Copy(p, count * width);
            var records = new double[count][];
            for (int i = 0; i < count; ++i)
            {
                records[i] = new double[width];
                Array.Copy(all, i * width, records[i], 0, width);
            }
            return records;
        }

        // Queues a message for the controller: the bytes given, followed by LF CR
        // (which the link replaces with the CRC). 1 queued, -1 refused.
        public static int SendMessage(byte[] message)
        {
            return Native.sendMessagemmf(Framed(message));
        }

        // Queues a state message, repeated while it is the only one. 1 queued, 0 refused.
        public static int SendAutoMessage(byte[] message)
        {
            return Native.autoMessagemmf(Framed(message));
        }

        // The oldest frame from the controller (ending in LF CR), or null when none.
        public static byte[] ReadMessage()
        {
            var b = new byte[MessageBufferSize];
            int n = Native.readMessagemmf(b);
            if (n <= 0) return null;
            var m = new byte[Math.Min(n, b.Length)];
            Array.Copy(b, m, m.Length);
            return m;
        }

        static byte[] Framed(byte[] message)
        {
            if (message == null || message.Length > MessageBufferSize - 2)
                throw new ArgumentException("a controller message holds at most 510 bytes");
            var b = new byte[MessageBufferSize];
            Array.Copy(message, b, message.Length);
            b[message.Length] = 0x0A;
            b[message.Length + 1] = 0x0D;
            return b;
        }
    }
}
