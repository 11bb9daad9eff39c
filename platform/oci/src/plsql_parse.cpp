// The parser of stored units and anonymous blocks: a token list kept with the
// unit, and a tree of declarations and statements whose expressions are token
// ranges (the dialect evaluates them). Anything outside the supported language
// stops the parse with Oracle's PLS- message for it.
#include <cctype>
#include <cstdio>
#include <cstring>

#include "plsql.h"

namespace ocl {

namespace {

struct Stop {};

bool word_char(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' || c == '#';
}

// 0, or the offset of a character that starts no token (+1).
int lex(const std::string& s, std::vector<PlTok>* out) {
  size_t i = 0, n = s.size();
  while (i < n) {
    char c = s[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
      continue;
    }
    if (c == '-' && i + 1 < n && s[i + 1] == '-') {
      while (i < n && s[i] != '\n') ++i;
      continue;
    }
    if (c == '/' && i + 1 < n && s[i + 1] == '*') {
      size_t e = s.find("*/", i + 2);
      i = e == std::string::npos ? n : e + 2;
      continue;
    }
    PlTok t;
    t.off = static_cast<int>(i);
    if (c == '\'') {
      t.t = PK_STR;
      ++i;
      for (;;) {
        if (i >= n) return t.off + 1;
        if (s[i] == '\'') {
          if (i + 1 < n && s[i + 1] == '\'') {
            t.v += '\'';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        t.v += s[i++];
      }
    } else if (c == '"') {
      t.t = PK_QID;
      size_t e = s.find('"', i + 1);
      if (e == std::string::npos || e == i + 1) return t.off + 1;
      t.v = s.substr(i + 1, e - i - 1);
      i = e + 1;
    } else if (c == ':' && i + 1 < n && (word_char(s[i + 1]) || s[i + 1] == '"')) {
      t.t = PK_BIND;
      ++i;
      if (s[i] == '"') {
        size_t e = s.find('"', i + 1);
        if (e == std::string::npos) return t.off + 1;
        t.v = s.substr(i + 1, e - i - 1);
        i = e + 1;
      } else {
        while (i < n && word_char(s[i])) t.v += static_cast<char>(std::toupper(static_cast<unsigned char>(s[i++])));
      }
    } else if (std::isdigit(static_cast<unsigned char>(c)) ||
               (c == '.' && i + 1 < n && std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
      t.t = PK_NUM;
      while (i < n && (std::isdigit(static_cast<unsigned char>(s[i])) ||
                       (s[i] == '.' && !(i + 1 < n && s[i + 1] == '.')))) ++i;
      if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        size_t j = i + 1;
        if (j < n && (s[j] == '+' || s[j] == '-')) ++j;
        if (j < n && std::isdigit(static_cast<unsigned char>(s[j]))) {
          i = j;
          while (i < n && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
        }
      }
      t.v = s.substr(static_cast<size_t>(t.off), i - static_cast<size_t>(t.off));
    } else if (std::isalpha(static_cast<unsigned char>(c))) {
      t.t = PK_WORD;
      while (i < n && word_char(s[i])) t.v += static_cast<char>(std::toupper(static_cast<unsigned char>(s[i++])));
    } else {
      t.t = PK_OP;
      static const char* const two[] = {":=", "=>", "..", "||", "<=", ">=", "<>", "!=", "~=", "^=", "**"};
      for (const char* o : two)
        if (i + 1 < n && s[i] == o[0] && s[i + 1] == o[1]) t.v = o;
      if (t.v.empty()) {
        if (!std::strchr("()+-*/=<>,;.%@", c)) return t.off + 1;
        t.v = std::string(1, c);
      }
      i += t.v.size();
    }
    t.end = static_cast<int>(i);
    out->push_back(std::move(t));
  }
  PlTok end;
  end.t = PK_END;
  end.off = end.end = static_cast<int>(n);
  out->push_back(end);
  return 0;
}

class Parser {
 public:
  explicit Parser(PlUnit* u) : u_(u), tk_(u->toks) {}

  void unit();  // after CREATE [OR REPLACE]
  void block_unit();

 private:
  PlUnit* u_;
  const std::vector<PlTok>& tk_;
  size_t p_ = 0;
  int depth_ = 0;

  const PlTok& cur() const { return tk_[p_]; }
  const PlTok& peek(size_t k = 1) const { return tk_[std::min(p_ + k, tk_.size() - 1)]; }
  bool w(const char* s, size_t k = 0) const { return peek(k).t == PK_WORD && peek(k).v == s; }
  bool op(const char* s, size_t k = 0) const { return peek(k).t == PK_OP && peek(k).v == s; }
  bool accept_w(const char* s) {
    if (!w(s)) return false;
    ++p_;
    return true;
  }
  bool accept_op(const char* s) {
    if (!op(s)) return false;
    ++p_;
    return true;
  }

  [[noreturn]] void fail(const std::string& pls, size_t at) {
    u_->ok = false;
    u_->err_tok = static_cast<int>(at);
    u_->error = pl_where(*u_, static_cast<int>(at)) + "\n" + pls;
    throw Stop{};
  }
  [[noreturn]] void unexpected() {
    const PlTok& t = cur();
    std::string sym = t.t == PK_END ? "end-of-file" : t.t == PK_STR ? "'" + t.v + "'" : t.v;
    fail("PLS-00103: Encountered the symbol \"" + sym + "\" when expecting one of the following", p_);
  }
  void expect_w(const char* s) {
    if (!accept_w(s)) unexpected();
  }
  void expect_op(const char* s) {
    if (!accept_op(s)) unexpected();
  }
  std::string ident() {
    const PlTok& t = cur();
    if (t.t != PK_WORD && t.t != PK_QID) unexpected();
    ++p_;
    return t.v;
  }

  // Skips an expression up to a token (at nesting 0) that ends it.
  PlExpr expr_until(std::initializer_list<const char*> stop_words, std::initializer_list<const char*> stop_ops);
  PlType type();
  void decls(std::vector<PlDecl>* out, bool package_spec, bool package_body);
  std::shared_ptr<PlBody> body_after_begin();
  std::vector<PlStmt> statements(std::initializer_list<const char*> enders);
  PlStmt statement();
  PlTarget target();
  std::vector<PlArg> params();
  PlSub sub_header(bool function);
  void sub_body(PlSub* sub);
  void end_name(const std::string& name);
};

PlExpr Parser::expr_until(std::initializer_list<const char*> stop_words,
                          std::initializer_list<const char*> stop_ops) {
  PlExpr e;
  e.b = static_cast<int>(p_);
  int depth = 0;
  for (;; ++p_) {
    const PlTok& t = cur();
    if (t.t == PK_END) break;
    if (t.t == PK_OP && t.v == "(") {
      ++depth;
      continue;
    }
    if (t.t == PK_OP && t.v == ")") {
      if (depth == 0) break;
      --depth;
      continue;
    }
    if (t.t == PK_WORD && t.v == "CASE") {
      ++depth;
      continue;
    }
    if (t.t == PK_WORD && t.v == "END" && depth > 0) {
      --depth;
      continue;
    }
    if (depth) continue;
    bool stop = false;
    if (t.t == PK_WORD)
      for (const char* s : stop_words) stop = stop || t.v == s;
    if (t.t == PK_OP)
      for (const char* s : stop_ops) stop = stop || t.v == s;
    if (stop || (t.t == PK_OP && t.v == ";")) break;
  }
  e.e = static_cast<int>(p_);
  if (e.empty()) fail("PLS-00103: Encountered the symbol \"" + cur().v + "\" when expecting an expression", p_);
  return e;
}

PlType Parser::type() {
  PlType t;
  size_t at = p_;
  std::string n = ident();
  if (accept_op(".")) {
    std::string m = ident();
    // A package's REF CURSOR type (PKG.T_CURSOR).
    t.name = "REF CURSOR";
    t.code = 102;
    (void)n;
    (void)m;
    return t;
  }
  if (op("%")) fail("PLS-00201: identifier '" + n + "' must be declared", at);
  if (n == "NUMBER" || n == "NUMERIC" || n == "DECIMAL" || n == "DEC" || n == "FLOAT") {
    t.name = "NUMBER";
    t.code = 2;
  } else if (n == "INTEGER" || n == "INT" || n == "SMALLINT") {
    t.name = "NUMBER";
    t.code = 2;
    t.precision = 38;
    t.scale = 0;
  } else if (n == "PLS_INTEGER" || n == "BINARY_INTEGER" || n == "NATURAL" || n == "POSITIVE") {
    t.name = "BINARY_INTEGER";
    t.code = 3;
  } else if (n == "VARCHAR2" || n == "VARCHAR" || n == "STRING") {
    t.name = "VARCHAR2";
    t.code = 1;
  } else if (n == "CHAR") {
    t.name = "CHAR";
    t.code = 96;
  } else if (n == "DATE") {
    t.name = "DATE";
    t.code = 12;
  } else if (n == "TIMESTAMP") {
    t.name = "TIMESTAMP";
    t.code = 187;
  } else if (n == "CLOB") {
    t.name = "CLOB";
    t.code = 112;
  } else if (n == "BLOB") {
    t.name = "BLOB";
    t.code = 113;
  } else if (n == "RAW") {
    t.name = "RAW";
    t.code = 23;
  } else if (n == "BOOLEAN") {
    t.name = "PL/SQL BOOLEAN";
    t.code = 252;
  } else if (n == "SYS_REFCURSOR") {
    t.name = "REF CURSOR";
    t.code = 102;
  } else {
    for (const auto& ty : u_->types)
      if (ty.first == n) return ty.second;
    if (u_->kind == PU_PACKAGE_BODY) {
      // A REF CURSOR type declared by the package itself (checked when the body is stored).
      u_->spec_types.push_back(n);
      t.name = "REF CURSOR";
      t.code = 102;
      return t;
    }
    fail("PLS-00201: identifier '" + n + "' must be declared", at);
  }
  if (accept_op("(")) {
    if (cur().t != PK_NUM) unexpected();
    int a = std::atoi(cur().v.c_str());
    ++p_;
    int b = 0;
    bool has_b = false;
    if (accept_op(",")) {
      has_b = true;
      bool neg = accept_op("-");
      if (cur().t != PK_NUM) unexpected();
      b = std::atoi(cur().v.c_str()) * (neg ? -1 : 1);
      ++p_;
    }
    if (!accept_w("CHAR")) accept_w("BYTE");
    expect_op(")");
    if (t.code == 2) {
      t.precision = a;
      t.scale = has_b ? b : 0;
    } else {
      t.length = a;
    }
  }
  return t;
}

std::vector<PlArg> Parser::params() {
  std::vector<PlArg> out;
  if (!accept_op("(")) return out;
  do {
    PlArg a;
    a.name = ident();
    if (accept_w("IN")) a.mode = accept_w("OUT") ? PL_INOUT : PL_IN;
    else if (accept_w("OUT")) a.mode = PL_OUT;
    accept_w("NOCOPY");
    a.type = type();
    if (accept_op(":=") || accept_w("DEFAULT")) a.def = expr_until({}, {",", ")"});
    for (const PlArg& o : out)
      if (o.name == a.name) fail("PLS-00410: duplicate fields in RECORD,TABLE or argument list are not permitted", p_);
    out.push_back(std::move(a));
  } while (accept_op(","));
  expect_op(")");
  return out;
}

PlSub Parser::sub_header(bool function) {
  PlSub s;
  s.function = function;
  s.name = ident();
  s.args = params();
  if (function) {
    expect_w("RETURN");
    s.ret = type();
  }
  return s;
}

void Parser::end_name(const std::string& name) {
  if (cur().t == PK_WORD || cur().t == PK_QID) {
    if (cur().v != name) fail("PLS-00113: END identifier '" + cur().v + "' must match '" + name + "'", p_);
    ++p_;
  }
}

void Parser::sub_body(PlSub* sub) {
  if (!accept_w("IS")) expect_w("AS");
  auto body = std::make_shared<PlBody>();
  decls(&body->decls, false, false);
  expect_w("BEGIN");
  body->stmts = statements({"END"});
  expect_w("END");
  end_name(sub->name);
  expect_op(";");
  sub->body = std::move(body);
}

void Parser::decls(std::vector<PlDecl>* out, bool package_spec, bool package_body) {
  for (;;) {
    if (w("BEGIN") || w("END") || cur().t == PK_END) return;
    if (w("PROCEDURE") || w("FUNCTION")) {
      if (!package_spec && !package_body) unexpected();
      bool fn = w("FUNCTION");
      ++p_;
      PlSub s = sub_header(fn);
      if (package_spec) {
        expect_op(";");
      } else if (accept_op(";")) {
        continue;  // a forward declaration
      } else {
        sub_body(&s);
      }
      u_->subs.push_back(std::move(s));
      continue;
    }
    if (accept_w("TYPE")) {
      std::string n = ident();
      if (!accept_w("IS")) expect_w("AS");
      if (!w("REF")) fail("PLS-00999: only REF CURSOR types are supported here", p_);
      ++p_;
      expect_w("CURSOR");
      if (accept_w("RETURN")) {
        ident();
        while (accept_op(".") || accept_op("%")) ident();
      }
      expect_op(";");
      PlType t;
      t.name = "REF CURSOR";
      t.code = 102;
      u_->types.emplace_back(n, t);
      continue;
    }
    if (w("CURSOR") || w("PRAGMA") || w("EXCEPTION"))
      fail("PLS-00999: " + cur().v + " declarations are not supported here", p_);
    PlDecl d;
    d.name = ident();
    d.constant = accept_w("CONSTANT");
    if (w("EXCEPTION")) fail("PLS-00999: exceptions are not supported here", p_);
    d.type = type();
    if (accept_w("NOT")) {
      expect_w("NULL");
      d.not_null = true;
    }
    if (accept_op(":=") || accept_w("DEFAULT")) d.init = expr_until({}, {});
    expect_op(";");
    out->push_back(std::move(d));
  }
}

std::shared_ptr<PlBody> Parser::body_after_begin() {
  auto b = std::make_shared<PlBody>();
  b->stmts = statements({"END"});
  if (w("EXCEPTION")) fail("PLS-00999: exception handlers are not supported here", p_);
  expect_w("END");
  return b;
}

std::vector<PlStmt> Parser::statements(std::initializer_list<const char*> enders) {
  std::vector<PlStmt> out;
  for (;;) {
    bool end = cur().t == PK_END || w("EXCEPTION");
    for (const char* e : enders) end = end || w(e);
    if (end) break;
    out.push_back(statement());
  }
  if (out.empty()) unexpected();
  return out;
}

PlTarget Parser::target() {
  PlTarget t;
  t.tok = static_cast<int>(p_);
  if (cur().t == PK_BIND) {
    t.bind = true;
    t.name = cur().v;
    ++p_;
    return t;
  }
  t.name = ident();
  if (op(".")) fail("PLS-00999: record fields are not supported here", p_);
  return t;
}

PlStmt Parser::statement() {
  if (++depth_ > 200) fail("PLS-00123: program too large", p_);
  struct Down {
    int* d;
    ~Down() { --*d; }
  } down{&depth_};
  PlStmt s;
  s.tok = static_cast<int>(p_);
  if (accept_w("NULL")) {
    s.kind = PlStmt::NUL;
  } else if (accept_w("IF")) {
    s.kind = PlStmt::IF;
    s.conds.push_back(expr_until({"THEN"}, {}));
    expect_w("THEN");
    s.parts.push_back(statements({"ELSIF", "ELSE", "END"}));
    while (accept_w("ELSIF")) {
      s.conds.push_back(expr_until({"THEN"}, {}));
      expect_w("THEN");
      s.parts.push_back(statements({"ELSIF", "ELSE", "END"}));
    }
    if (accept_w("ELSE")) s.parts.push_back(statements({"END"}));
    expect_w("END");
    expect_w("IF");
  } else if (w("LOOP") || w("WHILE") || w("FOR")) {
    if (accept_w("WHILE")) {
      s.kind = PlStmt::WHILE;
      s.conds.push_back(expr_until({"LOOP"}, {}));
    } else if (accept_w("FOR")) {
      s.kind = PlStmt::FOR;
      s.var = ident();
      expect_w("IN");
      s.reverse = accept_w("REVERSE");
      if (w("SELECT") || op("(")) fail("PLS-00999: cursor FOR loops are not supported here", p_);
      s.lo = expr_until({}, {".."});
      expect_op("..");
      s.hi = expr_until({"LOOP"}, {});
    } else {
      s.kind = PlStmt::LOOP;
    }
    expect_w("LOOP");
    s.parts.push_back(statements({"END"}));
    expect_w("END");
    expect_w("LOOP");
  } else if (accept_w("EXIT")) {
    s.kind = PlStmt::EXIT;
    if (accept_w("WHEN")) s.expr = expr_until({}, {});
  } else if (accept_w("RETURN")) {
    s.kind = PlStmt::RETURN;
    if (!op(";")) s.expr = expr_until({}, {});
  } else if (accept_w("OPEN")) {
    s.kind = PlStmt::OPEN;
    s.target = target();
    expect_w("FOR");
    if (!w("SELECT") && !w("WITH") && !op("(")) unexpected();
    s.expr = expr_until({}, {});
  } else if (w("SELECT")) {
    s.kind = PlStmt::SELECT_INTO;
    ++p_;
    s.list = expr_until({"INTO", "FROM"}, {});
    if (!accept_w("INTO")) fail("PLS-00428: an INTO clause is expected in this SELECT statement", p_);
    do s.into.push_back(target());
    while (accept_op(","));
    if (!w("FROM")) unexpected();
    s.rest = expr_until({}, {});
  } else if (w("INSERT") || w("UPDATE") || w("DELETE")) {
    s.kind = PlStmt::DML;
    s.expr = expr_until({}, {});
  } else if (accept_w("BEGIN")) {
    s.kind = PlStmt::BLOCK;
    s.block = body_after_begin();
  } else if (accept_w("DECLARE")) {
    s.kind = PlStmt::BLOCK;
    auto b = std::make_shared<PlBody>();
    decls(&b->decls, false, false);
    expect_w("BEGIN");
    auto inner = body_after_begin();
    b->stmts = std::move(inner->stmts);
    s.block = std::move(b);
  } else if (cur().t == PK_BIND || ((cur().t == PK_WORD || cur().t == PK_QID) && op(":=", 1))) {
    s.kind = PlStmt::ASSIGN;
    s.target = target();
    expect_op(":=");
    s.expr = expr_until({}, {});
  } else if (cur().t == PK_WORD || cur().t == PK_QID) {
    static const char* const unsupported[] = {"COMMIT", "ROLLBACK", "SAVEPOINT", "RAISE", "CASE", "GOTO",
                                              "FETCH", "CLOSE", "EXECUTE", "FORALL", "MERGE", "LOCK",
                                              "PIPE", "CONTINUE", "SET"};
    for (const char* u : unsupported)
      if (w(u) && !op("(", 1) && !op(".", 1)) fail(std::string("PLS-00999: ") + u + " is not supported here", p_);
    s.kind = PlStmt::CALL;
    s.name.push_back(ident());
    while (accept_op(".")) s.name.push_back(ident());
    if (s.name.size() > 3) unexpected();
    if (op(":=")) fail("PLS-00999: record fields are not supported here", p_);
    if (accept_op("(")) {
      s.paren = true;
      if (!op(")")) {
        do {
          PlActual a;
          if ((cur().t == PK_WORD || cur().t == PK_QID) && op("=>", 1)) {
            a.named = cur().v;
            p_ += 2;
          }
          a.e = expr_until({}, {",", ")"});
          s.args.push_back(a);
        } while (accept_op(","));
      }
      expect_op(")");
    }
  } else {
    unexpected();
  }
  expect_op(";");
  return s;
}

}  // namespace

// CREATE [OR REPLACE] kind [schema.]name ...
void Parser::unit() {
  expect_w("CREATE");
  if (accept_w("OR")) expect_w("REPLACE");
  if (accept_w("PROCEDURE")) u_->kind = PU_PROCEDURE;
  else if (accept_w("FUNCTION")) u_->kind = PU_FUNCTION;
  else if (accept_w("PACKAGE")) u_->kind = accept_w("BODY") ? PU_PACKAGE_BODY : PU_PACKAGE;
  else unexpected();
  u_->name = ident();
  if (accept_op(".")) {
    u_->schema = u_->name;
    u_->name = ident();
  }
  if (u_->kind == PU_PROCEDURE || u_->kind == PU_FUNCTION) {
    --p_;
    PlSub s = sub_header(u_->kind == PU_FUNCTION);
    s.name = u_->name;
    sub_body(&s);
    u_->subs.push_back(std::move(s));
  } else {
    if (!accept_w("IS")) expect_w("AS");
    decls(&u_->decls, u_->kind == PU_PACKAGE, u_->kind == PU_PACKAGE_BODY);
    if (u_->kind == PU_PACKAGE_BODY && accept_w("BEGIN")) {
      u_->body = std::make_shared<PlBody>();
      u_->body->stmts = statements({"END"});
    }
    expect_w("END");
    end_name(u_->name);
    expect_op(";");
    // Overloads are numbered among same-named subprograms.
    for (size_t i = 0; i < u_->subs.size(); ++i) {
      int same = 0, before = 0;
      for (size_t j = 0; j < u_->subs.size(); ++j)
        if (u_->subs[j].name == u_->subs[i].name) {
          ++same;
          if (j < i) ++before;
        }
      u_->subs[i].overload = same > 1 ? before + 1 : 0;
    }
  }
  accept_op("/");
  if (cur().t != PK_END) unexpected();
}

void Parser::block_unit() {
  u_->kind = PU_BLOCK;
  u_->body = std::make_shared<PlBody>();
  if (accept_w("DECLARE")) decls(&u_->decls, false, false);
  expect_w("BEGIN");
  auto b = body_after_begin();
  u_->body->stmts = std::move(b->stmts);
  expect_op(";");
  accept_op("/");
  if (cur().t != PK_END) unexpected();
}

std::string pl_where(const PlUnit& u, int tok) {
  int off = tok >= 0 && static_cast<size_t>(tok) < u.toks.size() ? u.toks[static_cast<size_t>(tok)].off : 0;
  int line = 1, col = 1;
  for (int i = 0; i < off && i < static_cast<int>(u.src.size()); ++i) {
    if (u.src[static_cast<size_t>(i)] == '\n') {
      ++line;
      col = 1;
    } else {
      ++col;
    }
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "line %d, column %d:", line, col);
  return buf;
}

PlTextKind pl_text_kind(const std::string& text) {
  std::vector<std::string> words;
  size_t i = 0;
  while (words.size() < 4 && i < text.size()) {
    char c = text[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
    } else if (c == '-' && i + 1 < text.size() && text[i + 1] == '-') {
      while (i < text.size() && text[i] != '\n') ++i;
    } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
      size_t e = text.find("*/", i + 2);
      i = e == std::string::npos ? text.size() : e + 2;
    } else if (std::isalpha(static_cast<unsigned char>(c))) {
      std::string wd;
      while (i < text.size() && word_char(text[i]))
        wd += static_cast<char>(std::toupper(static_cast<unsigned char>(text[i++])));
      words.push_back(wd);
    } else {
      break;
    }
  }
  auto at = [&](size_t k) { return k < words.size() ? words[k] : std::string(); };
  if (at(0) == "BEGIN" || at(0) == "DECLARE") return PT_BLOCK;
  auto unit_word = [](const std::string& wd) { return wd == "PROCEDURE" || wd == "FUNCTION" || wd == "PACKAGE"; };
  if (at(0) == "CREATE" && (unit_word(at(1)) || (at(1) == "OR" && at(2) == "REPLACE" && unit_word(at(3)))))
    return PT_CREATE;
  if (at(0) == "DROP" && unit_word(at(1))) return PT_DROP;
  return PT_NONE;
}

std::shared_ptr<PlUnit> pl_parse(const std::string& text, DlError* err) {
  auto u = std::make_shared<PlUnit>();
  u->src = text;
  if (int bad = lex(text, &u->toks)) {
    u->toks.clear();
    PlTok t;
    t.off = t.end = bad - 1;
    u->toks.push_back(t);
    u->ok = false;
    u->error = pl_where(*u, 0) + "\nPLS-00103: Encountered the symbol \"" + text.substr(static_cast<size_t>(bad - 1), 1) +
               "\"";
    u->err_tok = 0;
    if (pl_text_kind(text) == PT_BLOCK) return u;
    // Still read the name so the unit can be stored as invalid.
    std::vector<PlTok> toks;
    lex(text.substr(0, static_cast<size_t>(bad - 1)), &toks);
    u->toks = toks;
  }
  Parser ps(u.get());
  try {
    if (pl_text_kind(text) == PT_BLOCK) ps.block_unit();
    else ps.unit();
  } catch (Stop&) {
    if (u->kind != PU_BLOCK && u->name.empty()) {
      dl_set_error(err, 900);
      return nullptr;
    }
  }
  // Placeholders of a block, distinct names in order.
  for (const PlTok& t : u->toks) {
    if (t.t != PK_BIND) continue;
    bool seen = false;
    for (const auto& b : u->binds) seen = seen || b == t.v;
    if (!seen) u->binds.push_back(t.v);
  }
  return u;
}

}  // namespace ocl
