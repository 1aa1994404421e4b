#include "filter/filter_slot.h"

#include <thread>
#include <utility>

namespace kinevra {

void FilterSlot::lock() const {
  // Held by either side for a few instructions only; the evaluating side
  // never spins here (it uses tryLock).
  while (busy_.exchange(true, std::memory_order_acquire)) {
    while (busy_.load(std::memory_order_relaxed)) std::this_thread::yield();
  }
}

bool FilterSlot::tryLock() const {
  return !busy_.load(std::memory_order_relaxed) && !busy_.exchange(true, std::memory_order_acquire);
}

void FilterSlot::unlock() const { busy_.store(false, std::memory_order_release); }

void FilterSlot::replace(std::shared_ptr<FilterSys> chain) {
  std::shared_ptr<FilterSys> previous;
  std::shared_ptr<FilterSys> retired;
  lock();
  previous = std::exchange(installed_, std::move(chain));
  retired = std::move(retired_);
  version_.fetch_add(1, std::memory_order_release);
  unlock();
  // previous and retired are released here, outside the lock.
}

std::shared_ptr<FilterSys> FilterSlot::load() const {
  lock();
  std::shared_ptr<FilterSys> chain = installed_;
  unlock();
  return chain;
}

FilterSys* FilterSlot::current() {
  if (version_.load(std::memory_order_acquire) == heldVersion_) return held_.get();
  if (held_) {
    if (!tryLock()) return held_.get();  // a host is installing: the old chain serves once more
  } else {
    // Nothing to fall back on yet: the first pick-up waits for the slot
    // (hosts hold it for a few instructions) instead of evaluating nothing.
    lock();
  }
  {
    // retired_ is empty here (every installation empties it, and a new
    // version is needed to get this far), so the old chain is parked, not freed.
    std::swap(retired_, held_);
    held_ = installed_;
    heldVersion_ = version_.load(std::memory_order_relaxed);
    unlock();
  }
  return held_.get();
}

}  // namespace kinevra
