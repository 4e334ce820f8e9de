#include "controls/SystemColor.h"

#include "platform/WinApi.h"

namespace skarvet {

QColor ToQColor(DWORD rgb) {
  return QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
}

QColor SysColor(int index) {
  return ToQColor(Api().GetSysColor(index));
}

} // namespace skarvet
