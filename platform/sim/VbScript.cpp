#include "platform/sim/VbScript.h"

#include "platform/text/AnsiCodePage.h"
#include "platform/text/TextHelpers.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <set>

namespace skarvet::sim::vbs {
namespace {

// Deeper nesting than this is refused rather than risking the stack.
constexpr int kMaxNesting = 200;
constexpr int kMaxCallDepth = 200;
constexpr std::size_t kMaxIdentifier = 255;

std::u16string Widen(std::string_view ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

// VBScript's wording for the error numbers this engine raises.
std::u16string Wording(int number) {
  switch (number) {
  case 5:
    return u"Invalid procedure call or argument";
  case 6:
    return u"Overflow";
  case 7:
    return u"Out of memory";
  case 13:
    return u"Type mismatch";
  case 28:
    return u"Out of stack space";
  case 91:
    return u"Object variable not set";
  case 424:
    return u"Object required";
  case 429:
    return u"ActiveX component can't create object";
  case 438:
    return u"Object doesn't support this property or method";
  case 450:
    return u"Wrong number of arguments or invalid property assignment";
  case 451:
    return u"Object not a collection";
  case 462:
    return u"The remote server machine does not exist or is unavailable";
  case 501:
    return u"Illegal assignment";
  case 1001:
    return u"Out of memory";
  case 1002:
    return u"Syntax error";
  case 1005:
    return u"Expected '('";
  case 1006:
    return u"Expected ')'";
  case 1010:
    return u"Expected identifier";
  case 1011:
    return u"Expected '='";
  case 1014:
    return u"Expected 'End'";
  case 1016:
    return u"Expected 'Sub'";
  case 1020:
    return u"Expected 'Next'";
  case 1023:
    return u"Expected expression";
  case 1024:
    return u"Expected statement";
  case 1025:
    return u"Expected end of statement";
  case 1030:
    return u"Identifier too long";
  case 1031:
    return u"Invalid number";
  case 1032:
    return u"Invalid character";
  case 1033:
    return u"Unterminated string constant";
  case 1041:
    return u"Name redefined";
  case 1044:
    return u"Cannot use parentheses when calling a Sub";
  case 1046:
    return u"Expected 'In'";
  case 1055:
    return u"Unexpected 'Next'";
  default:
    return u"Unknown runtime error";
  }
}

char16_t UpperChar(char16_t c) {
  return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

std::u16string Upper(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = UpperChar(c);
  return out;
}

bool IsLetter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}
bool IsDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

// Words that cannot name a variable or procedure.
bool IsReserved(std::u16string_view name) {
  static const char* const kWords[] = {
      "And",  "ByRef",    "ByVal",   "Call",   "Case",  "Class",   "Const",  "Dim",  "Do",
      "Each", "Else",     "ElseIf",  "Empty",  "End",   "Eqv",     "Erase",  "Exit", "False",
      "For",  "Function", "Get",     "GoTo",   "If",    "Imp",     "In",     "Is",   "Let",
      "Loop", "Mod",      "New",     "Next",   "Not",   "Nothing", "Null",   "On",   "Option",
      "Or",   "Preserve", "Private", "Public", "ReDim", "Rem",     "Select", "Set",  "Stop",
      "Sub",  "Then",     "To",      "True",   "Until", "Wend",    "While",  "With", "Xor"};
  for (const char* word : kWords)
    if (SameName(name, word)) return true;
  return false;
}

[[noreturn]] void Raise(int number, std::u16string_view source, int line, int column,
                        std::u16string_view name = {}) {
  Error error;
  error.code = ErrorCode(number);
  error.description = Wording(number);
  if (!name.empty()) {
    error.description += u": '";
    error.description += name;
    error.description += u"'";
  }
  error.source = std::u16string(source);
  error.line = line;
  error.column = column;
  throw ScriptException(std::move(error));
}

std::u16string NumberText(double value) {
  if (std::isnan(value)) return u"NaN";
  if (std::isinf(value)) return value < 0 ? u"-1.#INF" : u"1.#INF";
  if (value == 0) return u"0";
  char buffer[64];
  if (value == std::floor(value) && std::fabs(value) < 1e15)
    std::snprintf(buffer, sizeof buffer, "%.0f", value);
  else
    std::snprintf(buffer, sizeof buffer, "%.15G", value);
  return Widen(buffer);
}

// --- tokens ------------------------------------------------------------------

enum class Tok { Ident, String, Number, Punct, EndOfStatement, EndOfText };

struct Token {
  Tok kind = Tok::EndOfText;
  std::u16string text; // identifier or string value
  double number = 0;
  char16_t punct = 0;
  int line = 1;
  int column = 1;
};

class Lexer {
public:
  explicit Lexer(std::u16string_view source) : src_(source) {}

  std::vector<Token> Run() {
    std::vector<Token> tokens;
    while (pos_ < src_.size()) {
      const char16_t c = src_[pos_];
      if (c == u' ' || c == u'\t') {
        ++pos_;
      } else if (c == u'\r' || c == u'\n') {
        tokens.push_back(Make(Tok::EndOfStatement));
        NewLine();
      } else if (c == u':') {
        tokens.push_back(Make(Tok::EndOfStatement));
        ++pos_;
      } else if (c == u'\'') {
        SkipToLineEnd();
      } else if (c == u'_') {
        Continuation();
      } else if (c == u'"') {
        tokens.push_back(String());
      } else if (IsDigit(c)) {
        tokens.push_back(Number());
      } else if (IsLetter(c)) {
        Token token = Identifier();
        if (SameName(token.text, "Rem") &&
            (pos_ >= src_.size() || src_[pos_] == u' ' || src_[pos_] == u'\t' ||
             src_[pos_] == u'\r' || src_[pos_] == u'\n' || src_[pos_] == u':')) {
          SkipToLineEnd();
        } else {
          tokens.push_back(std::move(token));
        }
      } else if (c == u'&' && pos_ + 1 < src_.size() &&
                 (src_[pos_ + 1] == u'H' || src_[pos_ + 1] == u'h')) {
        tokens.push_back(HexNumber());
      } else if (std::u16string_view(u"(),.&=-+*/\\^<>").find(c) != std::u16string_view::npos) {
        Token token = Make(Tok::Punct);
        token.punct = c;
        tokens.push_back(token);
        ++pos_;
      } else {
        Raise(1032, kCompileErrorSource, line_, Column());
      }
    }
    tokens.push_back(Make(Tok::EndOfStatement));
    tokens.push_back(Make(Tok::EndOfText));
    return tokens;
  }

private:
  std::u16string_view src_;
  std::size_t pos_ = 0;
  std::size_t lineStart_ = 0;
  int line_ = 1;

  int Column() const { return static_cast<int>(pos_ - lineStart_) + 1; }

  Token Make(Tok kind) const {
    Token token;
    token.kind = kind;
    token.line = line_;
    token.column = Column();
    return token;
  }

  // At a CR or LF: a CR LF pair is one line break.
  void NewLine() {
    if (src_[pos_] == u'\r' && pos_ + 1 < src_.size() && src_[pos_ + 1] == u'\n') ++pos_;
    ++pos_;
    ++line_;
    lineStart_ = pos_;
  }

  void SkipToLineEnd() {
    while (pos_ < src_.size() && src_[pos_] != u'\r' && src_[pos_] != u'\n') ++pos_;
  }

  // '_' at the end of a line joins the next line to this one.
  void Continuation() {
    std::size_t p = pos_ + 1;
    while (p < src_.size() && (src_[p] == u' ' || src_[p] == u'\t')) ++p;
    if (p < src_.size() && src_[p] != u'\r' && src_[p] != u'\n')
      Raise(1032, kCompileErrorSource, line_, Column());
    pos_ = p;
    if (pos_ < src_.size()) NewLine();
  }

  Token String() {
    Token token = Make(Tok::String);
    ++pos_;
    for (;;) {
      if (pos_ >= src_.size() || src_[pos_] == u'\r' || src_[pos_] == u'\n')
        Raise(1033, kCompileErrorSource, token.line, token.column);
      const char16_t c = src_[pos_++];
      if (c == u'"') {
        if (pos_ < src_.size() && src_[pos_] == u'"') {
          token.text.push_back(u'"');
          ++pos_;
        } else {
          return token;
        }
      } else {
        token.text.push_back(c);
      }
    }
  }

  Token Number() {
    Token token = Make(Tok::Number);
    double value = 0;
    while (pos_ < src_.size() && IsDigit(src_[pos_])) value = value * 10 + (src_[pos_++] - u'0');
    if (pos_ + 1 < src_.size() && src_[pos_] == u'.' && IsDigit(src_[pos_ + 1])) {
      ++pos_;
      double scale = 0.1;
      while (pos_ < src_.size() && IsDigit(src_[pos_])) {
        value += (src_[pos_++] - u'0') * scale;
        scale /= 10;
      }
    }
    token.number = value;
    return token;
  }

  Token HexNumber() {
    Token token = Make(Tok::Number);
    pos_ += 2;
    double value = 0;
    std::size_t digits = 0;
    for (; pos_ < src_.size(); ++pos_, ++digits) {
      const char16_t c = src_[pos_];
      int digit;
      if (IsDigit(c))
        digit = c - u'0';
      else if (c >= u'a' && c <= u'f')
        digit = c - u'a' + 10;
      else if (c >= u'A' && c <= u'F')
        digit = c - u'A' + 10;
      else
        break;
      value = value * 16 + digit;
    }
    if (digits == 0 || digits > 8) Raise(1031, kCompileErrorSource, token.line, token.column);
    if (pos_ < src_.size() && src_[pos_] == u'&') ++pos_; // optional type suffix of a Long
    // Eight digits are a signed 32-bit value, as in VBScript (&HFFFFFFFF is -1).
    if (value >= 2147483648.0) value -= 4294967296.0;
    token.number = value;
    return token;
  }

  Token Identifier() {
    Token token = Make(Tok::Ident);
    const std::size_t start = pos_;
    while (pos_ < src_.size() &&
           (IsLetter(src_[pos_]) || IsDigit(src_[pos_]) || src_[pos_] == u'_'))
      ++pos_;
    if (pos_ - start > kMaxIdentifier) Raise(1030, kCompileErrorSource, token.line, token.column);
    token.text = std::u16string(src_.substr(start, pos_ - start));
    return token;
  }
};

// --- syntax tree ---------------------------------------------------------------

struct Expr;
using ExprPtr = std::unique_ptr<Expr>;

struct Expr {
  enum class Kind { Literal, Ref, Concat, Negate, Plus };
  Kind kind = Kind::Literal;
  Value literal;
  // Ref: [base.]name[(args)]
  ExprPtr base;
  std::u16string name;
  std::vector<ExprPtr> args; // also the parts of a Concat, the operand of Negate/Plus
  bool parens = false;
};

struct Stmt {
  enum class Kind { Call, Assign, Set, Dim, ForEach };
  Kind kind = Kind::Call;
  int line = 0;
  ExprPtr target;
  ExprPtr value;
  std::vector<std::u16string> names; // Dim; ForEach: the loop variable
  std::vector<Stmt> body;
};

struct Procedure {
  std::u16string name;
  std::vector<std::u16string> params;
  std::vector<Stmt> body;
};

struct Program {
  std::vector<std::shared_ptr<Procedure>> procedures;
  std::vector<Stmt> statements;
};

// --- parser ----------------------------------------------------------------------

class Parser {
public:
  Parser(std::vector<Token> tokens, bool allowProcedures)
      : tokens_(std::move(tokens)), allowProcedures_(allowProcedures) {}

  Program Run() {
    Program program;
    for (;;) {
      SkipEnds();
      const Token& t = Peek();
      if (t.kind == Tok::EndOfText) break;
      if (IsWord(t, "Sub")) {
        if (!allowProcedures_) Fail(1002, t);
        program.procedures.push_back(ParseSub());
      } else if (IsWord(t, "End")) {
        Fail(1002, t);
      } else if (IsWord(t, "Next")) {
        Fail(1055, t);
      } else {
        program.statements.push_back(ParseStatement());
      }
    }
    return program;
  }

private:
  std::vector<Token> tokens_;
  std::size_t pos_ = 0;
  bool allowProcedures_;
  int depth_ = 0;

  struct DepthGuard {
    Parser& parser;
    explicit DepthGuard(Parser& p) : parser(p) {
      if (++parser.depth_ > kMaxNesting) parser.Fail(1001, parser.Peek());
    }
    ~DepthGuard() { --parser.depth_; }
  };

  const Token& Peek() const { return tokens_[pos_]; }
  const Token& Next() {
    const Token& t = tokens_[pos_];
    if (t.kind != Tok::EndOfText) ++pos_;
    return t;
  }
  [[noreturn]] void Fail(int number, const Token& at) const {
    Raise(number, kCompileErrorSource, at.line, at.column);
  }

  static bool IsWord(const Token& t, std::string_view word) {
    return t.kind == Tok::Ident && SameName(t.text, word);
  }
  static bool IsPunct(const Token& t, char16_t c) { return t.kind == Tok::Punct && t.punct == c; }
  static bool IsEnd(const Token& t) {
    return t.kind == Tok::EndOfStatement || t.kind == Tok::EndOfText;
  }

  void SkipEnds() {
    while (Peek().kind == Tok::EndOfStatement) Next();
  }
  void ExpectEndOfStatement() {
    if (!IsEnd(Peek())) Fail(1025, Peek());
  }
  void ExpectPunct(char16_t c, int number) {
    if (!IsPunct(Peek(), c)) Fail(number, Peek());
    Next();
  }
  // A name that may be declared or assigned: an identifier, not a keyword.
  std::u16string ExpectName() {
    const Token& t = Peek();
    if (t.kind != Tok::Ident || IsReserved(t.text)) Fail(1010, t);
    return Next().text;
  }

  std::shared_ptr<Procedure> ParseSub() {
    Next(); // Sub
    auto procedure = std::make_shared<Procedure>();
    procedure->name = ExpectName();
    if (IsPunct(Peek(), u'(')) {
      Next();
      if (!IsPunct(Peek(), u')')) {
        for (;;) {
          if (IsWord(Peek(), "ByVal") || IsWord(Peek(), "ByRef")) Next();
          std::u16string param = ExpectName();
          for (const auto& existing : procedure->params)
            if (Upper(existing) == Upper(param)) Fail(1041, Peek());
          procedure->params.push_back(std::move(param));
          if (!IsPunct(Peek(), u',')) break;
          Next();
        }
      }
      ExpectPunct(u')', 1006);
    }
    ExpectEndOfStatement();
    procedure->body = ParseBlock(BlockEnd::EndSub);
    return procedure;
  }

  enum class BlockEnd { EndSub, Next };

  std::vector<Stmt> ParseBlock(BlockEnd until) {
    DepthGuard guard(*this);
    std::vector<Stmt> body;
    for (;;) {
      SkipEnds();
      const Token& t = Peek();
      if (t.kind == Tok::EndOfText) Fail(until == BlockEnd::EndSub ? 1014 : 1020, t);
      if (IsWord(t, "End")) {
        if (until == BlockEnd::Next) Fail(1020, t);
        Next();
        if (!IsWord(Peek(), "Sub")) Fail(1016, Peek());
        Next();
        ExpectEndOfStatement();
        return body;
      }
      if (IsWord(t, "Next")) {
        if (until != BlockEnd::Next) Fail(1055, t);
        Next();
        ExpectEndOfStatement();
        return body;
      }
      if (IsWord(t, "Sub")) Fail(1002, t);
      body.push_back(ParseStatement());
    }
  }

  Stmt ParseStatement() {
    const Token& first = Peek();
    Stmt stmt;
    stmt.line = first.line;
    if (first.kind != Tok::Ident) Fail(1024, first);

    if (IsWord(first, "Set")) {
      Next();
      stmt.kind = Stmt::Kind::Set;
      stmt.target = ParseNameChain();
      ExpectPunct(u'=', 1011);
      stmt.value = ParseExpr();
      ExpectEndOfStatement();
      return stmt;
    }
    if (IsWord(first, "Dim")) {
      Next();
      stmt.kind = Stmt::Kind::Dim;
      for (;;) {
        stmt.names.push_back(ExpectName());
        if (!IsPunct(Peek(), u',')) break;
        Next();
      }
      ExpectEndOfStatement();
      return stmt;
    }
    if (IsWord(first, "Call")) {
      Next();
      stmt.kind = Stmt::Kind::Call;
      if (Peek().kind != Tok::Ident || IsReserved(Peek().text)) Fail(1010, Peek());
      stmt.target = ParsePostfix();
      if (stmt.target->kind != Expr::Kind::Ref) Fail(1025, Peek());
      stmt.target->parens = true;
      ExpectEndOfStatement();
      return stmt;
    }
    if (IsWord(first, "For")) {
      Next();
      if (!IsWord(Peek(), "Each")) Fail(1002, Peek());
      Next();
      stmt.kind = Stmt::Kind::ForEach;
      stmt.names.push_back(ExpectName());
      if (!IsWord(Peek(), "In")) Fail(1046, Peek());
      Next();
      stmt.value = ParseExpr();
      ExpectEndOfStatement();
      stmt.body = ParseBlock(BlockEnd::Next);
      return stmt;
    }
    if (IsReserved(first.text)) Fail(1002, first);

    // A call or an assignment, starting with a name chain.
    ExprPtr target = ParseNameChain();
    if (IsPunct(Peek(), u'=')) {
      Next();
      stmt.kind = Stmt::Kind::Assign;
      stmt.target = std::move(target);
      stmt.value = ParseExpr();
      ExpectEndOfStatement();
      return stmt;
    }
    stmt.kind = Stmt::Kind::Call;
    if (IsPunct(Peek(), u'(')) {
      // "Name(a)" passes one parenthesised argument; "Name(a, b)" is only
      // allowed after Call.
      std::vector<ExprPtr> items = ParseArgumentList();
      if (IsEnd(Peek())) {
        if (items.size() >= 2) Fail(1044, Peek());
        target->args = std::move(items);
        target->parens = true;
        stmt.target = std::move(target);
        return stmt;
      }
      if (items.size() != 1) Fail(items.empty() ? 1025 : 1044, Peek());
      target->args.push_back(ParseConcatRest(std::move(items.front())));
    } else if (!IsEnd(Peek())) {
      target->args.push_back(ParseExpr());
    }
    while (IsPunct(Peek(), u',')) {
      Next();
      target->args.push_back(ParseExpr());
    }
    ExpectEndOfStatement();
    stmt.target = std::move(target);
    return stmt;
  }

  // name{.name}
  ExprPtr ParseNameChain() {
    auto ref = std::make_unique<Expr>();
    ref->kind = Expr::Kind::Ref;
    ref->name = ExpectName();
    while (IsPunct(Peek(), u'.')) {
      Next();
      if (Peek().kind != Tok::Ident) Fail(1010, Peek());
      auto member = std::make_unique<Expr>();
      member->kind = Expr::Kind::Ref;
      member->base = std::move(ref);
      member->name = Next().text;
      ref = std::move(member);
    }
    return ref;
  }

  std::vector<ExprPtr> ParseArgumentList() {
    DepthGuard guard(*this);
    Next(); // (
    std::vector<ExprPtr> items;
    if (!IsPunct(Peek(), u')')) {
      for (;;) {
        items.push_back(ParseExpr());
        if (!IsPunct(Peek(), u',')) break;
        Next();
      }
    }
    ExpectPunct(u')', 1006);
    return items;
  }

  ExprPtr ParseExpr() { return ParseConcatRest(ParseUnary()); }

  ExprPtr ParseConcatRest(ExprPtr first) {
    if (!IsPunct(Peek(), u'&')) return first;
    auto concat = std::make_unique<Expr>();
    concat->kind = Expr::Kind::Concat;
    concat->args.push_back(std::move(first));
    while (IsPunct(Peek(), u'&')) {
      Next();
      concat->args.push_back(ParseUnary());
    }
    return concat;
  }

  ExprPtr ParseUnary() {
    DepthGuard guard(*this);
    if (IsPunct(Peek(), u'-') || IsPunct(Peek(), u'+')) {
      auto unary = std::make_unique<Expr>();
      unary->kind = Next().punct == u'-' ? Expr::Kind::Negate : Expr::Kind::Plus;
      unary->args.push_back(ParseUnary());
      return unary;
    }
    return ParsePostfix();
  }

  ExprPtr ParsePostfix() {
    ExprPtr current = ParsePrimary();
    for (;;) {
      if (IsPunct(Peek(), u'.')) {
        Next();
        if (Peek().kind != Tok::Ident) Fail(1010, Peek());
        auto member = std::make_unique<Expr>();
        member->kind = Expr::Kind::Ref;
        member->base = std::move(current);
        member->name = Next().text;
        current = std::move(member);
      } else if (IsPunct(Peek(), u'(') && current->kind == Expr::Kind::Ref && !current->parens) {
        current->args = ParseArgumentList();
        current->parens = true;
      } else {
        return current;
      }
    }
  }

  ExprPtr ParsePrimary() {
    const Token& t = Peek();
    auto expr = std::make_unique<Expr>();
    switch (t.kind) {
    case Tok::String:
      expr->literal = Value::Str(Next().text);
      return expr;
    case Tok::Number:
      expr->literal = Value::Num(Next().number);
      return expr;
    case Tok::Ident:
      if (IsWord(t, "True") || IsWord(t, "False")) {
        expr->literal = Value::Bool(IsWord(Next(), "True"));
        return expr;
      }
      if (IsWord(t, "Empty")) {
        Next();
        return expr;
      }
      if (IsWord(t, "Nothing")) {
        Next();
        expr->literal = Value::None();
        return expr;
      }
      if (IsReserved(t.text)) Fail(1023, t);
      expr->kind = Expr::Kind::Ref;
      expr->name = Next().text;
      return expr;
    case Tok::Punct:
      if (t.punct == u'(') {
        DepthGuard guard(*this);
        Next();
        ExprPtr inner = ParseExpr();
        ExpectPunct(u')', 1006);
        return inner;
      }
      Fail(1023, t);
    default:
      Fail(1023, t);
    }
  }
};

Program Compile(std::u16string_view code, bool allowProcedures) {
  return Parser(Lexer(code).Run(), allowProcedures).Run();
}

} // namespace

void RaiseRuntime(int number, std::u16string_view name) {
  Raise(number, kRuntimeErrorSource, 0, 0, name);
}

Value Value::Bool(bool v) {
  Value value;
  value.kind = Kind::Boolean;
  value.boolean = v;
  return value;
}
Value Value::Num(double v) {
  Value value;
  value.kind = Kind::Number;
  value.number = v;
  return value;
}
Value Value::Str(std::u16string v) {
  Value value;
  value.kind = Kind::Text;
  value.text = std::move(v);
  return value;
}
Value Value::Obj(ObjectRef v) {
  if (!v) return None();
  Value value;
  value.kind = Kind::Object;
  value.object = std::move(v);
  return value;
}
Value Value::None() {
  Value value;
  value.kind = Kind::Nothing;
  return value;
}

double ToNumber(const Value& value) {
  switch (value.kind) {
  case Value::Kind::Empty:
    return 0;
  case Value::Kind::Boolean:
    return value.boolean ? -1 : 0;
  case Value::Kind::Number:
    return value.number;
  case Value::Kind::Text: {
    // Decimal notation only: digits, sign, point and exponent.
    std::string ascii;
    for (char16_t c : value.text) {
      if (c > 0x7F) RaiseRuntime(13);
      ascii.push_back(static_cast<char>(c));
    }
    ascii = Trim(ascii);
    if (ascii.empty() || ascii.size() > 64 ||
        ascii.find_first_not_of("0123456789.+-eE") != std::string::npos)
      RaiseRuntime(13);
    char* end = nullptr;
    const double number = std::strtod(ascii.c_str(), &end);
    if (end != ascii.c_str() + ascii.size()) RaiseRuntime(13);
    return number;
  }
  default:
    RaiseRuntime(13);
  }
}

std::u16string ToText(const Value& value) {
  switch (value.kind) {
  case Value::Kind::Empty:
    return {};
  case Value::Kind::Boolean:
    return value.boolean ? u"True" : u"False";
  case Value::Kind::Number:
    return NumberText(value.number);
  case Value::Kind::Text:
    return value.text;
  default:
    RaiseRuntime(13);
  }
}

bool SameName(std::u16string_view name, std::string_view ascii) {
  if (name.size() != ascii.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i)
    if (UpperChar(name[i]) != UpperChar(static_cast<char16_t>(ascii[i]))) return false;
  return true;
}

// --- the module and its runner ------------------------------------------------------

struct Module::Impl {
  Host& host;
  std::vector<std::unique_ptr<Program>> programs;                  // keeps the syntax trees alive
  std::map<std::u16string, std::shared_ptr<Procedure>> procedures; // by upper-case name
  std::map<std::u16string, Value> globals;                         // by upper-case name
  std::set<std::u16string> declared; // names given by Dim at global level
  int callDepth = 0;
  int currentLine = 0;

