#pragma once
// The place of one channel's filter chain: host threads install chains while
// the engine thread evaluates the one it holds. Once it holds a chain, the
// evaluating side never waits for a host and never frees a chain: it picks
// up a newly installed chain only when the slot is free at that moment
// (otherwise it keeps its chain for one more evaluation), and it hands the
// chain it lets go of back to the slot, where the next installation releases
// it on the host thread.
#include <atomic>
#include <cstdint>
#include <memory>

#include "filter/filter_sys.h"

namespace kinevra {

class FilterSlot {
 public:
  FilterSlot() = default;
  FilterSlot(const FilterSlot&) = delete;
  FilterSlot& operator=(const FilterSlot&) = delete;

  // Host threads: installs chain. The chain it replaces is released as soon
  // as no evaluation holds it, never on the evaluating thread.
  void replace(std::shared_ptr<FilterSys> chain);

  // Any thread: a shared reference to the installed chain.
  std::shared_ptr<FilterSys> load() const;

  // The evaluating thread (one at a time): the chain to evaluate now, kept
  // alive by the slot until this thread asks again. Null before the first
  // installation. Never allocates or frees; waits only for its very first
  // chain, if a host is installing at that moment.
  FilterSys* current();

 private:
  void lock() const;
  bool tryLock() const;
  void unlock() const;

  mutable std::atomic<bool> busy_{false};
  std::atomic<std::uint64_t> version_{0};
  std::shared_ptr<FilterSys> installed_;  // under busy_
  std::shared_ptr<FilterSys> retired_;    // under busy_: what the evaluating thread let go of
  std::shared_ptr<FilterSys> held_;       // the evaluating thread's own reference
  std::uint64_t heldVersion_ = 0;         // evaluating thread only
};

}  // namespace kinevra
