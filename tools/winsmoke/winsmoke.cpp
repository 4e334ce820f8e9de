// winsmoke: runs the program's real Windows calls, through the native seam,
// in a console, and prints what each call answered. CI runs it under Wine;
// it runs unchanged on Windows.
//
// It only touches the local process and harmless scripts: no shutdown
// request, no logon, no network call, and no script that reaches any
// computer. Exit code 0 when every answer was the expected kind, 1 when one
// was not (a failure where success was expected, a missing error text).
#include "platform/native/NativeWinApi.h"
#include "platform/native/ScriptControlInterface.h"
#include "remote/GlobalUnit.h"
#include "remote/MSScriptControl_TLB.h"

#include <oleauto.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using skarvet::ComErrorInfo;
using skarvet::ScriptControlObject;
using skarvet::ScriptValue;

int g_failures = 0;

// Under Wine some answers differ from Windows' in ways that do not concern
// the program's own code (see CheckErrorInfo); they are then printed, not
// checked. Wine's ntdll exports its version; Windows' does not.
const char* WineVersion() {
  HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  if (!ntdll) return nullptr;
  using VersionFunction = const char*(CDECL*)();
  auto version = reinterpret_cast<VersionFunction>(
      reinterpret_cast<void*>(::GetProcAddress(ntdll, "wine_get_version")));
  return version ? version() : nullptr;
}
const char* g_wine = nullptr;

void Print(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  std::vprintf(format, arguments);
  va_end(arguments);
  std::fflush(stdout);
}

void Check(bool condition, const char* what) {
  if (condition) return;
  ++g_failures;
  Print("  FAIL: %s\n", what);
}

// A text with its control characters shown, so that the line breaks at the
// end of system messages can be seen.
std::string Visible(const std::string& text) {
  std::string result;
  for (unsigned char c : text) {
    if (c == '\r') {
      result += "\\r";
    } else if (c == '\n') {
      result += "\\n";
    } else if (c < 32) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      result += escaped;
    } else {
      result += static_cast<char>(c);
    }
  }
  return result;
}

std::string Utf8(const std::u16string& text) {
  std::string result;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    if (c < 0x80) {
      result += static_cast<char>(c);
    } else if (c < 0x800) {
      result += static_cast<char>(0xC0 | (c >> 6));
      result += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      result += static_cast<char>(0xE0 | (c >> 12));
      result += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      result += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      result += static_cast<char>(0xF0 | (c >> 18));
      result += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      result += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      result += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return result;
}

unsigned long Hex(HRESULT result) {
  return static_cast<unsigned long>(static_cast<DWORD>(result));
}

bool IsBlank(const std::string& text) {
  for (unsigned char c : text)
    if (c > 32) return false;
  return true;
}

// --- system message texts -------------------------------------------------------

void SystemMessages(skarvet::WinApi& api) {
  Print("== system message texts (FormatMessageA)\n");
  for (DWORD code : {5u, 53u, 1326u, 1722u}) {
    char buffer[1024];
    std::memset(buffer, 0, sizeof buffer);
    const DWORD length = api.FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0, buffer,
                                            sizeof buffer, nullptr);
    const DWORD error = length ? 0 : api.GetLastError();
    Print("  %lu: length %lu, last error %lu, \"%s\"\n", static_cast<unsigned long>(code),
          static_cast<unsigned long>(length), static_cast<unsigned long>(error),
          Visible(buffer).c_str());
    Check(length > 0 && std::strlen(buffer) == length, "message length matches the text");
    Check(!IsBlank(buffer), "the system has a message text for this number");
    const std::string text = skarvet::SystemErrorText(code);
    Print("     SystemErrorText: \"%s\"\n", Visible(text).c_str());
    Check(!text.empty() && text.back() != '\n', "the program's text is the trimmed message");
  }

  // A number with the customer bit set: never a system message. The call
  // must fail and leave the buffer as it was.
  const DWORD unknown = 0x20001234u;
  char buffer[1024];
  std::memset(buffer, '#', sizeof buffer);
  buffer[sizeof buffer - 1] = '\0';
  api.SetLastError(0);
  const DWORD length = api.FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, unknown, 0, buffer,
                                          sizeof buffer, nullptr);
  const DWORD error = api.GetLastError();
  Print("  0x%08lX (unknown): length %lu, last error %lu, buffer %s\n",
        static_cast<unsigned long>(unknown), static_cast<unsigned long>(length),
        static_cast<unsigned long>(error), buffer[0] == '#' ? "untouched" : "written");
  Check(length == 0, "no message for an unknown number");
  Check(error != 0, "the failure leaves a last error");
  const std::string text = skarvet::SystemErrorText(unknown);
  Print("     SystemErrorText: \"%s\"\n", Visible(text).c_str());
  Check(text.empty(), "no stale text for an unknown number");
}

