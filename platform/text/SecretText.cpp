#include "platform/text/SecretText.h"

#include <cstring>

namespace skarvet {

void WipeMemory(void* data, std::size_t size) noexcept {
  if (!data || size == 0) return;
#if defined(__GLIBC__)
  explicit_bzero(data, size);
#else
  // Writes through a volatile pointer are never left out.
  auto* bytes = static_cast<volatile unsigned char*>(data);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = 0;
#endif
}

namespace {

// The string's full buffer: a short text lives inside the object, whose
// bytes past the end keep what a longer text left there.
template <class String> void WipeWhole(String& text) noexcept {
  text.resize(text.capacity()); // within capacity: never allocates
  WipeMemory(text.data(), text.size() * sizeof(typename String::value_type));
  text.clear();
}

} // namespace

void WipeString(std::string& text) noexcept {
  WipeWhole(text);
}

void WipeString(std::u16string& text) noexcept {
  WipeWhole(text);
}

SecretText& SecretText::operator=(const SecretText& other) {
  if (this != &other) {
    Wipe();
    text_ = other.text_;
  }
  return *this;
}

SecretText& SecretText::operator=(SecretText&& other) noexcept {
  if (this != &other) {
    Wipe();
    text_ = std::move(other.text_);
    other.Wipe();
  }
  return *this;
}

SecretText SecretText::Adopt(std::string& plain) {
  SecretText secret{std::string_view(plain)};
  WipeString(plain);
  return secret;
}

void SecretText::Wipe() noexcept {
  WipeWhole(text_);
}

} // namespace skarvet
