#include "platform/native/NativeWinApi.h"

#include "platform/native/ScriptControlInterface.h"

#include <oleauto.h>

#include <cstring>
#include <new>

namespace skarvet {
namespace {

static_assert(sizeof(OLECHAR) == sizeof(char16_t), "BSTRs hold UTF-16 code units");

// A BSTR holding exactly `text` (embedded zeros included); null when out of
// memory. The caller frees it with SysFreeString.
BSTR ToBstr(const std::u16string& text) {
  BSTR result = ::SysAllocStringLen(nullptr, static_cast<UINT>(text.size()));
  if (result && !text.empty()) std::memcpy(result, text.data(), text.size() * sizeof(char16_t));
  return result;
}

std::u16string FromBstr(BSTR text) {
  std::u16string result(::SysStringLen(text), u'\0');
  if (!result.empty()) std::memcpy(result.data(), text, result.size() * sizeof(char16_t));
  return result;
}

// Drops whatever error information an earlier call left on this thread, so
// that the information found after a failure belongs to that failure.
void ClearThreadErrorInfo() {
  ::SetErrorInfo(0, nullptr);
}

// A property write that raised an exception in the component reports it in
// EXCEPINFO only. Leave it as the thread's error information too, as the
// methods of IScriptControl do, so that the caller reads every failure the
// same way (GetErrorInfo). Frees the strings of `exception`.
void LeaveAsThreadErrorInfo(EXCEPINFO& exception) {
  if (exception.pfnDeferredFillIn) exception.pfnDeferredFillIn(&exception);
  ICreateErrorInfo* create = nullptr;
  if (SUCCEEDED(::CreateErrorInfo(&create))) {
    create->SetGUID(IID_IDispatch);
    create->SetDescription(exception.bstrDescription);
    create->SetSource(exception.bstrSource);
    create->SetHelpFile(exception.bstrHelpFile);
    create->SetHelpContext(exception.dwHelpContext);
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
      ::SetErrorInfo(0, info);
      info->Release();
    }
    create->Release();
  }
  ::SysFreeString(exception.bstrDescription);
  ::SysFreeString(exception.bstrSource);
  ::SysFreeString(exception.bstrHelpFile);
}

// One instance of the script control. Created and used on one thread, whose
// apartment it lives in; released on the same thread by its owner.
class NativeScriptControl final : public ScriptControlObject {
public:
  explicit NativeScriptControl(IDispatch* dispatch) : dispatch_(dispatch) {}
  ~NativeScriptControl() override {
    if (control_) control_->Release();
    dispatch_->Release();
  }
  NativeScriptControl(const NativeScriptControl&) = delete;
  NativeScriptControl& operator=(const NativeScriptControl&) = delete;

  HRESULT PutProperty(DISPID dispId, const ScriptValue& value) override {
    VARIANT argument;
    ::VariantInit(&argument);
    if (value.kind == ScriptValue::Kind::Text) {
      argument.vt = VT_BSTR;
      argument.bstrVal = ToBstr(value.text);
      if (!argument.bstrVal) return E_OUTOFMEMORY;
    } else {
      argument.vt = VT_I4;
      argument.lVal = value.integer;
    }
    DISPID namedArgument = DISPID_PROPERTYPUT;
    DISPPARAMS parameters{&argument, &namedArgument, 1, 1};
    EXCEPINFO exception{};
    UINT argumentError = 0;
    ClearThreadErrorInfo();
    HRESULT result = dispatch_->Invoke(dispId, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT,
                                       &parameters, nullptr, &exception, &argumentError);
    ::VariantClear(&argument);
    if (result == DISP_E_EXCEPTION) LeaveAsThreadErrorInfo(exception);
    return result;
  }

  HRESULT QueryScriptControl() override {
    if (control_) return S_OK;
    return dispatch_->QueryInterface(kIidScriptControl, reinterpret_cast<void**>(&control_));
  }

