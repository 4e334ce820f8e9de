// A small VBScript engine for the simulated script control.
//
// It compiles and runs the part of the language that administrative
// scripts of this kind use: Sub/End Sub (with parameters), Dim, Set and
// plain assignment, Call and calls with or without parentheses, method
// calls and property reads on objects, For Each ... In ... / Next, string
// literals with doubled quotes, numbers, the & operator, unary minus,
// Empty/Nothing/True/False, comments (' and Rem), ':' between statements and
// '_' line continuation, and the functions CreateObject, Chr and ChrW.
// Keywords and names are case-insensitive.
//
// Errors carry VBScript's own numbers and wording: compile errors with the
// source "Microsoft VBScript compilation error", run-time errors with
// "Microsoft VBScript runtime error", and errors raised by host objects with
// whatever those objects give. No input can crash it: recursion and nesting
// are bounded, and every failure is an Error.
#pragma once

#include "platform/Win32Types.h"

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace skarvet::sim::vbs {

inline constexpr char16_t kCompileErrorSource[] = u"Microsoft VBScript compilation error";
inline constexpr char16_t kRuntimeErrorSource[] = u"Microsoft VBScript runtime error";

// The HRESULT of VBScript error `number` (facility 0x0A: 0x800A0000 | number).
constexpr HRESULT ErrorCode(int number) {
  return static_cast<HRESULT>(0x800A0000u | static_cast<unsigned>(number));
}

// What a failed compile or run leaves: the code, the text, its source, and
// where in the text it happened (1-based; 0 when not known).
struct Error {
  HRESULT code = 0;
  std::u16string description;
  std::u16string source;
  int line = 0;
  int column = 0;
};

// Thrown by host objects (and inside the engine) to raise a script error;
// the engine catches it and hands the Error back.
class ScriptException : public std::exception {
public:
  explicit ScriptException(Error error) : error_(std::move(error)) {}
  const Error& error() const { return error_; }
  const char* what() const noexcept override { return "script error"; }

private:
  Error error_;
};

// Raises a VBScript run-time error: number, VBScript's wording, and an
// optional name that VBScript appends as ": 'name'".
[[noreturn]] void RaiseRuntime(int number, std::u16string_view name = {});

class Object;
using ObjectRef = std::shared_ptr<Object>;

struct Value {
  enum class Kind { Empty, Boolean, Number, Text, Object, Nothing };
  Kind kind = Kind::Empty;
  bool boolean = false;
  double number = 0;
  std::u16string text;
  ObjectRef object;

  static Value Bool(bool v);
  static Value Num(double v);
  static Value Str(std::u16string v);
  static Value Obj(ObjectRef v);
  static Value None(); // Nothing

  bool IsObject() const { return kind == Kind::Object; }
};

// A value as a string, the way VBScript converts it for '&' and for
// string arguments; objects raise "Type mismatch".
std::u16string ToText(const Value& value);

// A value as a number, the way VBScript converts arguments; raises "Type
// mismatch" for objects and for texts that are not numbers.
double ToNumber(const Value& value);

// Compares an identifier with an ASCII name, ignoring case.
bool SameName(std::u16string_view name, std::string_view ascii);

// An object the host hands to scripts.
class Object {
public:
  virtual ~Object() = default;
  // Calls method or reads property `name` with `args`. Returns nothing when
  // the object has no such member (the engine then raises error 438).
  // May throw ScriptException.
  virtual std::optional<Value> Invoke(std::u16string_view name, const std::vector<Value>& args) = 0;
  // The items For Each walks; nothing when the object is not a collection.
  virtual std::optional<std::vector<Value>> Items() { return std::nullopt; }
};

// What the engine asks of its host.
class Host {
public:
  virtual ~Host() = default;
  // CreateObject: the new object, or null when no such component can be
  // created (the engine then raises error 429). May throw ScriptException.
  virtual ObjectRef CreateObject(std::u16string_view progId) = 0;
  // Called before each statement runs; may throw to stop the script.
  virtual void BeforeStatement() {}
};

// One script module: the procedures and global variables that AddCode has
// given it so far.
class Module {
public:
  explicit Module(Host& host);
  ~Module();
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  // Compiles `code`, adds its procedures and runs its global statements.
  // When the text does not compile, nothing of it is added.
  std::optional<Error> AddCode(std::u16string_view code);
  // Compiles and runs one statement (or several separated by ':' or line
  // breaks) at global level, e.g. "Main".
  std::optional<Error> ExecuteStatement(std::u16string_view statement);

private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

} // namespace skarvet::sim::vbs
