#include "remote/MSScriptControl_TLB.h"

#include "platform/text/AnsiCodePage.h"

#include <cstdio>

namespace skarvet {

std::string TrimMessageEnd(std::string text) {
  while (!text.empty() && (static_cast<unsigned char>(text.back()) <= 32 || text.back() == '.'))
    text.pop_back();
  return text;
}

std::string SysErrorMessage(HRESULT code) {
  // At most 255 characters and the terminating null.
  char buffer[256] = {};
  const DWORD length = Api().FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY,
      nullptr, static_cast<DWORD>(code), 0, buffer, sizeof buffer, nullptr);
  // Only the characters the call reports count; a failed call reports none.
  const std::size_t count = length < sizeof buffer ? length : sizeof buffer - 1;
  return TrimMessageEnd(std::string(buffer, count));
}

std::string OleErrorMessage(HRESULT code, bool useErrorInfo) {
  if (useErrorInfo) {
    ComErrorInfo info;
    if (Api().GetErrorInfo(0, info) == S_OK) {
      std::string description = TrimMessageEnd(WideToAnsi(info.description));
      if (!description.empty()) return description;
    }
  }
  std::string message = SysErrorMessage(code);
  if (!message.empty()) return message;
  char text[32];
  std::snprintf(text, sizeof text, "OLE error %.8X", static_cast<unsigned>(code));
  return text;
}

TScriptControl::TScriptControl() {
  const HRESULT hr = Api().CoCreateScriptControl(object_);
  // Creation leaves no error information of its own: the code speaks.
  if (FAILED(hr) || !object_) {
    object_.reset();
    const HRESULT code = FAILED(hr) ? hr : E_FAIL;
    throw EOleError(OleErrorMessage(code, false), code);
  }
}

TScriptControl::~TScriptControl() = default;

void TScriptControl::SetProperty(DISPID dispId, const ScriptValue& value) {
  const HRESULT hr = object_->PutProperty(dispId, value);
  // A component that refuses the value may say why, as for the methods.
  if (FAILED(hr)) throw EOleError(OleErrorMessage(hr), hr);
}

void TScriptControl::SetLanguage(const std::u16string& value) {
  SetProperty(DISPID_ScriptControl_Language, ScriptValue::Text(value));
}
void TScriptControl::SetTimeout(LONG value) {
  SetProperty(DISPID_ScriptControl_Timeout, ScriptValue::Integer(value));
}

void TScriptControl::DefaultInterface() {
  if (haveInterface_) return;
  const HRESULT hr = object_->QueryScriptControl();
  if (FAILED(hr)) throw EOleError(OleErrorMessage(hr, false), hr);
  haveInterface_ = true;
}

void TScriptControl::AddCode(const std::u16string& Code) {
  DefaultInterface();
  const HRESULT hr = object_->AddCode(Code);
  if (FAILED(hr)) throw EOleError(OleErrorMessage(hr), hr);
}

void TScriptControl::ExecuteStatement(const std::u16string& Statement) {
  DefaultInterface();
  const HRESULT hr = object_->ExecuteStatement(Statement);
  if (FAILED(hr)) throw EOleError(OleErrorMessage(hr), hr);
}

} // namespace skarvet