  explicit Impl(Host& h) : host(h) {}

  using Scope = std::map<std::u16string, Value>;

  struct Frame {
    Scope* locals = nullptr; // null at global level
  };

  // --- names -------------------------------------------------------------
  Value* Lookup(Frame& frame, const std::u16string& key) {
    if (frame.locals) {
      auto it = frame.locals->find(key);
      if (it != frame.locals->end()) return &it->second;
    }
    auto it = globals.find(key);
    return it == globals.end() ? nullptr : &it->second;
  }

  static bool IsBuiltin(const std::u16string& key) {
    return key == u"CREATEOBJECT" || key == u"CHR" || key == u"CHRW";
  }

  void Assign(Frame& frame, const std::u16string& name, Value value) {
    const std::u16string key = Upper(name);
    if (Value* existing = Lookup(frame, key)) {
      *existing = std::move(value);
      return;
    }
    if (procedures.count(key) || IsBuiltin(key)) RaiseRuntime(501, name);
    (frame.locals ? *frame.locals : globals)[key] = std::move(value);
  }

  // --- expressions ---------------------------------------------------------
  Value Eval(const Expr& expr, Frame& frame) {
    switch (expr.kind) {
    case Expr::Kind::Literal:
      return expr.literal;
    case Expr::Kind::Concat: {
      std::u16string text;
      for (const auto& part : expr.args) text += ToText(Eval(*part, frame));
      return Value::Str(std::move(text));
    }
    case Expr::Kind::Negate:
      return Value::Num(-ToNumber(Eval(*expr.args.front(), frame)));
    case Expr::Kind::Plus: {
      Value v = Eval(*expr.args.front(), frame);
      if (v.IsObject() || v.kind == Value::Kind::Nothing) RaiseRuntime(13);
      return v;
    }
    case Expr::Kind::Ref:
      return EvalRef(expr, frame, false);
    }
    return {};
  }

