// "RETURNING expr, ... INTO :a, ..." of INSERT, UPDATE and DELETE. Its values
// reach the application through out binds (OCIBindDynamic callbacks, one call
// per returned row), which is OCI's business rather than the SQL dialect's:
// the clause is cut off before translation and the statement runs on SQLite
// with "RETURNING rowid, <columns>" in its place.
#include <cctype>
#include <cstring>

#include "oci_returning.h"

namespace ocl {

namespace {

struct Tok {
  enum Kind { WORD, QUOTED, PLACEHOLDER, PUNCT, END } kind = END;
  std::string text;  // WORD upper-cased, QUOTED without quotes, PLACEHOLDER without colon
  size_t begin = 0;
};

class Lexer {
 public:
  explicit Lexer(const std::string& s) : s_(s) {}

  Tok next() {
    skip();
    Tok t;
    t.begin = i_;
    if (i_ >= s_.size()) return t;
    char c = s_[i_];
    if (c == '\'') {  // string literal: skipped whole
      ++i_;
      while (i_ < s_.size()) {
        if (s_[i_] == '\'' && i_ + 1 < s_.size() && s_[i_ + 1] == '\'') {
          i_ += 2;
          continue;
        }
        if (s_[i_++] == '\'') break;
      }
      t.kind = Tok::PUNCT;
      t.text.assign(1, '\'');  // not from a literal: GCC 12 warns falsely (-Wrestrict)
      return t;
    }
    if (c == '"') {
      size_t e = s_.find('"', i_ + 1);
      if (e == std::string::npos) e = s_.size();
      t.kind = Tok::QUOTED;
      t.text = s_.substr(i_ + 1, e - i_ - 1);
      i_ = e + 1;
      return t;
    }
    if (c == ':' && i_ + 1 < s_.size() &&
        (std::isalnum(static_cast<unsigned char>(s_[i_ + 1])) || s_[i_ + 1] == '_' || s_[i_ + 1] == '"')) {
      ++i_;
      t.kind = Tok::PLACEHOLDER;
      if (s_[i_] == '"') {
        size_t e = s_.find('"', i_ + 1);
        if (e == std::string::npos) e = s_.size();
        t.text = s_.substr(i_ + 1, e - i_ - 1);
        i_ = e + 1;
      } else {
        while (i_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[i_])) || s_[i_] == '_' ||
                                  s_[i_] == '$' || s_[i_] == '#'))
          t.text.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(s_[i_++]))));
      }
      return t;
    }
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      t.kind = Tok::WORD;
      while (i_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[i_])) || s_[i_] == '_' ||
                                s_[i_] == '$' || s_[i_] == '#'))
        t.text.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(s_[i_++]))));
      return t;
    }
    t.kind = Tok::PUNCT;
    t.text.assign(1, c);
    ++i_;
    return t;
  }

 private:
  void skip() {
    for (;;) {
      while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
      if (s_.compare(i_, 2, "--") == 0) {
        size_t e = s_.find('\n', i_);
        i_ = e == std::string::npos ? s_.size() : e + 1;
      } else if (s_.compare(i_, 2, "/*") == 0) {
        size_t e = s_.find("*/", i_ + 2);
        i_ = e == std::string::npos ? s_.size() : e + 2;
      } else {
        return;
      }
    }
  }
  const std::string& s_;
  size_t i_ = 0;
};

bool name_part(const Tok& t, std::string* out) {
  if (t.kind == Tok::WORD || t.kind == Tok::QUOTED) {
    *out = t.text;
    return true;
  }
  return false;
}

}  // namespace

bool split_returning(const std::string& text, std::string* stripped, Returning* out) {
  *out = Returning{};
  Lexer lx(text);
  Tok t = lx.next();
  if (t.kind != Tok::WORD) return false;
  std::string verb = t.text;
  if (verb != "INSERT" && verb != "UPDATE" && verb != "DELETE") return false;
  t = lx.next();
  if ((verb == "INSERT" && t.kind == Tok::WORD && t.text == "INTO") ||
      (verb == "DELETE" && t.kind == Tok::WORD && t.text == "FROM"))
    t = lx.next();
  std::string first, second;
  if (!name_part(t, &first)) return false;
  Tok dot = lx.next();
  if (dot.kind == Tok::PUNCT && dot.text == ".") {
    if (!name_part(lx.next(), &second)) return false;
    out->schema = first;
    out->table = second;
    dot = lx.next();
  } else {
    out->table = first;
  }
  // Find RETURNING / RETURN at parenthesis depth 0.
  int depth = 0;
  size_t cut = std::string::npos;
  for (t = dot; t.kind != Tok::END; t = lx.next()) {
    if (t.kind == Tok::PUNCT && t.text == "(") ++depth;
    if (t.kind == Tok::PUNCT && t.text == ")") --depth;
    if (depth == 0 && t.kind == Tok::WORD && (t.text == "RETURNING" || t.text == "RETURN")) {
      cut = t.begin;
      break;
    }
  }
  if (cut == std::string::npos) return false;
  // Columns, then INTO and the placeholders, then the end.
  std::vector<std::string> cols;
  for (;;) {
    std::string c;
    Tok n = lx.next();
    if (!name_part(n, &c)) return false;
    Tok after = lx.next();
    if (after.kind == Tok::PUNCT && after.text == ".") {  // t.col
      if (!name_part(lx.next(), &c)) return false;
      after = lx.next();
    }
    cols.push_back(c);
    if (after.kind == Tok::PUNCT && after.text == ",") continue;
    if (after.kind == Tok::WORD && after.text == "INTO") break;
    return false;
  }
  std::vector<std::string> names;
  for (;;) {
    Tok p = lx.next();
    if (p.kind != Tok::PLACEHOLDER) return false;
    names.push_back(p.text);
    Tok after = lx.next();
    if (after.kind == Tok::PUNCT && after.text == ",") continue;
    while (after.kind == Tok::PUNCT && after.text == ";") after = lx.next();
    if (after.kind != Tok::END) return false;
    break;
  }
  if (names.size() != cols.size()) return false;
  for (size_t i = 0; i < cols.size(); ++i) out->items.push_back({cols[i], names[i], 0});
  *stripped = text.substr(0, cut);
  return true;
}

}  // namespace ocl
