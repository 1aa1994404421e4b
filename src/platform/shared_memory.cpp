#include "platform/shared_memory.h"

#include <utility>

namespace kinevra::platform {

SharedMemory& SharedMemory::operator=(SharedMemory&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = std::exchange(other.handle_, nullptr);
    view_ = std::exchange(other.view_, nullptr);
    viewSize_ = std::exchange(other.viewSize_, 0);
    mappedBytes_ = std::exchange(other.mappedBytes_, 0);
    created_ = std::exchange(other.created_, false);
    writable_ = other.writable_;
    name_ = std::move(other.name_);
    lastError_ = other.lastError_;
  }
  return *this;
}

}  // namespace kinevra::platform