  std::vector<Value> EvalArgs(const Expr& ref, Frame& frame) {
    std::vector<Value> args;
    args.reserve(ref.args.size());
    for (const auto& arg : ref.args) args.push_back(Eval(*arg, frame));
    return args;
  }

  static std::u16string DisplayName(const Expr& ref) {
    if (!ref.base) return ref.name;
    if (ref.base->kind == Expr::Kind::Ref && !ref.base->base && !ref.base->parens)
      return ref.base->name + u"." + ref.name;
    return ref.name;
  }

  Value EvalRef(const Expr& ref, Frame& frame, bool asStatement) {
    if (ref.base) {
      Value base = Eval(*ref.base, frame);
      const std::u16string baseName =
          ref.base->kind == Expr::Kind::Ref && !ref.base->base ? ref.base->name : u"";
      if (base.kind == Value::Kind::Nothing) RaiseRuntime(91);
      if (!base.IsObject()) RaiseRuntime(424, baseName);
      std::vector<Value> args = EvalArgs(ref, frame);
      std::optional<Value> result = base.object->Invoke(ref.name, args);
      if (!result) RaiseRuntime(438, DisplayName(ref));
      return std::move(*result);
    }

    const std::u16string key = Upper(ref.name);
    if (Value* variable = Lookup(frame, key)) {
      if (asStatement || !ref.args.empty()) RaiseRuntime(13, ref.name);
      return *variable;
    }
    if (IsBuiltin(key)) return CallBuiltin(key, ref, EvalArgs(ref, frame));
    auto procedure = procedures.find(key);
    if (procedure != procedures.end()) {
      std::vector<Value> args = EvalArgs(ref, frame);
      CallProcedure(*procedure->second, std::move(args));
      return {};
    }
    if (asStatement || ref.parens) RaiseRuntime(13, ref.name);
    return {}; // an undeclared variable reads as Empty
  }

