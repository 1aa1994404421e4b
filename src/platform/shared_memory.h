#pragma once
// Named shared memory, as the games publish their telemetry and as the
// library publishes its own blocks.
//
// Lifetime: on Windows a named block lives while any handle or view of it is
// open. On Linux (shm_open of "/" + the name as it stands) a name outlives its
// handles, so a block this library created itself is unlinked when the
// library closes its handle to it; a block someone else created is never
// unlinked by the library.
#include <cstddef>
#include <string>
#include <string_view>

namespace kinevra::platform {

// A block's name in the system's own form, prepared once, so that asking
// whether the block still exists (every motion cycle, for some games)
// allocates nothing.
class SharedMemoryName {
 public:
  SharedMemoryName() = default;
  explicit SharedMemoryName(std::string_view name);

  // Does a block of this name exist? Opens it for reading and closes it
  // again. False for an empty or unusable name.
  bool exists() const;

 private:
  std::string narrow_;   // Linux: "/" + the name
  std::wstring wide_;    // Windows: the name in UTF-16
};

class SharedMemory {
 public:
  SharedMemory() = default;
  ~SharedMemory() { close(); }
  SharedMemory(SharedMemory&& other) noexcept { *this = static_cast<SharedMemory&&>(other); }
  SharedMemory& operator=(SharedMemory&& other) noexcept;
  SharedMemory(const SharedMemory&) = delete;
  SharedMemory& operator=(const SharedMemory&) = delete;

  // Creates the block (read/write, `size` bytes, zero-filled) or opens it when
  // it exists already (CreateFileMappingW on the paging file).
  bool createOrOpen(std::string_view name, std::size_t size);
  // Opens an existing block (OpenFileMappingW); fails when there is none.
  bool openExisting(std::string_view name, bool writable = false);
  // Does a block of that name exist? Opens it for reading and closes it again.
  static bool exists(std::string_view name);

  // Maps a view of at most `size` bytes (MapViewOfFile); a block smaller than
  // that is mapped at its real size. Null on failure. Only one view at a time.
  const void* mapRead(std::size_t size);
  void* mapWrite(std::size_t size);
  // Unmaps the view; true when there was one and it was released.
  bool unmap();
  // Closes the handle and keeps the view. The view stays readable, but no
  // longer keeps the block's name alive: on Windows a name lasts exactly as
  // long as someone holds a handle, so a reader that wants to see its game
  // close the block must not hold one itself. (A block this handle created is
  // removed on Linux, as by close.)
  void releaseHandle();
  // Unmaps and closes the handle.
  void close();

  bool isOpen() const { return handle_ != nullptr; }
  const void* view() const { return view_; }
  // Bytes of the view that may be read: never more than the block holds.
  std::size_t viewSize() const { return viewSize_; }
  // True when this handle created the block (it did not exist before).
  bool created() const { return created_; }
  // The system's error code of the last failed call.
  unsigned long lastError() const { return lastError_; }

 private:
  void* map(std::size_t size, bool writable);

  void* handle_ = nullptr;  // HANDLE on Windows; the file descriptor + 1 on Linux
  void* view_ = nullptr;
  std::size_t viewSize_ = 0;
  std::size_t mappedBytes_ = 0;  // what was passed to the system's map call
  bool created_ = false;
  bool writable_ = false;
  std::string name_;
  unsigned long lastError_ = 0;
};

}  // namespace kinevra::platform
