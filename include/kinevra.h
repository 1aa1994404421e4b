/*
 * kinevra.h - the public interface of the Kinevra motion-rig library.
 *
 * A host (the rig's front end) loads kinevra.dll (Windows x64) or
 * libkinevra.so (Linux x86-64) and calls these functions by name. They use
 * the platform's C calling convention and take and return plain values:
 * 32-bit int, one-byte bool, double and pointers. No function throws; a
 * rejected call answers with its failure value. Arrays handed out by pointer
 * belong to the library and stay valid for the life of the process; the
 * game-source thread rewrites them in place every cycle.
 *
 * Engine functions build the one process-wide engine on first use. Call
 * stopGamesource_Thread before unloading the library.
 */
#ifndef KINEVRA_H
#define KINEVRA_H

#ifndef __cplusplus
#include <stdbool.h>
#endif

#if defined(KINEVRA_STATIC_CORE)
#define KINEVRA_API
#elif defined(_WIN32)
#if defined(KINEVRA_BUILDING)
#define KINEVRA_API __declspec(dllexport)
#else
#define KINEVRA_API __declspec(dllimport)
#endif
#else
#define KINEVRA_API __attribute__((visibility("default")))
#endif

#if defined(_WIN32)
#define KINEVRA_CALL __cdecl
#else
#define KINEVRA_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Engine: the game-source thread ---- */

/* Starts the game-source thread (searching, then the 2 ms motion cycle); a second call while it runs does nothing. */
KINEVRA_API void KINEVRA_CALL startGamesource_Thread(void);
/* Stops the game-source thread and waits for it to end; returns at once when none runs. */
KINEVRA_API void KINEVRA_CALL stopGamesource_Thread(void);
/* 1: the rig may move (the cycle computes and sends); 0: it may not. Each change restarts the 4 s fade-in. */
KINEVRA_API void KINEVRA_CALL setMotionsystemready(int ready);
/* Nonzero: busy-wait pacing of the 2 ms cycle; 0: sleep pacing. Starting the thread selects busy-wait again. */
KINEVRA_API void KINEVRA_CALL setTimerPrecision(int precise);

/* ---- Engine: status and telemetry ---- */

/* Id (0..17) of the attached game, -1 when none. */
KINEVRA_API int KINEVRA_CALL getGameID(void);
/* Writes the attached game's display name, or "No Game online", NUL-terminated, into name (at least 21 bytes); null is ignored. */
KINEVRA_API void KINEVRA_CALL getGameName(char* name);
/* Milliseconds between the attached game's last two telemetry updates. */
KINEVRA_API double KINEVRA_CALL getGameTimeFrame(void);
/* Length of the last game-source cycle in milliseconds. */
KINEVRA_API double KINEVRA_CALL getMotionDataTimeFrame(void);
/* Always 44. */
KINEVRA_API int KINEVRA_CALL getGameDataCount(void);
/* Stores the address of the 43 telemetry values handed to hosts and 43; null arguments are ignored. */
KINEVRA_API void KINEVRA_CALL getGameData(const double** values, int* count);
/* Stores the address of the first channel name ("lateral_speed"; the names follow one another, each NUL-terminated) and 43. */
KINEVRA_API void KINEVRA_CALL getGameDataNames(const char** firstName, int* count);
/* which 0: air cues, 1: ground cues, 2: output cues, 3: held cues; stores the array's address and 23. Other values write nothing. */
KINEVRA_API void KINEVRA_CALL getMotionCueData(int which, const double** values, int* count);
/* Active motion profile: 0 air, 1 ground, -1 none. */
KINEVRA_API int KINEVRA_CALL getactiveProfil(void);
/* Fade-in progress in percent, 0..100. */
KINEVRA_API double KINEVRA_CALL getTransitionStatus(void);
/* Weight of the air profile in percent, 0..100 (100 when flying steadily, rising during a take-off). */
KINEVRA_API double KINEVRA_CALL getProfilAirTransitionStatus(void);
/* Weight of the ground profile in percent, 0..100 (rising during a landing). */
KINEVRA_API double KINEVRA_CALL getProfilGrdTransitionStatus(void);

/* ---- Engine: motion profiles ---- */

