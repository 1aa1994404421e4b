#pragma once
// One step of a compiled filter chain. A chain is a shared reference to its
// head (the outermost step of the text); `next` leads inward and owns the
// rest of the chain, the last node is always the VALUE step; `prev` points
// back without keeping anything alive.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "filter/filter_kind.h"
#include "filter/noise_layer.h"

namespace kinevra {

class FilterSys : public std::enable_shared_from_this<FilterSys> {
 public:
  FilterSys() = default;
  // Releases the nodes behind this one in a loop, so a long chain cannot
  // exhaust the stack through nested destructors.
  ~FilterSys();
  FilterSys(const FilterSys&) = delete;
  FilterSys& operator=(const FilterSys&) = delete;

  // Runs the chain on x: the innermost step first, the head's step last.
  // Call it on a head you hold a shared reference to, from one thread at a
  // time (the steps keep running state). An invalid head yields 0 and
  // changes nothing. Never allocates and takes no lock.
  double evaluate(double x, double valueGain, double lowPassScale, double highPassScale);

  // One step on x (updates this node's state).
  double applyStep(double x, double valueGain, double lowPassScale, double highPassScale);

  // The links, read under linkLock.
  std::shared_ptr<FilterSys> nextNode() const;
  std::shared_ptr<FilterSys> prevNode() const;

  std::int32_t kind = kValue;
  std::string name;
  float param1 = 0.0f;
  float param2 = 0.0f;
  float param3 = 0.0f;
  float param4 = 0.0f;
  float memory = 0.0f;
  std::shared_ptr<FilterSys> next;  // under linkLock
  std::weak_ptr<FilterSys> prev;    // under linkLock
  std::shared_ptr<NoiseLayer> noise;
  mutable std::mutex linkLock;
  std::atomic<bool> valid{false};

 private:
  friend std::shared_ptr<FilterSys> parseFilterString(std::string_view text);

  // On a valid head: the chain's nodes from the VALUE step out to the head.
  // A chain's links never change once it is compiled, and the head owns
  // every node through `next`, so whoever holds the head may walk this
  // without the link locks and without per-node references.
  std::vector<FilterSys*> order_;
};

// The last node of the chain that starts at head (walks `next`, one
// linkLock at a time); null for a null head.
std::shared_ptr<FilterSys> getTail(const std::shared_ptr<FilterSys>& head);

}  // namespace kinevra
