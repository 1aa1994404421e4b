#pragma once
// A bounded first-in-first-out queue of messages between the link's threads
// (host threads, the serial bridge, the UDP listener and the multicast
// sender). Entries live in fixed slots inside the queue, so no operation
// allocates, and every operation holds the queue's own mutex only for a few
// index updates or one copy of at most one message (512 bytes): a 2 ms loop
// never waits longer than that.
#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

namespace kinevra {

using Message = std::vector<std::uint8_t>;

// Largest entry: a host message fills at most the 512-byte window, and the
// longest frame has 465 bytes.
inline constexpr std::size_t kMaxMessageBytes = 512;

class MessageQueue {
 public:
  // Most slots a queue can have.
  static constexpr std::size_t kCapacity = 151;

  // maxEntries (1 to 151): the most entries the queue ever holds. A queue to
  // which entries are "added while it holds at most 150" has 151; one to
  // which they are "added while it holds fewer than 150" has 150.
  explicit MessageQueue(std::size_t maxEntries);
  MessageQueue(const MessageQueue&) = delete;
  MessageQueue& operator=(const MessageQueue&) = delete;

  // Adds a copy of the bytes at the back; false (and nothing added) when the
  // queue is full or the message is longer than kMaxMessageBytes.
  bool push(std::span<const std::uint8_t> bytes);
  bool push(const std::uint8_t* data, std::size_t size) { return push({data, size}); }

  // Copies the front entry into out and removes it; false (out untouched)
  // when the queue is empty.
  bool take(Message& out);

  // Takes every entry, oldest first, into out (resized to the number taken).
  void drain(std::vector<Message>& out);

  // Discards every entry; returns how many there were.
  std::size_t clear();

  // The automatic-message step of the senders, done as one operation: copies
  // the front entry into out; then removes it and sets repeatCounter to 0
  // when more entries wait behind it, or, when it is the only entry, removes
  // it and sets the counter to 1 if the counter is above 10, else adds 1 to
  // the counter. False (nothing changed) when the queue is empty.
  bool takeRepeating(Message& out, std::int32_t& repeatCounter);

  std::size_t size() const;
  bool empty() const { return size() == 0; }
  std::size_t maxEntries() const { return maxEntries_; }

 private:
  struct Slot {
    std::uint16_t size;
    std::array<std::uint8_t, kMaxMessageBytes> bytes;
  };

  void copyFrontLocked(Message& out) const;
  void popFrontLocked();

  mutable std::mutex lock_;
  std::size_t maxEntries_;
  std::size_t head_ = 0;
  std::size_t count_ = 0;
  std::array<Slot, kCapacity> slots_;  // ring; only the first maxEntries_ are used
};

}  // namespace kinevra
