// Logs the interactive user of a remote computer off through the script
// control and the target's management instrumentation.
#pragma once

#include <string>

namespace skarvet {

// ErrorText is left empty on success and holds the failure text otherwise.
void RemoteLogoff(const std::string& ComputerName, const std::string& Account,
                  const std::string& Password, std::string& ErrorText);

} // namespace skarvet
