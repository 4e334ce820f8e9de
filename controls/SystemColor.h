// The system's colours as Qt's: a Windows colour value (0x00BBGGRR) and a
// system colour read through the seam.
#pragma once

#include "platform/Win32Types.h"

#include <QColor>

namespace skarvet {

QColor ToQColor(DWORD rgb);

// GetSysColor(index) as a QColor.
QColor SysColor(int index);

} // namespace skarvet
