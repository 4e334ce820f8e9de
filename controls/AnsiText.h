// Conversions between the widgets' texts and the program's ANSI texts.
#pragma once

#include <QString>

#include <string>

namespace skarvet {

QString FromAnsi(const std::string& text);
std::string ToAnsi(const QString& text);

} // namespace skarvet
