#pragma once
// A bounded window on bytes someone else wrote (a mapped block, a datagram):
// every read checks that the value lies wholly inside the window, so data of
// any size or content can never lead a reader past its end.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace kinevra {

class ByteView {
 public:
  constexpr ByteView() = default;
  ByteView(const void* data, std::size_t size)
      : data_(static_cast<const std::uint8_t*>(data)), size_(data ? size : 0) {}

  const std::uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  // Do length bytes from offset lie inside the window? (No overflow for any
  // offset or length.)
  bool contains(std::size_t offset, std::size_t length) const {
    return offset <= size_ && length <= size_ - offset;
  }

  // The value stored at offset in the machine's byte order (little-endian on
  // both targets); false, with *out untouched, when it does not lie wholly
  // inside the window.
  template <class T>
  bool read(std::size_t offset, T* out) const {
    static_assert(std::is_trivially_copyable_v<T>);
    if (!out || !contains(offset, sizeof(T))) return false;
    std::memcpy(out, data_ + offset, sizeof(T));
    return true;
  }

  // The value at offset, or fallback when it lies outside.
  template <class T>
  T get(std::size_t offset, T fallback = T{}) const {
    T v = fallback;
    read(offset, &v);
    return v;
  }

  // The part from offset, at most length bytes long; empty when offset lies
  // outside.
  ByteView sub(std::size_t offset, std::size_t length) const {
    if (offset > size_) return {};
    const std::size_t left = size_ - offset;
    return ByteView(data_ + offset, length < left ? length : left);
  }

 private:
  const std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace kinevra