/* Switches cue channel (0..22) of profile (0 air, 1 ground) on or off (an off channel gives 0); always restarts the fade-in. */
KINEVRA_API void KINEVRA_CALL setActiveAxis(int profile, int channel, bool on);
/* Sets belt-mix weight index (0..42) of profile (0 air, 1 ground); the belt sums items 1, 2, 4 and 5 of the air profile. Others ignored. */
KINEVRA_API void KINEVRA_CALL setBelt_Mix(int profile, int index, double weight);
/* Limits the input of cue channel 0..7 to [low, high] before its filter; channels 8 and 9 always get [-360, 360]; others ignored. */
KINEVRA_API void KINEVRA_CALL SetInputDofLimitValue(unsigned channel, double low, double high);

/* ---- Engine: filter chains ---- */

/* Compiles text (e.g. "GAIN(EMALP(VALUE;20);1.5)") and installs it as the chain of profile (0 air, 1 ground) channel (0..22); restarts the fade-in; false, with the old chain kept and the output suspended until a later success, when it does not compile or the slot does not exist. */
KINEVRA_API bool KINEVRA_CALL setcheckFilterstring(int profile, int channel, const char* text);
/* Compiles text as setcheckFilterstring does into a chain of its own (the engine is not touched) and runs it over count
 * inputs, one evaluation per 2 ms engine cycle from a fresh state, writing the results to output: what a channel with
 * that chain would make of that input. Returns count; -1 when the text does not compile; -2 for a null text, a count
 * below 0 or a null array with a count above 0. failColumn (may be null) gets -1, or for a refused text the byte offset
 * in text where the compiler stopped; reason (may be null; reasonSize bytes) gets "" or why it stopped, in English,
 * NUL-terminated and cut to fit. */
KINEVRA_API int KINEVRA_CALL evaluateFilterstring(const char* text, const double* input, double* output, int count,
                                                  int* failColumn, char* reason, int reasonSize);

/* ---- Engine: rig output ---- */

/* Limits output channel (0..22; only 0..5 are used) to [low, high]; both start at 0, so the rig stays still until these are set. Others ignored. */
KINEVRA_API void KINEVRA_CALL SetRigDofLimitValue(int channel, double low, double high);
/* Copies the last 36-byte output message (0xFC 0xFC, six floats, belt, wind, LF CR) into message; null is ignored. */
KINEVRA_API void KINEVRA_CALL getOutputData(unsigned char* message);

/* ---- Engine: motion cancel and snapshots ---- */

/* Publishes (true) or stops publishing (false) the smoothed rig pose in the shared block "Local\motionRigPose". */
KINEVRA_API void KINEVRA_CALL activateMotionCancel(bool on);
/* Smoothing constant of the pose (60 after activateMotionCancel(true)); false, nothing stored, while motion cancel is off. */
KINEVRA_API bool KINEVRA_CALL setFilterMotionCancel(double k);
/* Gain of the pose (1 at start); false, nothing stored, while motion cancel is off. */
KINEVRA_API bool KINEVRA_CALL setGainMotionCancel(double gain);
/* Takes the calculation records (23 doubles each, oldest first, at most 150) gathered since the last call; stores their count; null when none. Give the array back with FreeCalculationSnapshots. */
KINEVRA_API const double* KINEVRA_CALL GetCalculationSnapshots(int* count);
/* Releases an array returned by either Get...Snapshots function. */
KINEVRA_API void KINEVRA_CALL FreeCalculationSnapshots(const double* snapshots);
/* As GetCalculationSnapshots, with telemetry records of 43 doubles. */
KINEVRA_API const double* KINEVRA_CALL GetAccelerationSnapshots(int* count);
/* The same operation as FreeCalculationSnapshots. */
KINEVRA_API void KINEVRA_CALL FreeAccelerationSnapshots(const double* snapshots);
/* Address of the latest calculation record (23 doubles), rewritten every cycle. */
KINEVRA_API const double* KINEVRA_CALL GetPositionSnapshot(void);

/* ---- Wind output ----
 *
 * The fan controller: one power byte (0 off .. 255 full power) per send
 * interval on a serial port of its own, fed by the engine's wind channel.
 * initWindSerial configures the engine's own controller and is the portable
 * way for every host. C++ hosts built with this library's own toolchain
 * (GCC / MinGW-w64 and libstdc++) may also use the exported class
 * kinevra::WindSerial of kinevra_wind.h directly: it uses that compiler's C++
 * ABI and standard library types, so hosts built with any other compiler or
 * standard library (MSVC, libc++) must not; they use initWindSerial.
 */

