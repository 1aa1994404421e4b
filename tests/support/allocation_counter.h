#pragma once
// Counts heap allocations made by one thread. This header replaces the global
// operator new and delete: include it in exactly one source file of a test
// program.
#include <cstdlib>
#include <new>

// Every allocation of the program passes here; a thread counts its own while
// it asks to.
namespace {
thread_local bool tCounting = false;
thread_local long tAllocations = 0;

void* allocate(std::size_t n) {
  if (tCounting) ++tAllocations;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}

// Counts the calling thread's allocations for as long as it lives.
struct CountAllocations {
  CountAllocations() {
    tAllocations = 0;
    tCounting = true;
  }
  ~CountAllocations() { tCounting = false; }
  long count() const { return tAllocations; }
};
}  // namespace

void* operator new(std::size_t n) { return allocate(n); }
void* operator new[](std::size_t n) { return allocate(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  try {
    return allocate(n);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept { return operator new(n, t); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