  HRESULT AddCode(const std::u16string& code) override {
    return CallWithText(code, &IScriptControl::AddCode);
  }

  HRESULT ExecuteStatement(const std::u16string& statement) override {
    return CallWithText(statement, &IScriptControl::ExecuteStatement);
  }

private:
  HRESULT CallWithText(const std::u16string& text,
                       HRESULT (STDMETHODCALLTYPE IScriptControl::*method)(BSTR)) {
    if (!control_) {
      // The interface is obtained once and kept, as for a first call.
      HRESULT queried = QueryScriptControl();
      if (FAILED(queried)) return queried;
    }
    BSTR argument = ToBstr(text);
    if (!argument) return E_OUTOFMEMORY;
    ClearThreadErrorInfo();
    HRESULT result = (control_->*method)(argument);
    ::SysFreeString(argument);
    return result;
  }

  IDispatch* dispatch_;
  IScriptControl* control_ = nullptr;
};

} // namespace

// --- user32 -------------------------------------------------------------------

DWORD NativeWinApi::GetSysColor(int nIndex) {
  return ::GetSysColor(nIndex);
}

BOOL NativeWinApi::SetWindowTextA(HWND hWnd, LPCSTR lpString) {
  return ::SetWindowTextA(hWnd, lpString);
}

// --- kernel32 -----------------------------------------------------------------

DWORD NativeWinApi::GetLastError() {
  return ::GetLastError();
}

void NativeWinApi::SetLastError(DWORD dwErrCode) {
  ::SetLastError(dwErrCode);
}

HANDLE NativeWinApi::GetCurrentProcess() {
  return ::GetCurrentProcess();
}

BOOL NativeWinApi::CloseHandle(HANDLE hObject) {
  return ::CloseHandle(hObject);
}

DWORD NativeWinApi::FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId,
                                   DWORD dwLanguageId, LPSTR lpBuffer, DWORD nSize,
                                   va_list* Arguments) {
  return ::FormatMessageA(dwFlags, lpSource, dwMessageId, dwLanguageId, lpBuffer, nSize, Arguments);
}

// --- advapi32 -----------------------------------------------------------------

BOOL NativeWinApi::LogonUserA(LPCSTR lpszUsername, LPCSTR lpszDomain, LPCSTR lpszPassword,
                              DWORD dwLogonType, DWORD dwLogonProvider, PHANDLE phToken) {
  return ::LogonUserA(lpszUsername, lpszDomain, lpszPassword, dwLogonType, dwLogonProvider,
                      phToken);
}

BOOL NativeWinApi::ImpersonateLoggedOnUser(HANDLE hToken) {
  return ::ImpersonateLoggedOnUser(hToken);
}

BOOL NativeWinApi::OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess,
                                    PHANDLE TokenHandle) {
  return ::OpenProcessToken(ProcessHandle, DesiredAccess, TokenHandle);
}

BOOL NativeWinApi::LookupPrivilegeValueA(LPCSTR lpSystemName, LPCSTR lpName, PLUID lpLuid) {
  return ::LookupPrivilegeValueA(lpSystemName, lpName, lpLuid);
}

BOOL NativeWinApi::AdjustTokenPrivileges(HANDLE TokenHandle, BOOL DisableAllPrivileges,
                                         PTOKEN_PRIVILEGES NewState, DWORD BufferLength,
                                         PTOKEN_PRIVILEGES PreviousState, PDWORD ReturnLength) {
  return ::AdjustTokenPrivileges(TokenHandle, DisableAllPrivileges, NewState, BufferLength,
                                 PreviousState, ReturnLength);
}

BOOL NativeWinApi::InitiateSystemShutdownExA(LPSTR lpMachineName, LPSTR lpMessage, DWORD dwTimeout,
                                             BOOL bForceAppsClosed, BOOL bRebootAfterShutdown,
                                             DWORD dwReason) {
  return ::InitiateSystemShutdownExA(lpMachineName, lpMessage, dwTimeout, bForceAppsClosed,
                                     bRebootAfterShutdown, dwReason);
}

