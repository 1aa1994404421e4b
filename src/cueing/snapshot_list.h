#pragma once
// A short history of fixed-size records for the host's live graphs: the
// newest 150, oldest dropped first. The records live inside the list, so
// adding one never allocates (the motion cycle adds one every 2 ms). Not
// locked itself: the engine guards each list with its own mutex.
#include <array>
#include <cstddef>
#include <cstring>

namespace kinevra {

inline constexpr std::size_t kMaxSnapshots = 150;

template <std::size_t Width>
class SnapshotList {
 public:
  using Record = std::array<double, Width>;
  static constexpr std::size_t kWidth = Width;

  // Appends a record; with 150 held the oldest goes first.
  void push(const Record& record) {
    if (count_ == kMaxSnapshots) {
      head_ = (head_ + 1) % kMaxSnapshots;
      --count_;
    }
    records_[(head_ + count_) % kMaxSnapshots] = record;
    ++count_;
  }

  // Copies every record, oldest first, into out (room for kMaxSnapshots
  // records of Width doubles) and empties the list; returns how many.
  std::size_t drainInto(double* out) {
    const std::size_t n = count_;
    for (std::size_t i = 0; i < n; ++i)
      std::memcpy(out + i * Width, records_[(head_ + i) % kMaxSnapshots].data(), sizeof(Record));
    head_ = 0;
    count_ = 0;
    return n;
  }

  std::size_t size() const { return count_; }

 private:
  std::array<Record, kMaxSnapshots> records_{};
  std::size_t head_ = 0;
  std::size_t count_ = 0;
};

}  // namespace kinevra
