#pragma once
// A bounded first-in-first-out queue of messages between the link's threads
// (host threads, the serial bridge, the UDP listener and the multicast
// sender). Every operation holds the queue's own mutex only for a few
// pointer moves or one copy of at most one message, so a 2 ms loop never
// waits longer than that; the slots keep their buffers, so once warmed up
// the queue does not allocate.
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

namespace kinevra {

using Message = std::vector<std::uint8_t>;

class MessageQueue {
 public:
  // maxEntries: the most entries the queue ever holds. A queue to which
  // entries are "added while it holds at most 150" has 151; one to which they
  // are "added while it holds fewer than 150" has 150.
  explicit MessageQueue(std::size_t maxEntries);
  MessageQueue(const MessageQueue&) = delete;
  MessageQueue& operator=(const MessageQueue&) = delete;

  // Adds a copy of the bytes at the back; false (and nothing added) when the
  // queue is full.
  bool push(std::span<const std::uint8_t> bytes);
  bool push(const std::uint8_t* data, std::size_t size) { return push({data, size}); }

  // Takes the front entry into out (its previous content is dropped); false
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
  std::size_t maxEntries() const { return slots_.size(); }

 private:
  void popFrontLocked();

  mutable std::mutex lock_;
  std::vector<Message> slots_;  // ring of maxEntries buffers
  std::size_t head_ = 0;
  std::size_t count_ = 0;
};

}  // namespace kinevra
