#pragma once
// Byte streams with completed I/O: a named pipe or a TCP connection whose
// reads and writes are started by the caller and finished later by a
// completion routine. The flight simulator's client connection runs on it.
//
// Windows: named pipes opened with CreateFileA (overlapped) and Winsock
// sockets, bound to the system thread pool with BindIoCompletionCallback; the
// routine runs on a pool thread.
// Linux: the pipe is a Unix-domain stream socket in the abstract namespace
// whose name is the pipe's full name ("\\.\pipe\..." as text, see
// pipeSocketName); TCP the same way as on Windows. One process-wide I/O thread
// (epoll) carries out the started reads and writes and runs the routine.
//
// Every started read or write whose start returned 0 gets exactly one call of
// the routine, also when the stream is closed meanwhile (then with
// kStatusCancelled): a caller may count its outstanding I/O on that.
#include <cstddef>
#include <cstdint>
#include <string>

namespace kinevra::platform {

// The pipe handle or SOCKET on Windows; the descriptor elsewhere.
using StreamHandle = std::intptr_t;
inline constexpr StreamHandle kInvalidStream = -1;

enum class StreamKind : std::uint8_t { Tcp = 0, Pipe = 1 };

// Completion statuses, the system's own values (NTSTATUS). On Linux the
// socket errors are mapped onto them; an errno without a counterpart is
// reported as kStatusOtherError | errno.
inline constexpr std::uint32_t kStatusSuccess = 0;
inline constexpr std::uint32_t kStatusBufferOverflow = 0x80000005;  // more of a pipe message follows
inline constexpr std::uint32_t kStatusInvalidHandle = 0xC0000008;
inline constexpr std::uint32_t kStatusCancelled = 0xC0000120;
inline constexpr std::uint32_t kStatusRemoteDisconnect = 0xC000013C;
inline constexpr std::uint32_t kStatusLinkFailed = 0xC000013E;
inline constexpr std::uint32_t kStatusPipeBroken = 0xC000014B;
inline constexpr std::uint32_t kStatusConnectionReset = 0xC000020D;
inline constexpr std::uint32_t kStatusOtherError = 0xE0000000;  // customer bit: not a system status

// One started read or write. The first part belongs to the system (the
// OVERLAPPED on Windows); owner and kind belong to the caller and are handed
// back to the routine untouched.
struct IoRecord {
  alignas(8) unsigned char system[32] = {};
  void* owner = nullptr;
  std::uint8_t kind = 0;
};

// Runs when a started read or write has finished: its status, the number of
// bytes moved, and its record.
using IoCompletion = void (*)(std::uint32_t status, std::uint32_t bytes, IoRecord* record);

// The Unix-domain socket name that stands for a pipe name on Linux (the
// abstract namespace, so without a file and private to the network
// namespace): "\0" followed by the name as given. Windows: the name itself.
std::string pipeSocketName(const std::string& pipeName);

// Opens the named pipe "\\server\pipe\name" for reading and writing, not
// shared, existing only. Windows: when every instance is busy, waits up to
// 5000 ms (WaitNamedPipeA) and tries once more. kInvalidStream on failure,
// with the system's error in *error when given.
StreamHandle openPipe(const std::string& pipeName, int* error = nullptr);

// Resolves address and port (getaddrinfo, the family asked for, stream,
// IPPROTO_TCP), takes the first result only and connects to it, blocking.
// kInvalidStream on failure. The socket library must have been started.
StreamHandle openTcp(const std::string& address, const std::string& port, bool ipv6, int* error = nullptr);

// Hands the stream's completions to routine; false on failure (the stream
// stays open and is the caller's to close).
bool bindCompletion(StreamHandle h, StreamKind kind, IoCompletion routine);

// Sets TCP_NODELAY on a TCP stream; false on failure.
bool setNoDelay(StreamHandle h);

// Starts reading at most length bytes into buffer, or writing length bytes
// (a write finishes when all of them are written). 0: started, the routine
// will run. Otherwise the status of the immediate failure; the routine will
// not run for it. buffer and record must stay valid until the routine runs.
std::uint32_t startRead(StreamHandle h, StreamKind kind, void* buffer, std::uint32_t length, IoRecord* record);
std::uint32_t startWrite(StreamHandle h, StreamKind kind, const void* data, std::uint32_t length,
                         IoRecord* record);

// Closes the stream. TCP: both directions shut down, pending I/O cancelled,
// socket closed; pipe: the handle closed. Started I/O still finishes through
// the routine (kStatusCancelled, or what the system reports).
void closeStream(StreamHandle h, StreamKind kind);

}  // namespace kinevra::platform
