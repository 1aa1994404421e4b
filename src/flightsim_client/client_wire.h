#pragma once
// The flight simulator's client protocol on the wire: the header and bodies
// of the messages the client sends, and cutting the simulator's messages out
// of the received byte stream. No I/O here.
#include <cstddef>
#include <cstdint>
#include <memory>

namespace kinevra::flightsim {

// Result codes of the client operations (HRESULTs, as 32-bit ints).
inline constexpr std::int32_t kOk = 0;
inline constexpr std::int32_t kFail = static_cast<std::int32_t>(0x80004005u);              // E_FAIL
inline constexpr std::int32_t kAbort = static_cast<std::int32_t>(0x80004004u);             // E_ABORT
inline constexpr std::int32_t kOutOfMemory = static_cast<std::int32_t>(0x8007000Eu);       // E_OUTOFMEMORY
inline constexpr std::int32_t kInvalidArg = static_cast<std::int32_t>(0x80070057u);        // E_INVALIDARG
inline constexpr std::int32_t kInsufficientBuffer = static_cast<std::int32_t>(0x8007007Au);  // ERROR_INSUFFICIENT_BUFFER

inline constexpr std::uint32_t kProtocolVersion = 5;
inline constexpr std::size_t kHeaderSize = 16;
inline constexpr std::size_t kTextField = 256;     // text fields: at most 255 characters and a NUL
inline constexpr std::size_t kStagingSize = 41088;
inline constexpr std::uint32_t kDefaultMaxReceive = 41088;

// Message types the client sends (0xF0000000 plus the type number).
inline constexpr std::uint32_t kTypeOpen = 0xF0000001;
inline constexpr std::uint32_t kTypeAddToDataDefinition = 0xF000000C;
inline constexpr std::uint32_t kTypeRequestDataOnSimObject = 0xF000000E;
inline constexpr std::uint32_t kTypeSubscribeToSystemEvent = 0xF0000017;

inline constexpr std::size_t kOpenSize = 296;
inline constexpr std::size_t kAddToDataDefinitionSize = 544;
inline constexpr std::size_t kRequestDataOnSimObjectSize = 48;
inline constexpr std::size_t kSubscribeToSystemEventSize = 276;

// Message ids the simulator sends (byte 8 of its messages).
inline constexpr std::uint32_t kRecvException = 1;
inline constexpr std::uint32_t kRecvOpen = 2;
inline constexpr std::uint32_t kRecvQuit = 3;
inline constexpr std::uint32_t kRecvEvent = 4;
inline constexpr std::uint32_t kRecvSimObjectData = 8;
// A received message of this size or less is not handed to the caller.
inline constexpr std::uint32_t kShortestDispatched = 12;

// The receive buffer: 2048 bytes at first, grown by 2048 bytes while its
// capacity is at most 1,048,575 bytes, so never larger than 1,048,576.
inline constexpr std::size_t kReceiveChunk = 2048;
inline constexpr std::size_t kLargestReceiveBuffer = 1048576;

void putU32(unsigned char* at, std::uint32_t v);
void putF32(unsigned char* at, float v);
std::uint32_t getU32(const unsigned char* at);

// Writes the 16-byte header.
void writeHeader(unsigned char* msg, std::uint32_t size, std::uint32_t type, std::uint32_t sendId);
// Copies text into a 256-byte field, zero-filling the rest; false (field
// untouched) when the text has 256 characters or more. A null text is empty.
bool writeText(unsigned char* field, const char* text);

// The bodies (from byte 16) of the messages; the header is the caller's. A
// false answer means a text was too long.
bool writeOpenBody(unsigned char* msg, const char* appName);
bool writeAddToDataDefinitionBody(unsigned char* msg, std::uint32_t defineId, const char* name, const char* units,
                                  std::uint32_t datumType, float epsilon, std::uint32_t datumId);
void writeRequestDataOnSimObjectBody(unsigned char* msg, std::uint32_t requestId, std::uint32_t defineId,
                                     std::uint32_t objectId, std::uint32_t period, std::uint32_t flags,
                                     std::uint32_t origin, std::uint32_t interval, std::uint32_t limit);
bool writeSubscribeToSystemEventBody(unsigned char* msg, std::uint32_t eventId, const char* eventName);

// Bytes received and not yet cut into messages: [readPos, writePos) of data.
// The free space to receive into is [writePos, capacity).
struct ReceiveBuffer {
  ReceiveBuffer() = default;
  ~ReceiveBuffer();
  ReceiveBuffer(const ReceiveBuffer&) = delete;
  ReceiveBuffer& operator=(const ReceiveBuffer&) = delete;

  bool allocate(std::size_t size);  // a fresh empty buffer; false when out of memory
  void reset() { readPos = writePos = 0; }

  unsigned char* data = nullptr;
  std::size_t capacity = 0;
  std::size_t readPos = 0;
  std::size_t writePos = 0;
};

enum class ExtractResult {
  NeedMore,     // all whole messages delivered; the rest is an unfinished one
  TooLarge,     // a length prefix above the maximum: close, reason 1
  TooSmall,     // a length prefix below 4: close, reason 2
  OutOfMemory,  // no memory for a message or a larger buffer: close, reason 3
};

// One received message, separately allocated, handed over to its receiver.
struct ReceivedMessage {
  std::unique_ptr<unsigned char[]> data;
  std::uint32_t length = 0;
};

// Receives each whole message cut out of the buffer; false stops the cutting
// (the receiver could not take it: out of memory).
using MessageSink = bool (*)(void* context, ReceivedMessage&& message);

// Cuts every whole message out of the unread bytes and hands them on in
// order, then makes room for the next receive: when the buffer is full the
// unread bytes move to its start, and when they are there already (one
// unfinished message fills it) the buffer grows. A length prefix above
// maxMessage, or above what the largest buffer can hold, is TooLarge. Nothing
// outside [readPos, writePos) is read.
ExtractResult extractMessages(ReceiveBuffer& buffer, std::uint32_t maxMessage, MessageSink sink, void* context);

}  // namespace kinevra::flightsim
