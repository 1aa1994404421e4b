#include "link/message_queue.h"

#include <algorithm>
#include <cstring>

namespace kinevra {

MessageQueue::MessageQueue(std::size_t maxEntries)
    : maxEntries_(std::clamp<std::size_t>(maxEntries, 1, kCapacity)) {}

bool MessageQueue::push(std::span<const std::uint8_t> bytes) {
  if (bytes.size() > kMaxMessageBytes) return false;
  std::lock_guard<std::mutex> guard(lock_);
  if (count_ == maxEntries_) return false;
  Slot& slot = slots_[(head_ + count_) % maxEntries_];
  slot.size = static_cast<std::uint16_t>(bytes.size());
  if (!bytes.empty()) std::memcpy(slot.bytes.data(), bytes.data(), bytes.size());
  ++count_;
  return true;
}

void MessageQueue::copyFrontLocked(Message& out) const {
  const Slot& slot = slots_[head_];
  out.assign(slot.bytes.begin(), slot.bytes.begin() + slot.size);
}

void MessageQueue::popFrontLocked() {
  head_ = (head_ + 1) % maxEntries_;
  --count_;
}

bool MessageQueue::take(Message& out) {
  out.reserve(kMaxMessageBytes);  // any allocation happens before the lock
  std::lock_guard<std::mutex> guard(lock_);
  if (count_ == 0) return false;
  copyFrontLocked(out);
  popFrontLocked();
  return true;
}

void MessageQueue::drain(std::vector<Message>& out) {
  // (A caller that keeps out between cycles does not allocate in here.)
  std::lock_guard<std::mutex> guard(lock_);
  out.resize(count_);
  for (Message& m : out) {
    copyFrontLocked(m);
    popFrontLocked();
  }
}

std::size_t MessageQueue::clear() {
  std::lock_guard<std::mutex> guard(lock_);
  const std::size_t discarded = count_;
  head_ = 0;
  count_ = 0;
  return discarded;
}

bool MessageQueue::takeRepeating(Message& out, std::int32_t& repeatCounter) {
  out.reserve(kMaxMessageBytes);
  std::lock_guard<std::mutex> guard(lock_);
  if (count_ == 0) return false;
  copyFrontLocked(out);
  if (count_ > 1) {
    popFrontLocked();
    repeatCounter = 0;
  } else if (repeatCounter > 10) {
    popFrontLocked();
    repeatCounter = 1;
  } else {
    ++repeatCounter;
  }
  return true;
}

std::size_t MessageQueue::size() const {
  std::lock_guard<std::mutex> guard(lock_);
  return count_;
}

}  // namespace kinevra
