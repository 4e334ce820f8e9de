// UTF-8, the encoding of libraries and logs, and back.
#pragma once

#include <string>
#include <string_view>

namespace skarvet {

// Malformed input (a lone surrogate, a broken or overlong sequence, a value
// past Unicode's end) becomes U+FFFD, as it may come from the network.
std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

} // namespace skarvet
