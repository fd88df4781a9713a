// Reads typed numbers off the front of a fuzzer's input, each one zero once the input is spent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

struct FuzzInput {
  const uint8_t* data;
  size_t size;

  template <class T>
  T take() {
    T v{};
    size_t n = size < sizeof v ? size : sizeof v;
    std::memcpy(&v, data, n);
    data += n;
    size -= n;
    return v;
  }
};
