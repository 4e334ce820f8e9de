// The script control component of the simulated network, and the
// management instrumentation service its scripts reach on the target.
//
// The control compiles and runs VBScript with the engine of VbScript.h.
// Scripts may create "WbemScripting.SWbemLocator", connect with
// ConnectServer to a computer of the simulated network (with the named
// account, or the calling thread's identity when the account is empty),
// query Win32_OperatingSystem and call its Win32Shutdown. Failures leave
// error information for the calling thread with the descriptions, codes and
// sources the real components give.
#include "platform/sim/SimulatedWinApi.h"
#include "platform/sim/VbScript.h"
#include "platform/text/AnsiCodePage.h"
#include "platform/text/TextHelpers.h"

#include <cmath>
#include <cstdint>
#include <functional>

namespace skarvet {
namespace {

namespace vbs = sim::vbs;

constexpr HRESULT TIMEOUT_HRESULT = static_cast<HRESULT>(0x800705B4u); // from ERROR_TIMEOUT

// Results of the management service, as its scripting objects report them.
constexpr HRESULT RPC_UNAVAILABLE_HRESULT = static_cast<HRESULT>(0x800706BAu);
constexpr HRESULT RPC_CALL_FAILED_HRESULT = static_cast<HRESULT>(0x800706BEu);
constexpr HRESULT ACCESS_DENIED_HRESULT = static_cast<HRESULT>(0x80070005u);
constexpr HRESULT WBEM_E_INVALID_NAMESPACE = static_cast<HRESULT>(0x8004100Eu);
constexpr HRESULT WBEM_E_INVALID_CLASS = static_cast<HRESULT>(0x80041010u);
constexpr HRESULT WBEM_E_INVALID_QUERY = static_cast<HRESULT>(0x80041017u);
constexpr HRESULT WBEM_E_PRIVILEGE_NOT_HELD = static_cast<HRESULT>(0x80041062u);
constexpr HRESULT WBEM_E_LOCAL_CREDENTIALS = static_cast<HRESULT>(0x80041064u);

[[noreturn]] void RaiseWbem(HRESULT code, std::u16string description, std::u16string source) {
  vbs::Error error;
  error.code = code;
  error.description = std::move(description);
  error.source = std::move(source);
  throw vbs::ScriptException(std::move(error));
}

// A property value given as an integer, or as a text holding one (the
// dispatch interface converts it).
bool AsInteger(const ScriptValue& value, LONG& out) {
  if (value.kind == ScriptValue::Kind::Integer) {
    out = value.integer;
    return true;
  }
  const std::string text = WideToAnsi(value.text);
  if (text.empty() || text.size() > 11) return false;
  std::size_t i = (text[0] == '-' || text[0] == '+') ? 1 : 0;
  if (i == text.size()) return false;
  long long number = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    number = number * 10 + (text[i] - '0');
  }
  if (text[0] == '-') number = -number;
  if (number < INT32_MIN || number > INT32_MAX) return false;
  out = static_cast<LONG>(number);
  return true;
}

} // namespace

// --- the management service -------------------------------------------------------

class SimulatedWinApi::ManagementService {
public:
  struct Connection {
    SimulatedWinApi* api = nullptr;
    std::string computer;  // upper case
    std::string nameSpace; // upper case, backslashes
  };

  class Locator;
  class Services;
  class ObjectSet;
  class OperatingSystem;

  static vbs::ObjectRef CreateLocator(SimulatedWinApi& api);

  // ConnectServer: reaches the computer and logs on there.
  static Connection Connect(SimulatedWinApi& api, const std::u16string& server,
                            const std::u16string& nameSpace, const std::u16string& user,
                            const std::u16string& password) {
    std::function<void(const ManagementConnect&)> observer;
    {
      std::lock_guard lock(api.mutex_);
      observer = api.connectObserver_;
    }
    if (observer) observer({server, nameSpace, user, password});

    api.SimulateLatency();
    std::unique_lock lock(api.mutex_);
    const std::string serverName = WideToAnsi(server);
    sim::Computer* computer = api.ResolveLocked(serverName);
    switch (api.AnswerOfLocked(computer)) {
    case Answer::Silent:
      api.WaitForSilentHost(lock);
      [[fallthrough]];
    case Answer::NotFound:
    case Answer::Down:
    case Answer::RpcDown:
      RaiseWbem(RPC_UNAVAILABLE_HRESULT, u"The RPC server is unavailable. ", u"SWbemLocator");
    case Answer::Reachable:
      break;
    }
    const bool local = EqualsIgnoreCase(computer->name, api.network_.localComputer);
    if (local && !user.empty())
      RaiseWbem(WBEM_E_LOCAL_CREDENTIALS, u"User credentials cannot be used for local connections ",
                u"SWbemLocator");
    std::string plain = user.empty() ? std::string() : WideToAnsi(password);
    const WipeAtExit wipePlain(plain);
    const Account account =
        user.empty() ? api.ThreadAccount() : ParseAccount(WideToAnsi(user), plain);
    if (api.AuthorizeLocked(account, *computer) != ERROR_SUCCESS)
      RaiseWbem(ACCESS_DENIED_HRESULT, u"Access is denied. ", u"SWbemLocator");

    std::string ns = UpperAscii(WideToAnsi(nameSpace));
    for (char& c : ns)
      if (c == '/') c = '\\';
    if (ns.empty()) ns = "ROOT\\CIMV2";
    if (ns != "ROOT\\CIMV2" && ns != "ROOT\\DEFAULT" && ns != "ROOT\\WMI")
      RaiseWbem(WBEM_E_INVALID_NAMESPACE, u"Invalid namespace ", u"SWbemLocator");
    return Connection{&api, computer->name, ns};
  }

