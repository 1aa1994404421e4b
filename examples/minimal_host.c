/*
 * minimal_host.c - the smallest complete host of the Kinevra library, in C.
 *
 * It does what a rig's front end does, in the order a front end does it:
 * configure the engine (filter texts, axes, rig limits), start the engine
 * thread, wait for a game, declare the motion system ready, watch the 4 s
 * fade-in, read telemetry, cues, the rig message and the snapshot records,
 * and shut down. It links the library (libkinevra.so, or kinevra.dll through
 * its import library libkinevra.dll.a) and includes only kinevra.h.
 *
 *   minimal_host [SECONDS_TO_WAIT_FOR_A_GAME]
 *
 * Every result is checked; the program exits 0 when the library did what
 * this file expects of it, 1 with the reason otherwise, and 2 when no game
 * turned up in time.
 */
#if !defined(_WIN32)
#define _POSIX_C_SOURCE 200809L /* nanosleep */
#endif
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "kinevra.h"

#if defined(_WIN32)
#include <windows.h>
static void sleepMs(int ms) { Sleep((DWORD)ms); }
#else
#include <time.h>
static void sleepMs(int ms) {
  struct timespec t;
  t.tv_sec = ms / 1000;
  t.tv_nsec = (long)(ms % 1000) * 1000000L;
  nanosleep(&t, NULL);
}
#endif

static int failures = 0;

static void check(int ok, const char* what) {
  if (!ok) {
    fprintf(stderr, "minimal_host: FAILED: %s\n", what);
    ++failures;
  }
}

/* One value of an array the engine rewrites while the host reads it (the
 * telemetry, the cues): a relaxed atomic load where the compiler offers one,
 * so that neither the compiler nor a race detector takes it for a plain read
 * of unchanging memory. A value read this way is whole; values read one
 * after another may come from two consecutive cycles. */
static double readLive(const double* value) {
#if defined(__GNUC__)
  double v;
  __atomic_load(value, &v, __ATOMIC_RELAXED);
  return v;
#else
  return *(const volatile double*)value;
#endif
}

/* The rig message's channel i (0..5): a little-endian float from byte 2. */
static float channelOf(const unsigned char* message, int i) {
  unsigned char b[4];
  float f;
  const unsigned char* p = message + 2 + 4 * i;
  unsigned int one = 1;
  if (*(const unsigned char*)&one == 1) {
    memcpy(b, p, 4);
  } else {
    b[0] = p[3];
    b[1] = p[2];
    b[2] = p[1];
    b[3] = p[0];
  }
  memcpy(&f, b, 4);
  return f;
}

int main(int argc, char** argv) {
  const int waitSeconds = argc > 1 ? atoi(argv[1]) : 60;
  setvbuf(stdout, NULL, _IONBF, 0);

  /* 1. Configure. A text the filter language refuses is reported as false
   *    (and holds the output until a good one is installed). */
  check(getGameDataCount() == 44, "getGameDataCount is 44");
  check(!setcheckFilterstring(0, 0, "GAIN(VALUE;"), "a broken filter text is refused");
  static const char* const chains[6] = {
      "GAIN(VALUE;0.05)",            /* lateral: lateral acceleration */
      "GAIN(VALUE;-0.04)",           /* longitudinal */
      "GAIN(VALUE;0.05)",            /* vertical */
      "GAIN(VALUE;0.004)",           /* yaw */
      "GAIN(EMALP(VALUE;10);0.005)", /* roll, smoothed */
      "GAIN(EMALP(VALUE;10);0.005)", /* pitch, smoothed */
  };
  for (int ch = 0; ch < 6; ++ch) {
    check(setcheckFilterstring(0, ch, chains[ch]), chains[ch]);
    setActiveAxis(0, ch, true);
    /* Each channel's input is clamped before its chain, and the limits
     * start at 0: accelerations within +-30 m/s^2, rates within +-200 deg/s. */
    SetInputDofLimitValue((unsigned)ch, ch < 3 ? -30.0 : -200.0, ch < 3 ? 30.0 : 200.0);
    /* The rig stays still until its limits are set: +-0.2 on every axis. */
    SetRigDofLimitValue(ch, -0.2, 0.2);
  }

  /* 2. Start the engine thread: it searches for a game. */
  startGamesource_Thread();
  int id = -1;
  for (int i = 0; i < waitSeconds * 10 && (id = getGameID()) < 0; ++i) sleepMs(100);
  if (id < 0) {
    fprintf(stderr, "minimal_host: no game within %d s\n", waitSeconds);
    stopGamesource_Thread();
    return 2;
  }
  char name[21];
  getGameName(name);
  printf("game: %s (id %d)\n", name, id);

  /* 3. The rig may move: the engine eases the motion in over 4 s. */
  setMotionsystemready(1);
  double fade = 0.0;
  for (int i = 0; i < 300 && (fade = getTransitionStatus()) < 100.0; ++i) sleepMs(100);
  printf("fade-in: %.0f %%\n", fade);
  check(fade == 100.0, "the fade-in completes");
  printf("cycle: %.3f ms, game update interval: %.3f ms\n", getMotionDataTimeFrame(), getGameTimeFrame());

  /* 4. Telemetry: 43 values, named by getGameDataNames (each name follows
   *    the previous one's NUL). Copy what you need: the engine rewrites them. */
  const double* values = NULL;
  const char* names = NULL;
  int count = 0, nameCount = 0;
  getGameData(&values, &count);
  getGameDataNames(&names, &nameCount);
  check(values != NULL && count == 43 && names != NULL && nameCount == 43, "telemetry arrays");
  if (values && names) {
    int moving = 0;
    const char* n = names;
    for (int i = 1; i < count; ++i, n += strlen(n) + 1) {
      const double v = readLive(&values[i]);
      check(isfinite(v), "telemetry values are finite");
      if (v != 0.0) ++moving;
      if (i <= 6) printf("  %-16s %10.4f\n", n, v);
    }
    check(moving > 0, "the game's telemetry moves");
  }

  /* 5. Cues (2: the output cues) and the rig message the controller gets. */
  const double* cues = NULL;
  getMotionCueData(2, &cues, &count);
  check(cues != NULL && count == 23, "cue array");
  unsigned char message[36];
  memset(message, 0, sizeof message);
  getOutputData(message);
  check(message[0] == 0xFC && message[1] == 0xFC && message[34] == 0x0A && message[35] == 0x0D,
        "the rig message is framed FC FC ... LF CR");
  int inside = 1, nonzero = 0;
  for (int ch = 0; ch < 6; ++ch) {
    const float v = channelOf(message, ch);
    if (!(v >= -0.2f && v <= 0.2f)) inside = 0;
    if (v != 0.0f) ++nonzero;
    printf("  axis %d: %8.4f\n", ch, v);
  }
  check(inside, "every axis stays within its limits");
  check(nonzero > 0, "the rig moves");

  /* 6. Snapshot records for live graphs: taken, then always given back. */
  int records = 0;
  const double* snapshots = GetCalculationSnapshots(&records);
  printf("calculation records: %d\n", records);
  check(snapshots != NULL && records > 0 && records <= 150, "calculation records");
  FreeCalculationSnapshots(snapshots);

  /* 7. Shut down: the rig stops, then the engine thread. */
  setMotionsystemready(0);
  stopGamesource_Thread();
  printf(failures ? "minimal_host: %d check(s) failed\n" : "minimal_host: all checks passed\n", failures);
  return failures ? 1 : 0;
}
