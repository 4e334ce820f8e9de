// The toolkit's standard error box: a critical message box with the
// program's name as caption, over the active window.
#pragma once

#include <QString>

namespace skarvet {

// Shows the error box for an exception's text and waits until it is closed.
void ShowException(const QString& text);

} // namespace skarvet
