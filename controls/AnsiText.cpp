#include "controls/AnsiText.h"

#include "platform/text/AnsiCodePage.h"

namespace skarvet {

QString FromAnsi(const std::string& text) {
  const std::u16string wide = AnsiToWide(text);
  return QString::fromUtf16(wide.data(), static_cast<qsizetype>(wide.size()));
}

std::string ToAnsi(const QString& text) {
  return WideToAnsi(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                        static_cast<std::size_t>(text.size())));
}

} // namespace skarvet
