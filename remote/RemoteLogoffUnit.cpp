#include "remote/RemoteLogoffUnit.h"

#include "platform/WinApi.h"
#include "platform/text/AnsiCodePage.h"
#include "platform/text/TextHelpers.h"
#include "remote/GlobalUnit.h"
#include "remote/MSScriptControl_TLB.h"

#include <memory>
#include <string_view>

namespace skarvet {
namespace {

// What goes between the double quotes of a VBScript string literal so that
// the literal holds exactly `value`: a double quote is doubled, and a control
// character, which could end the line (CR, LF) or the script (null), is
// spliced in as Chr(n). Every other character stands for itself.
// Appended to `script`, which carries the password.
void AppendScriptLiteralBody(WipingString& script, std::string_view value) {
  for (char ch : value) {
    const auto code = static_cast<unsigned char>(ch);
    if (ch == '"') {
      script += "\"\"";
    } else if (code < 32) {
      script += "\" & Chr(";
      script += std::to_string(code);
      script += ") & \"";
    } else {
      script.push_back(ch);
    }
  }
}

} // namespace

void RemoteLogoff(const std::string& ComputerName, const std::string& Account,
                  const SecretText& Password, std::string& ErrorText, const CancelMark* Cancelled) {
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

    // Freed on every path once created.
    auto control = std::make_unique<TScriptControl>();

    control->SetLanguage(u"VBScript");
    control->SetTimeout(NoTimeout);

    // The script carries the password: built in memory that is wiped
    // whenever it is given back, and handed over once.
    WipingString script;
    script += "Sub Main\r\n";
    script += "Set poLocator = CreateObject(\"WbemScripting.SWbemLocator\")\r\n";
    script += "Set poConnection = poLocator.ConnectServer(\"";
    AppendScriptLiteralBody(script, ComputerName);
    script += "\",\"root\\cimv2\",\"";
    AppendScriptLiteralBody(script, Account);
    script += "\",\"";
    AppendScriptLiteralBody(script, Password.view());
    script += "\")\r\n";
    script +=
        "Set poWindows = poConnection.ExecQuery(\"Select Name From Win32_OperatingSystem\")\r\n";
    script += "for each poSys in poWindows\r\n";
    script += "poSys.Win32Shutdown(4)\r\n";
    script += "next\r\n";
    script += "End Sub\r\n";
    std::u16string code = AnsiToWide(std::string_view(script.data(), script.size()));
    const WipeAtExit wipeCode(code);
    control->AddCode(code);
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