// --- the token and privilege calls of the shutdown request ---------------------

void ShutdownPrivilege(skarvet::WinApi& api) {
  Print("== shutdown privilege (no shutdown request is made)\n");
  HANDLE process = api.GetCurrentProcess();
  Print("  GetCurrentProcess: %p\n", process);
  Check(process != nullptr, "a process handle");

  HANDLE token = nullptr;
  BOOL ok = api.OpenProcessToken(process, TOKEN_ADJUST_PRIVILEGES, &token);
  Print("  OpenProcessToken(TOKEN_ADJUST_PRIVILEGES): %d, token %p, last error %lu\n", ok, token,
        ok ? 0ul : static_cast<unsigned long>(api.GetLastError()));
  Check(ok && token, "the process token opens for adjusting privileges");
  if (!ok) return;

  LUID luid{};
  ok = api.LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &luid);
  Print("  LookupPrivilegeValueA(SeShutdownPrivilege): %d, LUID %ld:%lu\n", ok,
        static_cast<long>(luid.HighPart), static_cast<unsigned long>(luid.LowPart));
  Check(ok, "the shutdown privilege is known");

  if (ok) {
    TOKEN_PRIVILEGES state{};
    state.PrivilegeCount = 1;
    state.Privileges[0].Luid = luid;
    state.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    DWORD returned = 0;
    api.SetLastError(0xFFFFu);
    ok = api.AdjustTokenPrivileges(token, FALSE, &state, sizeof state, nullptr, &returned);
    const DWORD error = api.GetLastError();
    Print("  AdjustTokenPrivileges(enable, %u-byte state): %d, last error %lu%s\n",
          static_cast<unsigned>(sizeof state), ok, static_cast<unsigned long>(error),
          error == 1300 ? " (not all assigned)" : "");
    Check(sizeof state == 16, "one privilege entry is 16 bytes");
    Check(ok, "the privilege can be enabled");
    Check(error == 0 || error == 1300, "a successful adjustment reports 0 or 1300");
  }

  // The last error must come through the seam unchanged.
  LUID unused{};
  ok = api.LookupPrivilegeValueA(nullptr, "SeNoSuchPrivilegeAtAll", &unused);
  const std::int32_t mapped = skarvet::MapShutdownError();
  const DWORD error = api.GetLastError();
  Print("  LookupPrivilegeValueA(unknown name): %d, last error %lu, MapShutdownError %ld\n", ok,
        static_cast<unsigned long>(error), static_cast<long>(mapped));
  Check(!ok && error == 1313, "an unknown privilege fails with 1313");
  Check(mapped == -1, "a privilege error maps to access denied");
  for (auto [last, expected] : {std::pair<DWORD, std::int32_t>{53, -2}, {1722, 1722}, {5, -1}}) {
    api.SetLastError(last);
    const std::int32_t result = skarvet::MapShutdownError();
    Print("  MapShutdownError after last error %lu: %ld\n", static_cast<unsigned long>(last),
          static_cast<long>(result));
    Check(result == expected, "the shutdown error map reads the thread's last error");
  }

  ok = api.CloseHandle(token);
  Print("  CloseHandle(token): %d\n", ok);
  Check(ok, "the token closes");
}

// --- the script control ----------------------------------------------------------

