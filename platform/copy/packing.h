// Plain values appended to a byte string and taken back from its front, for entries kept packed.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

namespace qm::copy {

template <typename T>
void packValue(std::string& into, const T& value) {
  static_assert(std::is_trivially_copyable_v<T>);
  into.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// Takes a value packValue() appended; the bytes are those it wrote, never short.
template <typename T>
T unpackValue(std::string_view& from) {
  static_assert(std::is_trivially_copyable_v<T>);
  T value;
  std::memcpy(&value, from.data(), sizeof value);
  from.remove_prefix(sizeof value);
  return value;
}

// A run of bytes (a name), after its length.
inline void packBytes(std::string& into, const void* data, std::size_t size) {
  packValue(into, static_cast<std::uint32_t>(size));
  into.append(static_cast<const char*>(data), size);
}

inline std::string_view unpackBytes(std::string_view& from) {
  const auto size = unpackValue<std::uint32_t>(from);
  const std::string_view bytes = from.substr(0, size);
  from.remove_prefix(size);
  return bytes;
}

}  // namespace qm::copy