  // Reaches the connected computer again for a call on an open connection.
  static sim::Computer* Reach(const Connection& connection, std::unique_lock<std::mutex>& lock,
                              const char16_t* source) {
    SimulatedWinApi& api = *connection.api;
    sim::Computer* computer = api.network_.FindComputer(connection.computer);
    switch (api.AnswerOfLocked(computer)) {
    case Answer::Reachable:
      return computer;
    case Answer::Silent:
      api.WaitForSilentHost(lock);
      [[fallthrough]];
    default:
      RaiseWbem(RPC_CALL_FAILED_HRESULT, u"The remote procedure call failed. ", source);
    }
  }

  // The instances of Win32_OperatingSystem (one per computer).
  static std::vector<vbs::Value> Instances(const Connection& connection,
                                           const std::string& className);

  static vbs::Value Shutdown(const Connection& connection, int flags) {
    SimulatedWinApi& api = *connection.api;
    api.SimulateLatency();
    std::unique_lock lock(api.mutex_);
    sim::Computer* computer = Reach(connection, lock, u"SWbemObjectEx");
    switch (flags) {
    case 0: // logoff
    case 4: // forced logoff
      computer->interactiveUser.clear();
      ++computer->logoffs;
      return vbs::Value::Num(0);
    case 1:
    case 5:
    case 2:
    case 6:
    case 8:
    case 12:
      // Shutting down needs the shutdown privilege enabled on the
      // connection, which these scripts do not ask for.
      RaiseWbem(WBEM_E_PRIVILEGE_NOT_HELD, u"Privilege not held ", u"SWbemObjectEx");
    default:
      return vbs::Value::Num(ERROR_INVALID_PARAMETER);
    }
  }
};

class SimulatedWinApi::ManagementService::OperatingSystem : public vbs::Object {
public:
  explicit OperatingSystem(Connection connection) : connection_(std::move(connection)) {}

  std::optional<vbs::Value> Invoke(std::u16string_view name,
                                   const std::vector<vbs::Value>& args) override {
    if (vbs::SameName(name, "Win32Shutdown")) {
      if (args.empty() || args.size() > 2) vbs::RaiseRuntime(450, u"Win32Shutdown");
      const double flags = vbs::ToNumber(args[0]);
      if (!(flags >= INT32_MIN && flags <= INT32_MAX)) vbs::RaiseRuntime(6);
      return Shutdown(connection_, static_cast<int>(std::nearbyint(flags)));
    }
    const std::u16string computer = AnsiToWide(connection_.computer);
    std::optional<vbs::Value> property;
    if (vbs::SameName(name, "CSName"))
      property = vbs::Value::Str(computer);
    else if (vbs::SameName(name, "Caption"))
      property = vbs::Value::Str(u"Microsoft Windows 10 Pro");
    else if (vbs::SameName(name, "Name"))
      property =
          vbs::Value::Str(u"Microsoft Windows 10 Pro|C:\\WINDOWS|\\Device\\Harddisk0\\Partition2");
    if (property && !args.empty()) vbs::RaiseRuntime(450, name);
    return property;
  }

private:
  Connection connection_;
};

std::vector<vbs::Value>
SimulatedWinApi::ManagementService::Instances(const Connection& connection,
                                              const std::string& className) {
  SimulatedWinApi& api = *connection.api;
  api.SimulateLatency();
  std::unique_lock lock(api.mutex_);
  Reach(connection, lock, u"SWbemObjectSet");
  if (className != "WIN32_OPERATINGSYSTEM" || connection.nameSpace != "ROOT\\CIMV2")
    RaiseWbem(WBEM_E_INVALID_CLASS, u"Invalid class ", u"SWbemObjectSet");
  return {vbs::Value::Obj(std::make_shared<OperatingSystem>(connection))};
}

