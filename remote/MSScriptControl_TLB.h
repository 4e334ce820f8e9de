// The system's script control component, as the program uses it.
//
// Class identifier {0E59F1D5-1FBE-11D0-8FF2-00A0D10038BC}, default interface
// IScriptControl {0E59F1D3-1FBE-11D0-8FF2-00A0D10038BC}. TScriptControl
// creates one instance (it has no owner and no parent window), writes its
// properties through the component's dispatch interface by identifier, and
// on the first method call asks the component for IScriptControl and keeps
// that interface for the rest of its life.
//
// Every failure raises EOleError, whose message is built the way the
// component's errors are shown to users: the error's description, else the
// system's message for the code, else "OLE error " and the code in hex.
#pragma once

#include "platform/WinApi.h"

#include <memory>
#include <stdexcept>
#include <string>

namespace skarvet {

// The Timeout value that lets a script run as long as it likes.
inline constexpr LONG NoTimeout = -1;

// A failed component call: its message (see above) and its result code.
class EOleError : public std::runtime_error {
public:
  EOleError(const std::string& message, HRESULT errorCode)
      : std::runtime_error(message), ErrorCode(errorCode) {}
  const HRESULT ErrorCode;
};

// Removes trailing characters with codes 0 to 32 and trailing full stops.
std::string TrimMessageEnd(std::string text);

// The system's message text for `code` (at most 255 characters), with its
// end trimmed as above; empty when the system has none.
std::string SysErrorMessage(HRESULT code);

// The message for a failed call with result `code`: the description of the
// error information the component left for this thread (end trimmed), else
// SysErrorMessage(code), else "OLE error %.8X".
std::string OleErrorMessage(HRESULT code, bool useErrorInfo = true);

class TScriptControl {
public:
  // Creates the component; raises EOleError when it cannot be created.
  TScriptControl();
  ~TScriptControl();
  TScriptControl(const TScriptControl&) = delete;
  TScriptControl& operator=(const TScriptControl&) = delete;

  // Properties, written through the dispatch interface (those the logoff
  // sets).
  void SetLanguage(const std::u16string& value);
  void SetTimeout(LONG value);

  // Methods of IScriptControl.
  void AddCode(const std::u16string& Code);
  void ExecuteStatement(const std::u16string& Statement);

private:
  std::unique_ptr<ScriptControlObject> object_;
  bool haveInterface_ = false; // IScriptControl obtained

  void SetProperty(DISPID dispId, const ScriptValue& value);
  void DefaultInterface();
};

} // namespace skarvet
