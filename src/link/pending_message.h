#pragma once
// One message waiting to be sent, replaced by any newer one: the engine's
// output beside each send queue. The engine produces a fresh pose every 2 ms;
// only the newest is worth sending, so it never piles up behind older ones
// and never crowds host messages out of their queue. Fixed storage (no
// allocation); each operation holds the lock for one copy at most.
#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>

#include "link/message_queue.h"

namespace kinevra {

class PendingMessage {
 public:
  PendingMessage() = default;
  PendingMessage(const PendingMessage&) = delete;
  PendingMessage& operator=(const PendingMessage&) = delete;

  // Stores a copy, replacing a message not yet taken. False (nothing
  // changed) when the message is empty or longer than kMaxMessageBytes.
  bool put(std::span<const std::uint8_t> bytes);
  // Copies the message into out and empties the slot; false (out untouched)
  // when none waits.
  bool take(Message& out);
  // Empties the slot; true when a message was waiting.
  bool discard();
  bool pending() const;

 private:
  mutable std::mutex lock_;
  std::uint16_t size_ = 0;  // 0: empty
  std::array<std::uint8_t, kMaxMessageBytes> bytes_{};
};

}  // namespace kinevra