/* UTF-16 text for initWindSerial: wchar_t on Windows, 16-bit code units elsewhere. */
#if defined(_WIN32)
typedef wchar_t kinevra_char16;
#elif defined(__cplusplus)
typedef char16_t kinevra_char16;
#else
typedef unsigned short kinevra_char16;
#endif
/* Configures the engine's fan controller: port name (e.g. L"COM7"), baud rate, frame format (three characters: data bits, parity N/E/O, stop bits 1/2, e.g. L"8N1") and send interval in ms (0 counts as 1). Both texts are NUL-terminated UTF-16; null counts as empty. 1, or 0 when the system knows no such port (the interval is kept all the same). The engine opens the port while it sends output with wind channel 21 of the air profile switched on, and writes 0x00 (fan off) whenever it loses the game or stops. */
KINEVRA_API int KINEVRA_CALL initWindSerial(const kinevra_char16* port, int baudRate, const kinevra_char16* frameFormat, int sendIntervalMs);

/* ---- Controller link: the serial port ---- */

/* Takes the number after the first "COM" in port (e.g. "COM5" -> 5, "COM" alone -> 0) as the standard port resumeInterface opens: 1, or 0 (nothing changed) when there is no "COM". */
KINEVRA_API int KINEVRA_CALL setStandartPort(const char* port);

/* ---- Controller link: the bridge and messages ---- */

/* Runs the serial bridge on the calling thread until stopMMFtoSerial_Thread; returns 1. */
KINEVRA_API int KINEVRA_CALL startMMFtoSerial_Thread(void);
/* Stops the bridge (and the UDP link) and waits for it to end; returns at once when none runs. */
KINEVRA_API void KINEVRA_CALL stopMMFtoSerial_Thread(void);
/* Queues a host message (bytes up to and including the first LF CR within 512 bytes) for the controller: 1 queued, -1 refused. */
KINEVRA_API int KINEVRA_CALL sendMessagemmf(const unsigned char* message);
/* Queues a state message that is repeated for 12 cycles while it is the only one: 1 queued, 0 refused. */
KINEVRA_API int KINEVRA_CALL autoMessagemmf(const unsigned char* message);
/* Copies the oldest controller frame into buffer (at least 512 bytes); returns the bytes written, 0 when none. */
KINEVRA_API int KINEVRA_CALL readMessagemmf(unsigned char* buffer);
/* 1 when readMessagemmf would deliver a frame, else 0. */
KINEVRA_API int KINEVRA_CALL newMessagemmf(void);
/* 1 while a link runs and a controller is connected (serial) or the UDP link is up. */
KINEVRA_API int KINEVRA_CALL isConnected(void);
/* 1 unless pauseInterface paused the controller interface. */
KINEVRA_API int KINEVRA_CALL isInterfaceRunning(void);
/* Pauses the controller interface and closes the serial port; returns 1. */
KINEVRA_API int KINEVRA_CALL pauseInterface(void);
/* Resumes the interface: 1 when auto-connect is on or the standard port opened (three tries, 500 ms apart), else 0. */
KINEVRA_API int KINEVRA_CALL resumeInterface(void);
/* Search every COM port for the controller while none is open; returns 1. */
KINEVRA_API int KINEVRA_CALL enableAutoconnect(void);
/* Stop searching; returns 1. */
KINEVRA_API int KINEVRA_CALL disableAutoconnect(void);
/* Length of the bridge's last cycle in milliseconds. */
KINEVRA_API double KINEVRA_CALL getOutputTimeFrame(void);

/* ---- Controller link: UDP ---- */

/* The UDP port (53241 at load) on which the next start of the listener receives the controller's datagrams. */
KINEVRA_API void KINEVRA_CALL setUDPport(unsigned short port);
/* Runs the UDP listener on the calling thread until stopMMFtoSerial_Thread: each datagram's frames go to readMessagemmf while they keep coming; after 8 s without a valid frame the messages waiting for the controller are dropped. Idles while the serial link delivers frames. */
KINEVRA_API void KINEVRA_CALL startUPDListenThread(void);
/* The multicast group (dotted IPv4 text, at most 19 characters; 232.11.12.14 at load) and port (51324) of the next start of the sender; a text that does not pass keeps the current ones. */
KINEVRA_API void KINEVRA_CALL setMulticastAddr(const char* address, unsigned short port);
/* Runs the multicast sender on the calling thread until stopMMFtoSerial_Thread or a send failure: every 2 ms the messages for the controller go to the group, sent from the active wired Ethernet adapter with the lowest metric. Returns at once when there is none (see the log in Documents\kinevra\errorlog.txt). Idles while the serial link delivers frames. */
KINEVRA_API void KINEVRA_CALL startUPDMulticastSenderThread(void);

#ifdef __cplusplus
}
#endif

#endif /* KINEVRA_H */