// The result of a query: run when it is first walked or counted, as a
// semisynchronous query is.
class SimulatedWinApi::ManagementService::ObjectSet : public vbs::Object {
public:
  ObjectSet(Connection connection, std::string className, bool validQuery)
      : connection_(std::move(connection)), className_(std::move(className)),
        validQuery_(validQuery) {}

  std::optional<vbs::Value> Invoke(std::u16string_view name,
                                   const std::vector<vbs::Value>& args) override {
    if (vbs::SameName(name, "Count")) {
      if (!args.empty()) vbs::RaiseRuntime(450, name);
      return vbs::Value::Num(static_cast<double>(Run().size()));
    }
    return std::nullopt;
  }
  std::optional<std::vector<vbs::Value>> Items() override { return Run(); }

private:
  Connection connection_;
  std::string className_;
  bool validQuery_;
  std::optional<std::vector<vbs::Value>> items_;

  const std::vector<vbs::Value>& Run() {
    if (!validQuery_) RaiseWbem(WBEM_E_INVALID_QUERY, u"Invalid query ", u"SWbemObjectSet");
    if (!items_) items_ = Instances(connection_, className_);
    return *items_;
  }
};

class SimulatedWinApi::ManagementService::Services : public vbs::Object {
public:
  explicit Services(Connection connection) : connection_(std::move(connection)) {}

  std::optional<vbs::Value> Invoke(std::u16string_view name,
                                   const std::vector<vbs::Value>& args) override {
    if (vbs::SameName(name, "ExecQuery")) {
      if (args.empty() || args.size() > 4) vbs::RaiseRuntime(450, u"ExecQuery");
      std::string className;
      const bool valid = ParseQuery(WideToAnsi(vbs::ToText(args[0])), className);
      return vbs::Value::Obj(std::make_shared<ObjectSet>(connection_, className, valid));
    }
    if (vbs::SameName(name, "InstancesOf")) {
      if (args.empty() || args.size() > 3) vbs::RaiseRuntime(450, u"InstancesOf");
      const std::string className = UpperAscii(WideToAnsi(vbs::ToText(args[0])));
      return vbs::Value::Obj(std::make_shared<ObjectSet>(connection_, className, true));
    }
    return std::nullopt;
  }

private:
  Connection connection_;

  // "Select <properties> From <class>": the class, upper-cased.
  static bool ParseQuery(const std::string& query, std::string& className) {
    std::vector<std::string> words;
    std::string word;
    for (char c : query) {
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
        if (!word.empty()) words.push_back(UpperAscii(word));
        word.clear();
      } else {
        word.push_back(c);
      }
    }
    if (!word.empty()) words.push_back(UpperAscii(word));
    if (words.size() < 4 || words[0] != "SELECT") return false;
    std::size_t from = 1;
    while (from < words.size() && words[from] != "FROM") ++from;
    if (from == 1 || from + 2 != words.size()) return false;
    className = words[from + 1];
    for (char c : className)
      if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return false;
    return true;
  }
};

class SimulatedWinApi::ManagementService::Locator : public vbs::Object {
public:
  explicit Locator(SimulatedWinApi& api) : api_(api) {}

  std::optional<vbs::Value> Invoke(std::u16string_view name,
                                   const std::vector<vbs::Value>& args) override {
    if (!vbs::SameName(name, "ConnectServer")) return std::nullopt;
    if (args.size() > 8) vbs::RaiseRuntime(450, u"ConnectServer");
    std::u16string text[4];
    for (std::size_t i = 0; i < 4 && i < args.size(); ++i) text[i] = vbs::ToText(args[i]);
    Connection connection = Connect(api_, text[0], text[1], text[2], text[3]);
    return vbs::Value::Obj(std::make_shared<Services>(std::move(connection)));
  }

private:
  SimulatedWinApi& api_;
};

vbs::ObjectRef SimulatedWinApi::ManagementService::CreateLocator(SimulatedWinApi& api) {
  return std::make_shared<Locator>(api);
}

// --- the script control --------------------------------------------------------------

class SimulatedWinApi::ScriptControl : public ScriptControlObject, private vbs::Host {
public:
  explicit ScriptControl(SimulatedWinApi& api) : api_(api) {}