  Value CallBuiltin(const std::u16string& key, const Expr& ref, std::vector<Value> args) {
    if (key == u"CREATEOBJECT") {
      if (args.empty() || args.size() > 2) RaiseRuntime(450, ref.name);
      const std::u16string progId = ToText(args[0]);
      if (args.size() == 2 && !ToText(args[1]).empty()) RaiseRuntime(462, progId);
      ObjectRef object = host.CreateObject(progId);
      if (!object) RaiseRuntime(429, progId);
      return Value::Obj(std::move(object));
    }
    if (args.size() != 1) RaiseRuntime(450, ref.name);
    const double number = std::nearbyint(ToNumber(args[0]));
    if (key == u"CHR") {
      if (!(number >= 0 && number <= 255)) RaiseRuntime(5, ref.name);
      const char byte = static_cast<char>(static_cast<unsigned char>(number));
      return Value::Str(AnsiToWide(std::string_view(&byte, 1)));
    }
    // ChrW
    if (!(number >= -32768 && number <= 65535)) RaiseRuntime(5, ref.name);
    const int code =
        static_cast<int>(number) < 0 ? static_cast<int>(number) + 65536 : static_cast<int>(number);
    return Value::Str(std::u16string(1, static_cast<char16_t>(code)));
  }

  void CallProcedure(const Procedure& procedure, std::vector<Value> args) {
    if (args.size() != procedure.params.size()) RaiseRuntime(450, procedure.name);
    if (callDepth >= kMaxCallDepth) RaiseRuntime(28);
    Scope locals;
    for (std::size_t i = 0; i < args.size(); ++i)
      locals[Upper(procedure.params[i])] = std::move(args[i]);
    Frame frame{&locals};
    ++callDepth;
    struct Leave {
      int& depth;
      ~Leave() { --depth; }
    } leave{callDepth};
    Run(procedure.body, frame);
  }