// Compares the virtual table declared for IScriptControl with the type
// library of the installed component: a method out of place would call its
// neighbour.
void CompareVtableWithTypeLibrary() {
  Print("== IScriptControl layout against the component's type library\n");
  IDispatch* dispatch = nullptr;
  HRESULT result = ::CoCreateInstance(skarvet::kClsidScriptControl, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IDispatch, reinterpret_cast<void**>(&dispatch));
  Check(SUCCEEDED(result), "the component is created for its type information");
  if (FAILED(result)) return;

  ITypeInfo* info = nullptr;
  result = dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info);
  Check(SUCCEEDED(result) && info, "the component has type information");
  if (SUCCEEDED(result) && info) {
    TYPEATTR* attributes = nullptr;
    info->GetTypeAttr(&attributes);
    if (attributes && attributes->typekind == TKIND_DISPATCH) {
      // A dual interface: the dispatch view refers to the vtable view.
      HREFTYPE reference = 0;
      ITypeInfo* vtableInfo = nullptr;
      if (SUCCEEDED(info->GetRefTypeOfImplType(-1, &reference)) &&
          SUCCEEDED(info->GetRefTypeInfo(reference, &vtableInfo))) {
        info->ReleaseTypeAttr(attributes);
        info->Release();
        info = vtableInfo;
        info->GetTypeAttr(&attributes);
      }
    }
    Check(attributes && attributes->typekind == TKIND_INTERFACE, "a vtable interface");
    Check(attributes && IsEqualGUID(attributes->guid, skarvet::kIidScriptControl),
          "the interface is IScriptControl");

    std::vector<std::pair<int, std::string>> slots;
    for (UINT i = 0; attributes && i < attributes->cFuncs; ++i) {
      FUNCDESC* function = nullptr;
      if (FAILED(info->GetFuncDesc(i, &function))) continue;
      BSTR name = nullptr;
      UINT names = 0;
      info->GetNames(function->memid, &name, 1, &names);
      std::string label;
      if (function->invkind == INVOKE_PROPERTYGET) label = "get ";
      if (function->invkind == INVOKE_PROPERTYPUT || function->invkind == INVOKE_PROPERTYPUTREF)
        label = "put ";
      label +=
          name ? Utf8(std::u16string(reinterpret_cast<const char16_t*>(name), ::SysStringLen(name)))
               : "?";
      ::SysFreeString(name);
      slots.emplace_back(static_cast<int>(function->oVft / sizeof(void*)), label);
      info->ReleaseFuncDesc(function);
    }
    if (attributes) info->ReleaseTypeAttr(attributes);
    info->Release();

    std::sort(slots.begin(), slots.end());
    const std::size_t declared = std::size(skarvet::kScriptControlVtableOrder);
    Check(slots.size() == declared, "as many methods as declared");
    for (std::size_t i = 0; i < slots.size(); ++i) {
      const int slot = skarvet::kScriptControlFirstSlot + static_cast<int>(i);
      const char* expected = i < declared ? skarvet::kScriptControlVtableOrder[i] : "(none)";
      const bool same = slots[i].first == slot && slots[i].second == expected;
      Print("  slot %2d: %-20s%s\n", slots[i].first, slots[i].second.c_str(),
            same ? "" : "  <- declared differently");
      Check(same, "declared in the type library's order");
    }
  }

  for (auto [name, expected] : {std::pair{L"Language", skarvet::DISPID_ScriptControl_Language},
                                std::pair{L"Timeout", skarvet::DISPID_ScriptControl_Timeout}}) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = 0;
    result = dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    Print("  dispatch identifier of %ls: %ld\n", name, static_cast<long>(id));
    Check(SUCCEEDED(result) && id == expected, "the property's dispatch identifier");
  }
  dispatch->Release();
}

// Prints the error information that a failed script control call left for
// the thread and hands it back. Windows' script control always leaves it,
// with the scripting engine's description; Wine's (8.0) leaves none, so there
// its absence is only reported.
ComErrorInfo TakeErrorInfo(skarvet::WinApi& api, HRESULT failure) {
  ComErrorInfo info;
  const HRESULT result = api.GetErrorInfo(0, info);
  Print("  -> HRESULT 0x%08lX, GetErrorInfo 0x%08lX, description \"%s\", source \"%s\"\n",
        Hex(failure), Hex(result), Utf8(info.description).c_str(), Utf8(info.source).c_str());
  if (g_wine && result == S_FALSE) {
    Print("     (Wine: the script control leaves no error information)\n");
    return info;
  }
  Check(result == S_OK, "the failure left error information");
  Check(!info.description.empty(), "the error information has a description");
  return info;
}

