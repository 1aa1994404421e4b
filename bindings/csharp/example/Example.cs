// A small .NET host of the Kinevra library through Kinevra.cs: it reads the
// engine's defaults, installs filter chains (and sees a broken one refused),
// rides a game for a moment and reads telemetry, cues, the rig message and
// the snapshot records. Every result is checked: exit code 0 when the
// library did what this file expects, 1 otherwise, 2 when no game came.
//
//   mono Example.exe [SECONDS_TO_WAIT_FOR_A_GAME]
using System;
using System.Runtime.InteropServices;
using System.Threading;
using Kinevra;

static class Example
{
    static int failures;

    static void Check(bool ok, string what)
    {
        if (ok) return;
        Console.Error.WriteLine("Example: FAILED: " + what);
        ++failures;
    }

    static int Main(string[] args)
    {
        int waitSeconds = args.Length > 0 ? int.Parse(args[0]) : 60;

        // Every one of the 50 declarations resolves in the library.
        try { Marshal.PrelinkAll(typeof(Native)); }
        catch (Exception e) { Check(false, "an export is missing: " + e.Message); }

        // Defaults of a freshly loaded library.
        Check(Native.getGameDataCount() == 44, "getGameDataCount is 44");
        Check(Native.getGameID() == -1 && Rig.GameName() == "No Game online", "no game at first");
        Check(Native.getTransitionStatus() == 100.0, "fade status 100 at first");
        Check(Native.getactiveProfil() == 0 && Native.getProfilAirTransitionStatus() == 100.0, "the air profile leads");
        var names = Rig.TelemetryNames();
        Check(names.Length == 43 && names[1] == "lateral_speed" && names[41] == "simtools_axis4b", "telemetry names");

        // Filter chains: a broken text is refused, good ones are installed.
        Check(!Native.setcheckFilterstring(0, 0, "EMALP(VALUE"), "a broken filter text is refused");
        string[] chains = { "GAIN(VALUE;0.05)", "GAIN(VALUE;-0.04)", "GAIN(VALUE;0.05)",
                            "GAIN(VALUE;0.004)", "GAIN(EMALP(VALUE;10);0.005)", "GAIN(EMALP(VALUE;10);0.005)" };
        for (int ch = 0; ch < 6; ++ch)
        {
            Check(Native.setcheckFilterstring(0, ch, chains[ch]), chains[ch]);
            Native.setActiveAxis(0, ch, true);
            Native.SetInputDofLimitValue((uint)ch, ch < 3 ? -30.0 : -200.0, ch < 3 ? 30.0 : 200.0);
            Native.SetRigDofLimitValue(ch, -0.2, 0.2);
        }

        // Ride the game for a moment.
        Native.startGamesource_Thread();
        try
        {
            for (int i = 0; i < waitSeconds * 10 && Native.getGameID() < 0; ++i) Thread.Sleep(100);
            if (Native.getGameID() < 0)
            {
                Console.Error.WriteLine("Example: no game within " + waitSeconds + " s");
                return 2;
            }
            Console.WriteLine("game: " + Rig.GameName() + " (id " + Native.getGameID() + ")");
            Native.setMotionsystemready(1);
            for (int i = 0; i < 300 && Native.getTransitionStatus() < 100.0; ++i) Thread.Sleep(100);
            Check(Native.getTransitionStatus() == 100.0, "the fade-in completes");

            var telemetry = Rig.Telemetry();
            Check(telemetry.Length == 43, "43 telemetry values");
            int moving = 0;
            foreach (double v in telemetry)
            {
                Check(!double.IsNaN(v) && !double.IsInfinity(v), "telemetry values are finite");
                if (v != 0.0) ++moving;
            }
            Check(moving > 0, "the game's telemetry moves");
            for (int i = 1; i <= 6; ++i) Console.WriteLine("  {0,-16} {1,10:F4}", names[i], telemetry[i]);

            var cues = Rig.CueValues(Rig.Cues.Output);
            Check(cues.Length == 23, "23 output cues");

            var message = Rig.RigMessage();
            Check(message[0] == 0xFC && message[1] == 0xFC && message[34] == 0x0A && message[35] == 0x0D,
                  "the rig message is framed FC FC ... LF CR");
            int nonzero = 0;
            for (int axis = 0; axis < 6; ++axis)
            {
                float v = Rig.Axis(message, axis);
                Check(v >= -0.2f && v <= 0.2f, "axis " + axis + " within its limits");
                if (v != 0.0f) ++nonzero;
                Console.WriteLine("  axis {0}: {1,8:F4}", axis, v);
            }
            Check(nonzero > 0, "the rig moves");

            var records = Rig.CalculationSnapshots();
            Check(records.Length > 0 && records.Length <= 150 && records[0].Length == 23, "calculation records");
            var telemetryRecords = Rig.AccelerationSnapshots();
            Check(telemetryRecords.Length > 0 && telemetryRecords[0].Length == 43, "telemetry records");
            Check(Rig.PositionSnapshot().Length == 23, "position record");
            Console.WriteLine("records: {0} calculation, {1} telemetry", records.Length, telemetryRecords.Length);

            // Motion cancel: settings are taken only while it is on.
            Check(!Native.setFilterMotionCancel(30.0), "motion-cancel filter refused while off");
            Native.activateMotionCancel(true);
            Check(Native.setFilterMotionCancel(30.0) && Native.setGainMotionCancel(0.8), "motion-cancel settings");
            Native.activateMotionCancel(false);

            // No link loop runs: the controller link refuses messages.
            Check(Rig.SendMessage(new byte[] { 0xF9, 0xF9, 0x02, 0x00 }) == -1, "no message without a link");
            Check(Native.isConnected() == 0 && Rig.ReadMessage() == null, "no controller");
        }
        finally
        {
            Native.setMotionsystemready(0);
            Native.stopGamesource_Thread();
        }
        Console.WriteLine(failures == 0 ? "Example: all checks passed" : "Example: " + failures + " check(s) failed");
        return failures == 0 ? 0 : 1;
    }
}