  // --- statements -------------------------------------------------------------
  void Run(const std::vector<Stmt>& statements, Frame& frame) {
    for (const Stmt& stmt : statements) {
      currentLine = stmt.line;
      host.BeforeStatement();
      Exec(stmt, frame);
    }
  }

  void Exec(const Stmt& stmt, Frame& frame) {
    switch (stmt.kind) {
    case Stmt::Kind::Dim:
      for (const auto& name : stmt.names) {
        Scope& scope = frame.locals ? *frame.locals : globals;
        scope.emplace(Upper(name), Value{});
      }
      return;
    case Stmt::Kind::Call:
      EvalRef(*stmt.target, frame, true);
      return;
    case Stmt::Kind::Assign:
    case Stmt::Kind::Set: {
      Value value = Eval(*stmt.value, frame);
      const bool isSet = stmt.kind == Stmt::Kind::Set;
      if (isSet && !value.IsObject() && value.kind != Value::Kind::Nothing) RaiseRuntime(424);
      if (!isSet && (value.IsObject() || value.kind == Value::Kind::Nothing)) RaiseRuntime(438);
      if (stmt.target->base) {
        // Property writes are not offered by any object of this host.
        Value base = Eval(*stmt.target->base, frame);
        if (base.kind == Value::Kind::Nothing) RaiseRuntime(91);
        if (!base.IsObject()) RaiseRuntime(424, stmt.target->base->name);
        RaiseRuntime(438, DisplayName(*stmt.target));
      }
      Assign(frame, stmt.target->name, std::move(value));
      return;
    }
    case Stmt::Kind::ForEach: {
      Value collection = Eval(*stmt.value, frame);
      std::optional<std::vector<Value>> items;
      if (collection.IsObject()) items = collection.object->Items();
      if (!items) RaiseRuntime(451);
      for (Value& item : *items) {
        Assign(frame, stmt.names.front(), std::move(item));
        Run(stmt.body, frame);
      }
      return;
    }
    }
  }