// The seam's GetErrorInfo hands out what the thread holds, texts intact,
// and only once.
void ErrorInfoRoundTrip(skarvet::WinApi& api) {
  Print("== error information through the seam\n");
  ICreateErrorInfo* create = nullptr;
  IErrorInfo* error = nullptr;
  if (FAILED(::CreateErrorInfo(&create)) ||
      FAILED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&error)))) {
    Check(false, "CreateErrorInfo works");
    if (create) create->Release();
    return;
  }
  create->SetDescription(const_cast<LPOLESTR>(L"Description \u00e9\u00e8 \U0001F600"));
  create->SetSource(const_cast<LPOLESTR>(L"winsmoke"));
  ::SetErrorInfo(0, error);
  error->Release();
  create->Release();

  ComErrorInfo info;
  HRESULT result = api.GetErrorInfo(0, info);
  Print("  GetErrorInfo: 0x%08lX, description \"%s\", source \"%s\"\n", Hex(result),
        Utf8(info.description).c_str(), Utf8(info.source).c_str());
  Check(result == S_OK, "the thread's error information is found");
  Check(info.description == u"Description \u00e9\u00e8 \U0001F600", "the description is intact");
  Check(info.source == u"winsmoke", "the source is intact");
  result = api.GetErrorInfo(0, info);
  Print("  GetErrorInfo again: 0x%08lX\n", Hex(result));
  Check(result == S_FALSE && info.description.empty(), "it is handed out once");
}

void ScriptControl(skarvet::WinApi& api) {
  Print("== script control\n");
  HRESULT result = api.CoInitialize(nullptr);
  Print("  CoInitialize: 0x%08lX\n", Hex(result));
  Check(SUCCEEDED(result), "the component model starts on this thread");

  CompareVtableWithTypeLibrary();

  Print("== script control through the seam\n");
  std::unique_ptr<ScriptControlObject> control;
  result = api.CoCreateScriptControl(control);
  Print("  CoCreateScriptControl: 0x%08lX\n", Hex(result));
  Check(SUCCEEDED(result) && control, "the script control is created");
  if (!control) return;

  result =
      control->PutProperty(skarvet::DISPID_ScriptControl_Language, ScriptValue::Text(u"VBScript"));
  Print("  Language = \"VBScript\": 0x%08lX\n", Hex(result));
  Check(result == S_OK, "the language is set");
  result = control->PutProperty(skarvet::DISPID_ScriptControl_Timeout, ScriptValue::Integer(-1));
  Print("  Timeout = -1: 0x%08lX\n", Hex(result));
  Check(result == S_OK, "the time-out is set");
  result = control->QueryScriptControl();
  Print("  QueryInterface(IScriptControl): 0x%08lX\n", Hex(result));
  Check(result == S_OK, "the component has IScriptControl");

  // Arithmetic and string work only. Report raises an error whose number
  // and description carry what Main computed.
  const std::u16string script = u"Dim Total\r\n"
                                u"Sub Main\r\n"
                                u"Dim i, s\r\n"
                                u"Total = 0\r\n"
                                u"For i = 1 To 10\r\n"
                                u"Total = Total + i * i\r\n"
                                u"Next\r\n"
                                u"s = UCase(\"skarvet\") & \"-\" & CStr(Total)\r\n"
                                u"If s <> \"SKARVET-385\" Then Err.Raise 1000, \"winsmoke\", s\r\n"
                                u"End Sub\r\n"
                                u"Sub Report\r\n"
                                u"Err.Raise vbObjectError + Total, \"winsmoke\", "
                                u"\"Main computed \" & CStr(Total) & \".\"\r\n"
                                u"End Sub\r\n";
  result = control->AddCode(script);
  Print("  AddCode(harmless script): 0x%08lX\n", Hex(result));
  Check(result == S_OK, "the script compiles");
  if (result != S_OK) TakeErrorInfo(api, result);

  result = control->ExecuteStatement(u"Main");
  Print("  ExecuteStatement(\"Main\"): 0x%08lX\n", Hex(result));
  Check(result == S_OK, "Main runs");
  if (result != S_OK) TakeErrorInfo(api, result);

  // The error number carries Total, so the HRESULT shows that Main ran.
  result = control->ExecuteStatement(u"Report");
  Print("  ExecuteStatement(\"Report\"), raises on purpose: 0x%08lX\n", Hex(result));
  Check(result == static_cast<HRESULT>(0x80040000u + 385), "the script's own error number");
  if (FAILED(result)) {
    const ComErrorInfo info = TakeErrorInfo(api, result);
    if (!g_wine)
      Check(info.description == u"Main computed 385.", "the script's own description arrives");
  }

  Print("== broken scripts (the error-text path)\n");
  result = control->AddCode(u"Sub Broken(\r\nx = (1 +\r\nEnd Sub\r\n");
  Print("  AddCode(syntax error): 0x%08lX\n", Hex(result));
  Check(FAILED(result), "a syntax error fails AddCode");
  if (FAILED(result)) TakeErrorInfo(api, result);

  result = control->ExecuteStatement(u"x = 1 / 0");
  Print("  ExecuteStatement(division by zero): 0x%08lX\n", Hex(result));
  Check(FAILED(result), "a run-time error fails ExecuteStatement");
  if (FAILED(result)) TakeErrorInfo(api, result);

  // A property write the component refuses: only its failure is checked, as
  // components differ in how they report it.
  result = control->PutProperty(skarvet::DISPID_ScriptControl_Language,
                                ScriptValue::Text(u"NoSuchLanguage"));
  Print("  Language = \"NoSuchLanguage\": 0x%08lX\n", Hex(result));
  Check(FAILED(result), "an unknown language is refused");
  ComErrorInfo refused;
  const HRESULT refusedInfo = api.GetErrorInfo(0, refused);
  Print("  -> GetErrorInfo 0x%08lX, description \"%s\", source \"%s\"\n", Hex(refusedInfo),
        Utf8(refused.description).c_str(), Utf8(refused.source).c_str());

  ComErrorInfo none;
  result = api.GetErrorInfo(0, none);
  Print("  GetErrorInfo once more: 0x%08lX (taken already)\n", Hex(result));
  Check(result == S_FALSE, "error information is handed out once");
}

