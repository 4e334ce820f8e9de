// Looks for a password in the process's own memory, as a core dump would
// show it: every readable and writable mapping (heap, anonymous mappings,
// stacks), freed blocks included. Linux only (/proc/self/mem).
#pragma once

#include "platform/text/SecretText.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <span>
#include <sstream>
#include <string>
#include <string_view>

#ifdef __linux__
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace skarvet::test {

// The passwords, kept only masked so that the test itself holds no copy of
// them: every byte XOR kMask. A short one lives inside the string objects
// that hold it; a long one in blocks of its own, whose first 16 bytes the
// allocator overwrites when they are freed: its copies are counted by the
// rest.
inline constexpr unsigned char kMask = 0x5A;
inline constexpr unsigned char kShort[] = {0x0D, 0x2B, 0x6D, 0x79, 0x0C, 0x3F, 0x22, 0x77,
                                           0x63, 0x2A, 0x16, 0x37, 0x7B, 0x0E, 0x20};
inline constexpr unsigned char kLong[] = {
    0x0D, 0x2B, 0x6D, 0x79, 0x0C, 0x3F, 0x22, 0x77, 0x63, 0x2A, 0x16, 0x37, 0x7B,
    0x0E, 0x20, 0x6E, 0x12, 0x38, 0x62, 0x7C, 0x11, 0x2F, 0x68, 0x23, 0x08, 0x3E,
    0x6F, 0x04, 0x14, 0x39, 0x69, 0x1C, 0x3D, 0x6C, 0x70, 0x10, 0x29, 0x6B, 0x0B};

// 200 printable characters of a fixed pseudo-random sequence, masked as
// they are made: a block of a size the program's other texts rarely reuse.
inline constexpr std::array<unsigned char, 200> kVeryLong = [] {
  std::array<unsigned char, 200> masked{};
  std::uint32_t state = 0x2545F491u;
  for (unsigned char& byte : masked) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<unsigned char>((0x21 + (state >> 24) % 94) ^ kMask);
  }
  return masked;
}();

struct Masked {
  std::span<const unsigned char> password;
  std::size_t searchedFrom; // the part looked for
  std::span<const unsigned char> Searched() const { return password.subspan(searchedFrom); }
};
inline constexpr Masked kPasswords[] = {{kShort, 0}, {kLong, 16}, {kVeryLong, 16}};

struct Copies {
  int ansi = 0; // as 8-bit text
  int wide = 0; // as UTF-16
};

#ifdef __linux__

inline bool MatchesAt(const unsigned char* at, std::span<const unsigned char> masked,
                      std::size_t step) {
  for (std::size_t i = 0; i < masked.size(); ++i) {
    if ((at[i * step] ^ kMask) != masked[i]) return false;
    if (step == 2 && at[i * step + 1] != 0) return false;
  }
  return true;
}

// Counts the password in every readable and writable mapping but the
// scan's own buffer.
inline Copies ScanOwnMemory(std::span<const unsigned char> masked) {
  constexpr std::size_t kChunk = std::size_t{1} << 20;
  constexpr std::size_t kOverlap = 2 * 64;
  void* mapped =
      mmap(nullptr, kChunk + kOverlap, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return {-1, -1};
  auto* buffer = static_cast<unsigned char*>(mapped);
  const auto own = reinterpret_cast<std::uintptr_t>(mapped);
  const int memory = open("/proc/self/mem", O_RDONLY);

  Copies copies;
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (memory >= 0 && std::getline(maps, line)) {
    std::istringstream fields(line);
    std::string range, perms;
    fields >> range >> perms;
    if (perms.size() < 2 || perms[0] != 'r' || perms[1] != 'w') continue;
    if (line.find("[vvar") != std::string::npos || line.find("[vsyscall]") != std::string::npos)
      continue;
    const std::uintptr_t begin = std::stoull(range.substr(0, range.find('-')), nullptr, 16);
    const std::uintptr_t end = std::stoull(range.substr(range.find('-') + 1), nullptr, 16);
    if (begin <= own && own < end) continue;
    for (std::uintptr_t at = begin; at < end; at += kChunk) {
      const std::size_t want = std::min<std::uintptr_t>(kChunk + kOverlap, end - at);
      const ssize_t got = pread(memory, buffer, want, static_cast<off_t>(at));
      if (got <= 0) break;
      const auto size = static_cast<std::size_t>(got);
      // A match starting in the overlap is the next chunk's.
      const std::size_t starts = std::min(size, kChunk);
      for (std::size_t i = 0; i < starts; ++i) {
        if ((buffer[i] ^ kMask) != masked[0]) continue;
        if (i + masked.size() <= size && MatchesAt(buffer + i, masked, 1)) ++copies.ansi;
        if (i + 2 * masked.size() <= size && MatchesAt(buffer + i, masked, 2)) ++copies.wide;
      }
    }
  }
  if (memory >= 0) close(memory);
  WipeMemory(buffer, kChunk + kOverlap);
  munmap(mapped, kChunk + kOverlap);
  return copies;
}

#endif

} // namespace skarvet::test