// --- mpr ----------------------------------------------------------------------

DWORD NativeWinApi::WNetAddConnection2A(LPNETRESOURCEA lpNetResource, LPCSTR lpPassword,
                                        LPCSTR lpUserName, DWORD dwFlags) {
  return ::WNetAddConnection2A(lpNetResource, lpPassword, lpUserName, dwFlags);
}

DWORD NativeWinApi::WNetOpenEnumA(DWORD dwScope, DWORD dwType, DWORD dwUsage,
                                  LPNETRESOURCEA lpNetResource, LPHANDLE lphEnum) {
  return ::WNetOpenEnumA(dwScope, dwType, dwUsage, lpNetResource, lphEnum);
}

DWORD NativeWinApi::WNetEnumResourceA(HANDLE hEnum, LPDWORD lpcCount, LPVOID lpBuffer,
                                      LPDWORD lpBufferSize) {
  return ::WNetEnumResourceA(hEnum, lpcCount, lpBuffer, lpBufferSize);
}

DWORD NativeWinApi::WNetCloseEnum(HANDLE hEnum) {
  return ::WNetCloseEnum(hEnum);
}

// --- netapi32 -----------------------------------------------------------------

NET_API_STATUS NativeWinApi::NetServerEnum(LPCWSTR servername, DWORD level, LPBYTE* bufptr,
                                           DWORD prefmaxlen, LPDWORD entriesread,
                                           LPDWORD totalentries, DWORD servertype, LPCWSTR domain,
                                           LPDWORD resume_handle) {
  return ::NetServerEnum(servername, level, bufptr, prefmaxlen, entriesread, totalentries,
                         servertype, domain, resume_handle);
}

NET_API_STATUS NativeWinApi::NetApiBufferFree(LPVOID Buffer) {
  return ::NetApiBufferFree(Buffer);
}

// --- ole32 / oleaut32 ---------------------------------------------------------

HRESULT NativeWinApi::CoInitialize(LPVOID pvReserved) {
  return ::CoInitialize(pvReserved);
}

HRESULT NativeWinApi::CoCreateScriptControl(std::unique_ptr<ScriptControlObject>& object) {
  object.reset();
  IDispatch* dispatch = nullptr;
  HRESULT result =
      ::CoCreateInstance(kClsidScriptControl, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                         IID_IDispatch, reinterpret_cast<void**>(&dispatch));
  if (FAILED(result)) return result;
  auto* control = new (std::nothrow) NativeScriptControl(dispatch);
  if (!control) {
    dispatch->Release();
    return E_OUTOFMEMORY;
  }
  object.reset(control);
  return result;
}

HRESULT NativeWinApi::GetErrorInfo(DWORD dwReserved, ComErrorInfo& info) {
  info = ComErrorInfo{};
  IErrorInfo* error = nullptr;
  HRESULT result = ::GetErrorInfo(dwReserved, &error);
  if (result != S_OK || !error) return result == S_OK ? S_FALSE : result;
  BSTR description = nullptr;
  BSTR source = nullptr;
  if (SUCCEEDED(error->GetDescription(&description)) && description)
    info.description = FromBstr(description);
  if (SUCCEEDED(error->GetSource(&source)) && source) info.source = FromBstr(source);
  ::SysFreeString(description);
  ::SysFreeString(source);
  error->Release();
  return S_OK;
}

// --- shell32 ------------------------------------------------------------------

HINSTANCE NativeWinApi::ShellExecuteA(HWND hwnd, LPCSTR lpOperation, LPCSTR lpFile,
                                      LPCSTR lpParameters, LPCSTR lpDirectory, INT nShowCmd) {
  return ::ShellExecuteA(hwnd, lpOperation, lpFile, lpParameters, lpDirectory, nShowCmd);
}

} // namespace skarvet