  HRESULT PutProperty(DISPID dispId, const ScriptValue& value) override {
    ClearThreadErrorInfo();
    LONG number = 0;
    switch (dispId) {
    case DISPID_ScriptControl_Language: {
      const std::u16string language = value.kind == ScriptValue::Kind::Text
                                          ? value.text
                                          : AnsiToWide(std::to_string(value.integer));
      // Only the VBScript engine is installed here.
      if (!vbs::SameName(language, "VBScript") && !vbs::SameName(language, "VBS"))
        return CO_E_CLASSSTRING;
      module_ = std::make_unique<vbs::Module>(static_cast<vbs::Host&>(*this)); // afresh
      return S_OK;
    }
    case DISPID_ScriptControl_State:
      if (!AsInteger(value, number)) return DISP_E_TYPEMISMATCH;
      if (number != 0 && number != 1) return E_INVALIDARG;
      state_ = number;
      return S_OK;
    case DISPID_ScriptControl_SitehWnd:
      if (!AsInteger(value, number)) return DISP_E_TYPEMISMATCH;
      siteHwnd_ = number;
      return S_OK;
    case DISPID_ScriptControl_Timeout:
      if (!AsInteger(value, number)) return DISP_E_TYPEMISMATCH;
      if (number < -1) return E_INVALIDARG;
      timeout_ = number;
      return S_OK;
    case DISPID_ScriptControl_AllowUI:
      if (!AsInteger(value, number)) return DISP_E_TYPEMISMATCH;
      allowUI_ = number != 0;
      return S_OK;
    case DISPID_ScriptControl_UseSafeSubset:
      if (!AsInteger(value, number)) return DISP_E_TYPEMISMATCH;
      useSafeSubset_ = number != 0;
      return S_OK;
    default:
      return DISP_E_MEMBERNOTFOUND;
    }
  }

  HRESULT QueryScriptControl() override {
    queried_ = true;
    return S_OK;
  }

  HRESULT AddCode(const std::u16string& code) override {
    return Run([&] { return module_->AddCode(UpToNull(code)); });
  }

  HRESULT ExecuteStatement(const std::u16string& statement) override {
    return Run([&] { return module_->ExecuteStatement(UpToNull(statement)); });
  }

private:
  SimulatedWinApi& api_;
  std::unique_ptr<vbs::Module> module_;
  bool queried_ = false;
  LONG state_ = 0;
  LONG siteHwnd_ = 0;
  LONG timeout_ = 10000; // the component's default, in milliseconds; -1 = none
  bool allowUI_ = true;
  bool useSafeSubset_ = false;
  std::chrono::steady_clock::time_point runStart_;

  // The engine reads its text as a C string: it ends at the first null.
  static std::u16string_view UpToNull(const std::u16string& text) {
    return std::u16string_view(text.c_str());
  }

  template <typename F> HRESULT Run(F&& f) {
    // The methods are reached through IScriptControl only.
    if (!queried_) return E_UNEXPECTED;
    ClearThreadErrorInfo();
    if (!module_) {
      SetThreadErrorInfo({u"The operation could not be completed because the Language "
                          u"property has not been set",
                          u"ScriptControl"});
      return E_UNEXPECTED;
    }
    runStart_ = std::chrono::steady_clock::now();
    const std::optional<vbs::Error> error = f();
    if (!error) return S_OK;
    SetThreadErrorInfo({error->description, error->source});
    return error->code;
  }

  vbs::ObjectRef CreateObject(std::u16string_view progId) override {
    if (vbs::SameName(progId, "WbemScripting.SWbemLocator")) {
      // Not marked safe for scripting: refused in the safe subset.
      if (useSafeSubset_) return nullptr;
      return ManagementService::CreateLocator(api_);
    }
    return nullptr;
  }

  void BeforeStatement() override {
    if (timeout_ < 0) return;
    const auto elapsed = std::chrono::steady_clock::now() - runStart_;
    if (elapsed > std::chrono::milliseconds(timeout_)) {
      // The run is stopped; the error carries no text of its own.
      vbs::Error error;
      error.code = TIMEOUT_HRESULT;
      throw vbs::ScriptException(std::move(error));
    }
  }
};

HRESULT SimulatedWinApi::CoCreateScriptControl(std::unique_ptr<ScriptControlObject>& object) {
  if (!ThreadComInitialized()) return CO_E_NOTINITIALIZED;
  object = std::make_unique<ScriptControl>(*this);
  return S_OK;
}

void SimulatedWinApi::SetManagementConnectObserver(
    std::function<void(const ManagementConnect&)> observer) {
  std::lock_guard lock(mutex_);
  connectObserver_ = std::move(observer);
}

} // namespace skarvet
