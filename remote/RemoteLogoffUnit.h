// Logs the interactive user of a remote computer off through the script
// control and the target's management instrumentation.
#pragma once

#include "remote/GlobalUnit.h"

#include <string>

namespace skarvet {

// ErrorText is left empty on success and holds the failure text otherwise.
// When `Cancelled` is set before the script runs, nothing reaches the
// computer and ErrorText says the request was cancelled.
void RemoteLogoff(const std::string& ComputerName, const std::string& Account,
                  const SecretText& Password, std::string& ErrorText,
                  const CancelMark* Cancelled = nullptr);

} // namespace skarvet
