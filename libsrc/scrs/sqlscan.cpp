// The scanner's symbol table, echo, error recorder and input hook, and the
// entry that runs one parse.
#include "scrs/sqlscan.h"

#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <new>

// ---- BsTree (AVL) ---------------------------------------------------------------------
// Balanced, so that the many distinct values of a long IN list cost a
// logarithmic descent each instead of a descent through all earlier ones.

namespace {

int Height(const BsTreeNode *n) { return n ? n->height : 0; }
void Fix(BsTreeNode *n) { n->height = 1 + std::max(Height(n->left), Height(n->right)); }

BsTreeNode *RotateRight(BsTreeNode *n) {
  BsTreeNode *l = n->left;
  n->left = l->right;
  l->right = n;
  Fix(n);
  Fix(l);
  return l;
}

BsTreeNode *RotateLeft(BsTreeNode *n) {
  BsTreeNode *r = n->right;
  n->right = r->left;
  r->left = n;
  Fix(n);
  Fix(r);
  return r;
}

BsTreeNode *Balance(BsTreeNode *n) {
  Fix(n);
  int b = Height(n->left) - Height(n->right);
  if (b > 1) {
    if (Height(n->left->left) < Height(n->left->right)) n->left = RotateLeft(n->left);
    return RotateRight(n);
  }
  if (b < -1) {
    if (Height(n->right->right) < Height(n->right->left)) n->right = RotateRight(n->right);
    return RotateLeft(n);
  }
  return n;
}

// Depth is logarithmic, so recursion here is bounded (about 1.44 log2 n).
BsTreeNode *Insert(BsTree *t, BsTreeNode *n, const char *key, BsTreeNode **found) {
  if (!n) {
    void *item = nullptr;
    if (!t->create(&item, key)) return nullptr;
    auto *fresh = static_cast<BsTreeNode *>(calloc(1, sizeof(BsTreeNode)));
    if (!fresh) {
      t->destroy(item);
      free(item);
      return nullptr;
    }
    fresh->tree = t;
    fresh->item = item;
    fresh->height = 1;
    ++t->count;
    *found = fresh;
    return fresh;
  }
  int r = t->compare(n->item, key);
  if (r == 0) {
    *found = n;
    return n;
  }
  BsTreeNode **side = r < 0 ? &n->left : &n->right;
  BsTreeNode *sub = Insert(t, *side, key, found);
  if (!sub) return nullptr;
  *side = sub;
  return Balance(n);
}

void FreeNodes(BsTree *t, BsTreeNode *n) {
  if (!n) return;
  FreeNodes(t, n->left);
  FreeNodes(t, n->right);
  t->destroy(n->item);
  free(n->item);
  free(n);
  --t->count;
}

}  // namespace

BsTree *BsTree_New(int (*compare)(const void *, const char *), int (*create)(void **, const char *),
                   void (*destroy)(void *)) {
  if (!compare || !create || !destroy) return nullptr;
  auto *t = static_cast<BsTree *>(calloc(1, sizeof(BsTree)));
  if (!t) return nullptr;
  t->compare = compare;
  t->create = create;
  t->destroy = destroy;
  return t;
}

BsTreeNode *BsTree_FindOrInsert(BsTree *t, const char *key) {
  if (!t || !key) return nullptr;
  BsTreeNode *found = nullptr;
  BsTreeNode *root = Insert(t, t->root, key, &found);
  if (!root) return nullptr;
  t->root = root;
  return found;
}

void BsTree_Free(BsTree *t) {
  if (!t) return;
  FreeNodes(t, t->root);
  free(t);
}

// ---- Symbols -----------------------------------------------------------------------------

namespace {
bool Exact(const char *s) { return strpbrk(s, "'\"`") != nullptr; }
}  // namespace

