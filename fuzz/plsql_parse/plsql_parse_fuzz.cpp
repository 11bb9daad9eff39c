// One input: its kind, and its parse as a unit or block. A parse that
// succeeds must hold token ranges inside the unit's tokens, and a failed one
// must say where.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "plsql.h"

namespace {

void check(const ocl::PlUnit& u, const ocl::PlExpr& e) {
  if (e.b < 0 || e.e < e.b || static_cast<size_t>(e.e) > u.toks.size()) std::abort();
}

void walk(const ocl::PlUnit& u, const std::vector<ocl::PlStmt>& stmts) {
  for (const ocl::PlStmt& s : stmts) {
    check(u, s.expr);
    check(u, s.lo);
    check(u, s.hi);
    check(u, s.list);
    check(u, s.rest);
    for (const auto& c : s.conds) check(u, c);
    for (const auto& a : s.args) check(u, a.e);
    for (const auto& p : s.parts) walk(u, p);
    if (s.block) walk(u, s.block->stmts);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  (void)ocl::pl_text_kind(text);
  DlError err;
  auto u = ocl::pl_parse(text, &err);
  if (!u) return 0;
  if (!u->ok && u->error.find("line ") != 0) std::abort();
  if (u->ok) {
    if (u->body) walk(*u, u->body->stmts);
    for (const auto& s : u->subs)
      if (s.body) walk(*u, s.body->stmts);
  }
  return 0;
}
