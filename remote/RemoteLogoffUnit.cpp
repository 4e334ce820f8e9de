#include "remote/RemoteLogoffUnit.h"

#include "platform/WinApi.h"
#include "platform/text/AnsiCodePage.h"
#include "platform/text/TextHelpers.h"
#include "remote/GlobalUnit.h"
#include "remote/MSScriptControl_TLB.h"

#include <memory>
#include <vector>

namespace skarvet {
namespace {

// What goes between the double quotes of a VBScript string literal so that
// the literal holds exactly `value`: a double quote is doubled, and a control
// character, which could end the line (CR, LF) or the script (null), is
// spliced in as Chr(n). Every other character stands for itself.
std::string ScriptLiteralBody(const std::string& value) {
  std::string body;
  body.reserve(value.size());
  for (char ch : value) {
    const auto code = static_cast<unsigned char>(ch);
    if (ch == '"') {
      body += "\"\"";
    } else if (code < 32) {
      body += "\" & Chr(";
      body += std::to_string(code);
      body += ") & \"";
    } else {
      body.push_back(ch);
    }
  }
  return body;
}

} // namespace

void RemoteLogoff(const std::string& ComputerName, const std::string& Account,
                  const std::string& Password, std::string& ErrorText,
                  const CancelMark* Cancelled) {
  ErrorText.clear();
  // The management service takes an empty name (or a bare "\\") for this
  // computer: such a name must never log off the user sitting at it.
  if (NamesNoComputer(ComputerName)) {
    ErrorText = SystemErrorText(ERROR_INVALID_COMPUTERNAME);
    if (ErrorText.empty()) ErrorText = "Unknown Error";
    return;
  }
  try {
    // The apartment is left initialised; the worker thread ends soon after.
    Api().CoInitialize(nullptr);

    // Both freed on every path once created.
    auto control = std::make_unique<TScriptControl>();
    std::vector<std::string> lines;

    control->SetLanguage(u"VBScript");
    control->SetTimeout(NoTimeout);

    lines.push_back("Sub Main");
    lines.push_back("Set poLocator = CreateObject(\"WbemScripting.SWbemLocator\")");
    lines.push_back("Set poConnection = poLocator.ConnectServer(\"" +
                    ScriptLiteralBody(ComputerName) + "\",\"root\\cimv2\",\"" +
                    ScriptLiteralBody(Account) + "\",\"" + ScriptLiteralBody(Password) + "\")");
    lines.push_back(
        "Set poWindows = poConnection.ExecQuery(\"Select Name From Win32_OperatingSystem\")");
    lines.push_back("for each poSys in poWindows");
    lines.push_back("poSys.Win32Shutdown(4)");
    lines.push_back("next");
    lines.push_back("End Sub");

    std::string script;
    for (const std::string& line : lines) {
      script += line;
      script += "\r\n";
    }
    control->AddCode(AnsiToWide(script));
    // Running the script is what reaches the computer; a request cancelled
    // by now is held back.
    if (Cancelled && Cancelled->load()) {
      ErrorText = SystemErrorText(ERROR_CANCELLED);
      if (ErrorText.empty()) ErrorText = "Cancelled";
      return;
    }
    control->ExecuteStatement(u"Main");
  } catch (const std::exception& error) {
    ErrorText = error.what();
    if (ErrorText.empty()) ErrorText = "Unknown Error";
  } catch (...) {
    ErrorText = "Unknown Error";
  }
}

} // namespace skarvet
