#include "link/pending_message.h"

#include <cstring>

namespace kinevra {

bool PendingMessage::put(std::span<const std::uint8_t> bytes) {
  if (bytes.empty() || bytes.size() > kMaxMessageBytes) return false;
  std::lock_guard<std::mutex> guard(lock_);
  std::memcpy(bytes_.data(), bytes.data(), bytes.size());
  size_ = static_cast<std::uint16_t>(bytes.size());
  return true;
}

bool PendingMessage::take(Message& out) {
  out.reserve(kMaxMessageBytes);  // any allocation happens before the lock
  std::lock_guard<std::mutex> guard(lock_);
  if (size_ == 0) return false;
  out.assign(bytes_.begin(), bytes_.begin() + size_);
  size_ = 0;
  return true;
}

bool PendingMessage::discard() {
  std::lock_guard<std::mutex> guard(lock_);
  const bool was = size_ != 0;
  size_ = 0;
  return was;
}

bool PendingMessage::pending() const {
  std::lock_guard<std::mutex> guard(lock_);
  return size_ != 0;
}

}  // namespace kinevra