// The logoff routine's wrapper around the control, and the error texts it
// builds: the routine shows these texts in the status line.
void LogoffWrapper() {
  Print("== the logoff routine's script control wrapper (TScriptControl) and its error texts\n");
  try {
    skarvet::TScriptControl control;
    control.SetLanguage(u"VBScript");
    control.SetTimeout(skarvet::NoTimeout);
    control.AddCode(u"Sub Main\r\nDim t\r\nt = Len(\"abc\") * 7\r\nEnd Sub\r\n");
    control.ExecuteStatement(u"Main");
    Print("  Language, Timeout, AddCode, ExecuteStatement(\"Main\"): no error\n");
  } catch (const skarvet::EOleError& error) {
    Print("  unexpected error 0x%08lX: \"%s\"\n", Hex(error.ErrorCode), error.what());
    Check(false, "a harmless script runs through the wrapper");
    return;
  }

  struct Broken {
    const char* what;
    const char16_t* code;      // added with AddCode
    const char16_t* statement; // then run, when there is one
  };
  const Broken broken[] = {
      {"syntax error", u"Sub Broken(\r\nx = (1 +\r\nEnd Sub\r\n", nullptr},
      {"run-time error", u"Sub Divide\r\nx = 1 / 0\r\nEnd Sub\r\n", u"Divide"},
      {"error raised by the script",
       u"Sub Refuse\r\nErr.Raise 70, \"winsmoke\", \"Refused.\"\r\nEnd Sub\r\n", u"Refuse"},
      {"unknown routine", u"", u"NoSuchRoutine"},
  };
  for (const Broken& script : broken) {
    try {
      skarvet::TScriptControl control;
      control.SetLanguage(u"VBScript");
      control.SetTimeout(skarvet::NoTimeout);
      if (*script.code) control.AddCode(script.code);
      if (script.statement) control.ExecuteStatement(script.statement);
      Print("  %s: no error\n", script.what);
      Check(false, "a broken script fails");
    } catch (const skarvet::EOleError& error) {
      const std::string text = error.what();
      Print("  %s: 0x%08lX, error text \"%s\"\n", script.what, Hex(error.ErrorCode),
            Visible(text).c_str());
      Check(!text.empty(), "the failure has an error text");
      Check(text.back() != '.' && static_cast<unsigned char>(text.back()) > 32,
            "the error text ends without a full stop or blank");
    }
  }
}

} // namespace

int main() {
  g_wine = WineVersion();
  Print("winsmoke: the native Windows seam, %s%s\n", g_wine ? "Wine " : "Windows",
        g_wine ? g_wine : "");
  skarvet::NativeWinApi native;
  skarvet::ScopedWinApi use(native);

  SystemMessages(native);
  ShutdownPrivilege(native);
  ScriptControl(native);
  LogoffWrapper();
  ErrorInfoRoundTrip(native);

  if (g_failures) {
    Print("winsmoke: %d check(s) failed\n", g_failures);
    return 1;
  }
  Print("winsmoke: all checks passed\n");
  return 0;
}
