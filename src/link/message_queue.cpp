#include "link/message_queue.h"

#include <algorithm>
#include <utility>

namespace kinevra {

MessageQueue::MessageQueue(std::size_t maxEntries) : slots_(std::max<std::size_t>(maxEntries, 1)) {}

bool MessageQueue::push(std::span<const std::uint8_t> bytes) {
  std::lock_guard<std::mutex> guard(lock_);
  if (count_ == slots_.size()) return false;
  Message& slot = slots_[(head_ + count_) % slots_.size()];
  slot.assign(bytes.begin(), bytes.end());
  ++count_;
  return true;
}

void MessageQueue::popFrontLocked() {
  slots_[head_].clear();  // keeps the buffer for the next push
  head_ = (head_ + 1) % slots_.size();
  --count_;
}

bool MessageQueue::take(Message& out) {
  std::lock_guard<std::mutex> guard(lock_);
  if (count_ == 0) return false;
  // Swapping hands the caller the entry and leaves the caller's old buffer
  // in the slot, so buffers circulate instead of being freed and allocated.
  out.swap(slots_[head_]);
  popFrontLocked();
  return true;
}

void MessageQueue::drain(std::vector<Message>& out) {
  std::lock_guard<std::mutex> guard(lock_);
  out.resize(count_);
  for (Message& m : out) {
    m.swap(slots_[head_]);
    popFrontLocked();
  }
}

std::size_t MessageQueue::clear() {
  std::lock_guard<std::mutex> guard(lock_);
  const std::size_t discarded = count_;
  while (count_ > 0) popFrontLocked();
  head_ = 0;
  return discarded;
}

bool MessageQueue::takeRepeating(Message& out, std::int32_t& repeatCounter) {
  std::lock_guard<std::mutex> guard(lock_);
  if (count_ == 0) return false;
  const Message& front = slots_[head_];
  out.assign(front.begin(), front.end());
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