int scsql_SymCompare(const void *symbol, const char *text) {
  if (!symbol || !text) return 0;
  const char *own = static_cast<const ScsqlSymbol *>(symbol)->text;
  if (!own) return 0;
  // Exact-spelling tokens and case-folded ones are kept apart, each in an
  // order of its own, so the tree's order stays total.
  bool a = Exact(own), b = Exact(text);
  if (a != b) return a ? 1 : -1;
  return a ? strcmp(own, text) : strcasecmp(own, text);
}

int scsql_SymCreate(void **out, const char *text) {
  if (!out || !text) return 0;
  auto *s = static_cast<ScsqlSymbol *>(calloc(1, sizeof(ScsqlSymbol)));
  if (!s) return 0;
  s->text = strdup(text);
  if (!s->text) {
    free(s);
    return 0;
  }
  *out = s;
  return 1;
}

void scsql_SymDestroy(void *symbol) {
  if (symbol) free(static_cast<ScsqlSymbol *>(symbol)->text);
}

int scsql_SymTabOpen(ScsqlState *st) {
  st->symtab = BsTree_New(scsql_SymCompare, scsql_SymCreate, scsql_SymDestroy);
  return st->symtab ? 1 : 0;
}

void scsql_SymTabClose(ScsqlState *st) {
  BsTree_Free(st->symtab);
  st->symtab = nullptr;
}

ScsqlSymbol *scsql_SymLookup(ScsqlState *st, const char *text) {
  BsTreeNode *n = BsTree_FindOrInsert(st->symtab, text);
  if (!n) throw ScsqlFatal{16};
  return static_cast<ScsqlSymbol *>(n->item);
}

// ---- Echo, errors, input ---------------------------------------------------------------

void scsql_EchoReset(ScsqlState *st) { st->echo.clear(); }

void scsql_Echo(ScsqlState *st, const char *text, size_t len) { st->echo.append(text, len); }

void scsql_Error(ScsqlState *st, const char *msg) {
  try {
    st->errPos = st->echo + "^";
    st->errMsg = msg;
    st->hasError = true;
  } catch (const std::bad_alloc &) {
    st->errPos.clear();
    st->errMsg.clear();
  }
}

size_t scsql_input(ScsqlState *st, char *buf, size_t size) {
  size_t left = static_cast<size_t>(st->end - st->in);
  size_t n = left < size ? left : size;
  if (n) memcpy(buf, st->in, n);
  st->in += n;
  return n;
}

// ---- One parse ---------------------------------------------------------------------------

namespace {
char *Dup(const std::string &s) {
  char *p = static_cast<char *>(malloc(s.size() + 1));
  if (p) memcpy(p, s.c_str(), s.size() + 1);
  return p;
}
}  // namespace

int scsql_Parse(const char *text, size_t len, PTNode **root, char **errPos, char **errMsg) {
  *root = nullptr;
  if (errPos) *errPos = nullptr;
  if (errMsg) *errMsg = nullptr;
  ScsqlState st;
  st.in = text;
  st.end = text + len;
  st.arena = PT_ArenaNew();
  if (!st.arena) return 16;
  if (!scsql_SymTabOpen(&st)) {
    PT_ArenaFree(st.arena);
    return 16;
  }
  int rc = scsql_RunParse(&st);
  scsql_SymTabClose(&st);
  if (st.hasError) {
    if (errPos) *errPos = Dup(st.errPos);
    if (errMsg) *errMsg = Dup(st.errMsg);
  }
  if (rc == 0 && st.fatal == 0 && st.root) {
    PT_AdoptArena(st.root, st.arena);
    *root = st.root;
    return 0;
  }
  PT_SubtreeFree(&st.root, PT_NodeFree);
  PT_ArenaFree(st.arena);
  if (st.fatal) return st.fatal;
  return rc == 0 ? 1 : rc;
}

bool scsql_Tokens(const char *text, std::vector<ScsqlToken> *out) {
  ScsqlState st;
  st.in = text;
  st.end = text + strlen(text);
  if (!scsql_SymTabOpen(&st)) return false;
  bool ok = scsql_ScanAll(&st, out);
  scsql_SymTabClose(&st);
  return ok;
}