  // --- entry points ---------------------------------------------------------------
  template <typename F> std::optional<Error> Guarded(F&& f) {
    try {
      f();
      return std::nullopt;
    } catch (const ScriptException& e) {
      Error error = e.error();
      if (error.line == 0) error.line = currentLine;
      return error;
    } catch (const std::bad_alloc&) {
      return Error{ErrorCode(7), Wording(7), kRuntimeErrorSource, currentLine, 0};
    }
  }

  void CheckNames(const Program& program) {
    std::set<std::u16string> seen;
    for (const auto& procedure : program.procedures) {
      const std::u16string key = Upper(procedure->name);
      if (procedures.count(key) || declared.count(key) || IsBuiltin(key) ||
          !seen.insert(key).second)
        Raise(1041, kCompileErrorSource, 0, 0);
    }
    for (const Stmt& stmt : program.statements) {
      if (stmt.kind != Stmt::Kind::Dim) continue;
      for (const auto& name : stmt.names) {
        const std::u16string key = Upper(name);
        if (procedures.count(key) || declared.count(key) || seen.count(key))
          Raise(1041, kCompileErrorSource, stmt.line, 0);
        seen.insert(key);
      }
    }
  }
};

Module::Module(Host& host) : impl_(std::make_unique<Impl>(host)) {}
Module::~Module() = default;

std::optional<Error> Module::AddCode(std::u16string_view code) {
  Impl& m = *impl_;
  m.currentLine = 0;
  return m.Guarded([&] {
    auto program = std::make_unique<Program>(Compile(code, true));
    m.CheckNames(*program);
    for (const auto& procedure : program->procedures)
      m.procedures[Upper(procedure->name)] = procedure;
    for (const Stmt& stmt : program->statements)
      if (stmt.kind == Stmt::Kind::Dim)
        for (const auto& name : stmt.names) m.declared.insert(Upper(name));
    const Program& added = *program;
    m.programs.push_back(std::move(program));
    Impl::Frame global;
    m.Run(added.statements, global);
  });
}

std::optional<Error> Module::ExecuteStatement(std::u16string_view statement) {
  Impl& m = *impl_;
  m.currentLine = 0;
  return m.Guarded([&] {
    // A statement defines no procedure, so nothing of it outlives the run.
    const Program program = Compile(statement, false);
    Impl::Frame global;
    m.Run(program.statements, global);
  });
}

} // namespace skarvet::sim::vbs
