#include "flightsim_client/client_wire.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace kinevra::flightsim {

void putU32(unsigned char* at, std::uint32_t v) {
  at[0] = static_cast<unsigned char>(v);
  at[1] = static_cast<unsigned char>(v >> 8);
  at[2] = static_cast<unsigned char>(v >> 16);
  at[3] = static_cast<unsigned char>(v >> 24);
}

void putF32(unsigned char* at, float v) {
  std::uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  putU32(at, bits);
}

std::uint32_t getU32(const unsigned char* at) {
  return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
         static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

void writeHeader(unsigned char* msg, std::uint32_t size, std::uint32_t type, std::uint32_t sendId) {
  putU32(msg, size);
  putU32(msg + 4, kProtocolVersion);
  putU32(msg + 8, type);
  putU32(msg + 12, sendId);
}

bool writeText(unsigned char* field, const char* text) {
  const std::size_t n = text ? ::strnlen(text, kTextField) : 0;
  if (n >= kTextField) return false;
  std::memset(field, 0, kTextField);
  if (n) std::memcpy(field, text, n);
  return true;
}

bool writeOpenBody(unsigned char* msg, const char* appName) {
  if (!writeText(msg + 16, appName)) return false;
  putU32(msg + 272, 0);
  putU32(msg + 276, 0x004B4800);  // bytes 00 48 4B 00
  putU32(msg + 280, 11);
  putU32(msg + 284, 0);
  putU32(msg + 288, 62651);
  putU32(msg + 292, 3);
  return true;
}

bool writeAddToDataDefinitionBody(unsigned char* msg, std::uint32_t defineId, const char* name, const char* units,
                                  std::uint32_t datumType, float epsilon, std::uint32_t datumId) {
  putU32(msg + 16, defineId);
  if (!writeText(msg + 20, name) || !writeText(msg + 276, units)) return false;
  putU32(msg + 532, datumType);
  putF32(msg + 536, epsilon);
  putU32(msg + 540, datumId);
  return true;
}

void writeRequestDataOnSimObjectBody(unsigned char* msg, std::uint32_t requestId, std::uint32_t defineId,
                                     std::uint32_t objectId, std::uint32_t period, std::uint32_t flags,
                                     std::uint32_t origin, std::uint32_t interval, std::uint32_t limit) {
  const std::uint32_t fields[] = {requestId, defineId, objectId, period, flags, origin, interval, limit};
  for (std::size_t i = 0; i < 8; ++i) putU32(msg + 16 + 4 * i, fields[i]);
}

bool writeSubscribeToSystemEventBody(unsigned char* msg, std::uint32_t eventId, const char* eventName) {
  putU32(msg + 16, eventId);
  return writeText(msg + 20, eventName);
}

ReceiveBuffer::~ReceiveBuffer() { std::free(data); }

bool ReceiveBuffer::allocate(std::size_t size) {
  auto* fresh = static_cast<unsigned char*>(std::malloc(size));
  if (!fresh) return false;
  std::free(data);
  data = fresh;
  capacity = size;
  reset();
  return true;
}

namespace {

// Room for the next receive once every whole message is out.
ExtractResult makeRoom(ReceiveBuffer& b) {
  if (b.writePos < b.capacity) return ExtractResult::NeedMore;
  if (b.readPos > 0) {
    const std::size_t unread = b.writePos - b.readPos;
    std::memmove(b.data, b.data + b.readPos, unread);
    b.readPos = 0;
    b.writePos = unread;
    return ExtractResult::NeedMore;
  }
  // One unfinished message fills the buffer. Its prefix was checked against
  // the largest buffer, so a buffer that cannot grow is never full here.
  if (b.capacity > kLargestReceiveBuffer - kReceiveChunk) return ExtractResult::TooLarge;
  auto* grown = static_cast<unsigned char*>(std::realloc(b.data, b.capacity + kReceiveChunk));
  if (!grown) return ExtractResult::OutOfMemory;
  b.data = grown;
  b.capacity += kReceiveChunk;
  return ExtractResult::NeedMore;
}

}  // namespace

ExtractResult extractMessages(ReceiveBuffer& b, std::uint32_t maxMessage, MessageSink sink, void* context) {
  if (b.readPos > b.writePos || b.writePos > b.capacity) return ExtractResult::TooLarge;  // never: a broken buffer
  for (;;) {
    const std::size_t unread = b.writePos - b.readPos;
    if (unread < 4) break;
    const std::uint32_t length = getU32(b.data + b.readPos);
    if (length > maxMessage || length > kLargestReceiveBuffer) return ExtractResult::TooLarge;
    if (length < 4) return ExtractResult::TooSmall;
    if (unread < length) break;
    ReceivedMessage m;
    m.data.reset(new (std::nothrow) unsigned char[length]);
    if (!m.data) return ExtractResult::OutOfMemory;
    std::memcpy(m.data.get(), b.data + b.readPos, length);
    m.length = length;
    b.readPos += length;
    if (b.readPos == b.writePos) b.reset();
    if (!sink(context, std::move(m))) return ExtractResult::OutOfMemory;
  }
  if (b.readPos == b.writePos) b.reset();
  return makeRoom(b);
}

}  // namespace kinevra::flightsim
