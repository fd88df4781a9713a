// Fields that commands write while another thread reads them: the audio thread running the pipe,
// or a window's thread painting. Commands run one at a time (under the command lock); the reader
// takes no lock and reads each field once per block or per painting, into locals.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

// One field: relaxed atomic stores and loads, so that neither side races and a change is seen by
// the next block that reads it.
template <class T>
class KV_Shared {
  static_assert(std::atomic<T>::is_always_lock_free, "the audio thread must not wait on a lock");

 public:
  KV_Shared(T v = T()) noexcept : value_(v) {}  // NOLINT: a field initialised as a plain one
  KV_Shared(const KV_Shared&) = delete;
  KV_Shared& operator=(const KV_Shared&) = delete;

  operator T() const noexcept { return value_.load(std::memory_order_relaxed); }  // NOLINT
  KV_Shared& operator=(T v) noexcept {
    value_.store(v, std::memory_order_relaxed);
    return *this;
  }

  // Stores v unless a command changed the field since `expected` was read: the audio thread's
  // write-back of a field that commands may also set.
  void replace(T expected, T v) noexcept {
    value_.compare_exchange_strong(expected, v, std::memory_order_relaxed);
  }

  // The ordered forms a KV_Sequence needs: a store after the odd count, a load before the
  // second look at it.
  void release(T v) noexcept { value_.store(v, std::memory_order_release); }
  T acquire() const noexcept { return value_.load(std::memory_order_acquire); }

 private:
  std::atomic<T> value_;
};

// Fields that change together (a filter's coefficients), each a KV_Shared: a writer brackets its
// stores with write(), the audio thread copies them inside read() and never takes a half-made
// set. The reader never waits: while a write is under way read() fails and the reader keeps the
// set it took before, to take the new one a block later.
class KV_Sequence {
 public:
  // The stores of one change, made with release order; one writer at a time.
  template <class Stores>
  void write(Stores&& stores) noexcept {
    const uint32_t s = count_.load(std::memory_order_relaxed);
    count_.store(s + 1, std::memory_order_relaxed);  // odd: a write is under way
    stores();
    count_.store(s + 2, std::memory_order_release);
  }

  // The loads of one copy, made with acquire order; false when a write overlapped them, and the
  // copy is then to be dropped.
  template <class Loads>
  bool read(Loads&& loads) const noexcept {
    const uint32_t before = count_.load(std::memory_order_acquire);
    if (before & 1u) return false;
    loads();
    return count_.load(std::memory_order_relaxed) == before;
  }

  // The fields copied into `used` when no write overlaps the copy; otherwise `used` keeps the set
  // it had.
  template <class T, size_t N>
  void take(const KV_Shared<T>* const (&fields)[N], T (&used)[N]) const noexcept {
    T copy[N];
    if (read([&] {
          for (size_t i = 0; i < N; ++i) copy[i] = fields[i]->acquire();
        }))
      for (size_t i = 0; i < N; ++i) used[i] = copy[i];
  }

 private:
  std::atomic<uint32_t> count_{0};
};
