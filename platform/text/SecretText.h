// Passwords in memory: wiped as soon as they are no longer needed, so that
// no copy outlives the request that used it (in a core dump, a swap file or
// memory the next allocation hands out).
#pragma once

#include <concepts>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace skarvet {

// Overwrites `size` bytes at `data` with zeros; never dropped by the
// compiler as a store to memory that is about to be freed.
void WipeMemory(void* data, std::size_t size) noexcept;

// Wipes the whole buffer of `text` (the bytes past its end too), then
// empties it.
void WipeString(std::string& text) noexcept;
void WipeString(std::u16string& text) noexcept;

// Wipes a plain string when the scope ends, however it ends.
template <class String> class WipeAtExit {
public:
  explicit WipeAtExit(String& text) noexcept : text_(text) {}
  WipeAtExit(const WipeAtExit&) = delete;
  WipeAtExit& operator=(const WipeAtExit&) = delete;
  ~WipeAtExit() { WipeString(text_); }

private:
  String& text_;
};

// Hands out memory like std::allocator and wipes it before giving it back,
// so that a string that grows leaves nothing behind in its old buffer.
template <class T> struct WipingAllocator {
  using value_type = T;
  WipingAllocator() noexcept = default;
  template <class U> WipingAllocator(const WipingAllocator<U>&) noexcept {}
  T* allocate(std::size_t n) { return std::allocator<T>().allocate(n); }
  void deallocate(T* p, std::size_t n) noexcept {
    WipeMemory(p, n * sizeof(T));
    std::allocator<T>().deallocate(p, n);
  }
  template <class U> bool operator==(const WipingAllocator<U>&) const noexcept { return true; }
};

// Text that may hold a password (a script that carries it): every buffer it
// gives back is wiped. A short text inside the object is the holder's to wipe
// (WipeString).
using WipingString = std::basic_string<char, std::char_traits<char>, WipingAllocator<char>>;
using WipingU16String =
    std::basic_string<char16_t, std::char_traits<char16_t>, WipingAllocator<char16_t>>;

// A password in the program's code page: every copy, move, reallocation
// and destruction wipes what it leaves behind.
class SecretText {
public:
  SecretText() = default;
  explicit SecretText(std::string_view text) : text_(text) {}
  SecretText(const char* text) : SecretText(std::string_view(text ? text : "")) {}
  // The caller's own string stays as it is: the caller wipes it.
  SecretText(const std::string& text) : SecretText(std::string_view(text)) {}
  SecretText(const SecretText& other) : text_(other.text_) {}
  SecretText(SecretText&& other) noexcept : text_(std::move(other.text_)) { other.Wipe(); }
  SecretText& operator=(const SecretText& other);
  SecretText& operator=(SecretText&& other) noexcept;
  ~SecretText() { Wipe(); }

  // Takes the text of `plain` and wipes `plain`.
  static SecretText Adopt(std::string& plain);

  const char* c_str() const noexcept { return text_.c_str(); }
  std::size_t size() const noexcept { return text_.size(); }
  bool empty() const noexcept { return text_.empty(); }
  std::string_view view() const noexcept { return {text_.data(), text_.size()}; }
  // Leaves it empty, its buffer wiped.
  void Wipe() noexcept;

  bool operator==(const SecretText& other) const noexcept { return view() == other.view(); }
  template <class Text>
  requires std::convertible_to<const Text&, std::string_view>
  bool operator==(const Text& other) const noexcept { return view() == std::string_view(other); }

private:
  WipingString text_;
};

} // namespace skarvet
