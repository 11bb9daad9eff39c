// Parse-tree nodes, walks, regeneration and VArray. Walks keep their own
// stacks on the heap: the trees of long lists are as deep as the lists are
// long. Allocation failures of those stacks throw std::bad_alloc, which the
// analysis entry points turn into 16.
#include "scrs/ptree.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

struct PTRegen {
  char *buf = nullptr;
  size_t len = 0, cap = 0;
  uint32_t pass = 0;
  PTNode *owner = nullptr;
};

// ---- Arena -------------------------------------------------------------------------

struct PTArenaBlock {
  PTArenaBlock *prev;
  size_t size, used;
  alignas(std::max_align_t) unsigned char data[1];
};

struct PTArena {
  PTArenaBlock *top = nullptr;
  size_t nextSize = 4 << 10;  // grows to 64 KiB: small statements stay small
  PTArena *nextToFree = nullptr;  // PT_SubtreeFree's list of arenas to free at its end
};

namespace {
// Nodes and texts need no more than pointer alignment.
constexpr size_t kArenaAlign = alignof(void *);
// Blocks stay below the allocator's mapping threshold: they come from and go
// back to its heap, so that parse after parse reuses memory already mapped
// instead of faulting in fresh pages for every tree.
constexpr size_t kArenaMaxBlock = size_t{64} << 10;
}  // namespace

namespace {

// Full-size blocks of freed arenas, kept for the thread's next parse: a
// long statement parsed again and again (a prepared IN list) then reuses
// memory already mapped instead of faulting in fresh pages each time.
// Bounded, so that one huge statement does not pin its tree's memory.
constexpr size_t kArenaCacheBytes = size_t{16} << 20;

struct BlockCache {
  PTArenaBlock *head = nullptr;
  size_t bytes = 0;
  ~BlockCache() {
    while (head) {
      PTArenaBlock *prev = head->prev;
      free(head);
      head = prev;
    }
  }
};

thread_local BlockCache t_blocks;

PTArenaBlock *NewBlock(size_t size) {
  if (size == kArenaMaxBlock && t_blocks.head) {
    PTArenaBlock *b = t_blocks.head;
    t_blocks.head = b->prev;
    t_blocks.bytes -= b->size;
    return b;
  }
  auto *b = static_cast<PTArenaBlock *>(malloc(offsetof(PTArenaBlock, data) + size));
  if (b) b->size = size;
  return b;
}

void DropBlock(PTArenaBlock *b) {
  if (b->size == kArenaMaxBlock && t_blocks.bytes + b->size <= kArenaCacheBytes) {
    b->prev = t_blocks.head;
    t_blocks.head = b;
    t_blocks.bytes += b->size;
    return;
  }
  free(b);
}

}  // namespace

PTArena *PT_ArenaNew() { return new (std::nothrow) PTArena; }

void PT_ArenaFree(PTArena *a) {
  if (!a) return;
  for (PTArenaBlock *b = a->top; b;) {
    PTArenaBlock *prev = b->prev;
    DropBlock(b);
    b = prev;
  }
  delete a;
}

void *PT_ArenaAlloc(PTArena *a, size_t n) {
  if (!a) return nullptr;
  n = (n + kArenaAlign - 1) & ~(kArenaAlign - 1);
  PTArenaBlock *b = a->top;
  if (!b || b->size - b->used < n) {
    size_t size = a->nextSize;
    while (size < n) size *= 2;
    PTArenaBlock *fresh = NewBlock(size);
    if (!fresh) return nullptr;
    fresh->prev = b;
    fresh->used = 0;
    a->top = b = fresh;
    if (a->nextSize < kArenaMaxBlock) a->nextSize *= 2;
  }
  void *p = b->data + b->used;
  b->used += n;
  memset(p, 0, n);
  return p;
}

void PT_AdoptArena(PTNode *root, PTArena *arena) {
  if (root) root->arena = arena;
}

namespace {

char *CopyText(std::string_view t) {
  char *s = static_cast<char *>(malloc(t.size() + 1));
  if (!s) return nullptr;
  if (!t.empty()) memcpy(s, t.data(), t.size());
  s[t.size()] = '\0';
  return s;
}

char *ArenaText(PTArena *a, std::string_view t) {
  auto *s = static_cast<char *>(PT_ArenaAlloc(a, t.size() + 1));
  if (s && !t.empty()) memcpy(s, t.data(), t.size());
  return s;
}

PTNode *NewNode(int32_t type, PTArena *a) {
  auto *n = static_cast<PTNode *>(a ? PT_ArenaAlloc(a, sizeof(PTNode)) : calloc(1, sizeof(PTNode)));
  if (!n) return nullptr;
  n->type = type;
  if (a) n->arenaFlags = PT_IN_ARENA;
  return n;
}

void FreeNodeMemory(PTNode *n) {
  if (!(n->arenaFlags & PT_IN_ARENA)) free(n);
}

// Frees the node's text where it is its own (a text in an arena stays).
void FreeText(PTNode *n) {
  if (!(n->arenaFlags & PT_TEXT_IN_ARENA)) free(n->text);
  n->text = nullptr;
  n->arenaFlags = static_cast<uint8_t>(n->arenaFlags & ~PT_TEXT_IN_ARENA);
}

void Link(PTNode *n, int count, PTNode *const *children) {
  n->count = count;
  PTNode **tail = &n->child;
  for (int i = 0; i < count; ++i) {
    *tail = children[i];
    tail = &children[i]->next;
  }
}

bool IsLeaf(const PTNode *n) { return n->tmpl == nullptr; }

}  // namespace

PTNode *PT_Leaf(int32_t type, std::string_view text, PTArena *arena) {
  PTNode *n = NewNode(type, arena);
  if (!n) return nullptr;
  n->text = arena ? ArenaText(arena, text) : CopyText(text);
  if (!n->text) {
    FreeNodeMemory(n);
    return nullptr;
  }
  if (arena) n->arenaFlags |= PT_TEXT_IN_ARENA;
  return n;
}

PTNode *PT_NodeStatic(int32_t type, const char *tmpl, int count, PTNode *const *children, PTArena *arena) {
  PTNode *n = NewNode(type, arena);
  if (!n) return nullptr;
  n->tmpl = tmpl ? tmpl : "";
  Link(n, count, children);
  return n;
}

PTNode *PT_Node(int32_t type, const char *tmpl, int count, PTNode *const *children) {
  char *copy = CopyText(tmpl ? tmpl : "");
  if (!copy) return nullptr;
  PTNode *n = PT_NodeStatic(type, copy, count, children);
  if (!n) {
    free(copy);
    return nullptr;
  }
  n->ownTmpl = true;
  return n;
}

PTNode *PT_Node1(int32_t type, const char *tmpl, PTNode *child) { return PT_Node(type, tmpl, 1, &child); }

void PT_NodeFree(PTNode *n) {
  if (!n) return;
  FreeText(n);
  if (n->ownTmpl) free(const_cast<char *>(n->tmpl));
  n->tmpl = nullptr;
  n->ownTmpl = false;
  // A tree is freed parent first: only the owner may look at the buffer.
  if (n->ownsRegen) {
    free(n->regen->buf);
    delete n->regen;
  }
  n->regen = nullptr;
  n->ownsRegen = false;
}

void PT_SubtreeFree(PTNode **ref, void (*cb)(PTNode *)) {
  if (!ref || !*ref) return;
  // Children and later siblings alike go on one list; a node is freed once
  // both are on it, so the whole walk needs no stack at all.
  PTNode *todo = *ref;
  *ref = nullptr;
  // Arena nodes are read until the walk ends: their arenas go last.
  PTArena *arenas = nullptr;
  while (todo) {
    PTNode *n = todo;
    if (n->child) {
      // Splice the children in front of the node's siblings.
      PTNode *last = n->child;
      while (last->next) last = last->next;
      last->next = n->next;
      todo = n->child;
    } else {
      todo = n->next;
    }
    if (cb) cb(n);
    if (n->arena) {
      n->arena->nextToFree = arenas;
      arenas = n->arena;
      n->arena = nullptr;
    }
    FreeNodeMemory(n);
  }
  while (arenas) {
    PTArena *next = arenas->nextToFree;
    PT_ArenaFree(arenas);
    arenas = next;
  }
}

std::string_view PT_Text(const PTNode *n) {
  if (!n) return {};
  if (IsLeaf(n)) return n->text ? std::string_view(n->text) : std::string_view();
  if (!n->regen || n->regenPass != n->regen->pass || !n->regen->buf) return {};
  return std::string_view(n->regen->buf + n->regenOff, n->regenLen);
}

bool PT_SetText(PTNode *n, std::string_view text) {
  char *copy = CopyText(text);
  if (!copy) return false;
  PT_SubtreeFree(&n->child, PT_NodeFree);
  n->count = 0;
  if (n->ownTmpl) free(const_cast<char *>(n->tmpl));
  n->tmpl = nullptr;
  n->ownTmpl = false;
  FreeText(n);
  n->text = copy;
  return true;
}

bool PT_SetTemplate(PTNode *n, std::string_view tmpl) {
  char *copy = CopyText(tmpl);
  if (!copy) return false;
  if (n->ownTmpl) free(const_cast<char *>(n->tmpl));
  n->tmpl = copy;
  n->ownTmpl = true;
  FreeText(n);
  return true;
}

PTNode *PT_Child(const PTNode *n, int k) {
  if (!n || k < 1) return nullptr;
  PTNode *c = n->child;
  while (c && --k > 0) c = c->next;
  return c;
}

// ---- Regeneration ----------------------------------------------------------------

namespace {

struct Emitter {
  PTRegen &r;
  bool failed = false;

  bool Reserve(size_t more) {
    if (r.len + more > PT_REGEN_BUDGET) return false;
    if (r.len + more <= r.cap) return true;
    size_t cap = r.cap ? r.cap : 256;
    while (cap < r.len + more) cap *= 2;
    if (cap > PT_REGEN_BUDGET) cap = PT_REGEN_BUDGET;
    char *b = static_cast<char *>(realloc(r.buf, cap));
    if (!b) return false;
    r.buf = b;
    r.cap = cap;
    return true;
  }
  void Append(const char *p, size_t n) {
    if (failed || n == 0) return;
    if (!Reserve(n)) {
      failed = true;
      return;
    }
    memcpy(r.buf + r.len, p, n);
    r.len += n;
  }
  void AppendOwn(size_t off, size_t n) {  // a stretch of the buffer itself
    if (failed || n == 0) return;
    if (!Reserve(n)) {
      failed = true;
      return;
    }
    memmove(r.buf + r.len, r.buf + off, n);
    r.len += n;
  }

  // Writes the text of an inner node, its inner descendants getting their
  // stretches on the way. A slot 0 or beyond the children gives "NULL", a
  // child without text nothing; directives other than slots (parse
  // templates have none) produce nothing.
  void Emit(PTNode *start) {
    struct Frame {
      PTNode *n;
      const unsigned char *p;
    };
    std::vector<Frame> st;
    start->regenOff = static_cast<uint32_t>(r.len);
    start->regen = &r;
    st.push_back({start, reinterpret_cast<const unsigned char *>(start->tmpl)});
    while (!st.empty() && !failed) {
      Frame &f = st.back();
      PTNode *n = f.n;
      const unsigned char *p = f.p;
      bool descended = false;
      while (!descended && !failed) {
        const unsigned char *q = p;
        while (*q && *q != 0xFF) ++q;
        Append(reinterpret_cast<const char *>(p), static_cast<size_t>(q - p));
        p = q;
        if (*p == 0 || p[1] == 0 || (p[1] == 1 && p[2] == 0)) {
          n->regenLen = static_cast<uint32_t>(r.len - n->regenOff);
          n->regenPass = r.pass;
          st.pop_back();
          break;
        }
        if (p[1] != 1) {
          p += 2;
          continue;
        }
        const int k = p[2];
        p += 3;
        PTNode *c = k >= 1 && k <= n->count ? PT_Child(n, k) : nullptr;
        if (!c) {
          Append("NULL", 4);
        } else if (IsLeaf(c)) {
          if (c->text) Append(c->text, strlen(c->text));
        } else if (c->regen == &r && c->regenPass == r.pass) {
          AppendOwn(c->regenOff, c->regenLen);
        } else {
          f.p = p;
          c->regenOff = static_cast<uint32_t>(r.len);
          c->regen = &r;
          st.push_back({c, reinterpret_cast<const unsigned char *>(c->tmpl)});
          descended = true;
        }
      }
    }
  }
};

struct Unreached {
  PTRegen *r;
  std::vector<PTNode *> nodes;
};

PTVisit CollectUnreached(PTNode *n, void *ctx) {
  auto *u = static_cast<Unreached *>(ctx);
  if (!IsLeaf(n) && (n->regen != u->r || n->regenPass != u->r->pass)) u->nodes.push_back(n);
  return PT_GO;
}

}  // namespace

int PT_Regenerate(PTNode *root) {
  if (!root) return 0;
  if (IsLeaf(root)) return 1;
  PTRegen *r = root->ownsRegen ? root->regen : nullptr;
  if (!r) {
    r = new (std::nothrow) PTRegen;
    if (!r) return 0;
    r->owner = root;
    root->regen = r;
    root->ownsRegen = true;
  }
  ++r->pass;
  r->len = 0;
  Emitter e{*r};
  e.Emit(root);
  // Nodes that no template reaches (none in parsed trees) get their own
  // stretch behind the statement.
  if (!e.failed) {
    Unreached u{r, {}};
    PT_WalkBelow(root, CollectUnreached, &u);
    for (PTNode *n : u.nodes)
      if (!e.failed && (n->regen != r || n->regenPass != r->pass)) e.Emit(n);
  }
  if (e.failed) {
    ++r->pass;  // no stretch is valid: texts read empty
    return 0;
  }
  return 1;
}

// ---- Walks -------------------------------------------------------------------------

void PT_Walk(PTNode *node, PTVisitor visit, void *ctx) {
  if (!node) return;
  std::vector<PTNode *> st{node};
  while (!st.empty()) {
    PTNode *n = st.back();
    st.pop_back();
    PTVisit v = visit(n, ctx);
    if (v == PT_STOP) return;
    if (v == PT_PRUNE) continue;
    if (n->next) st.push_back(n->next);
    if (v != PT_SKIP && n->child) st.push_back(n->child);
  }
}

void PT_WalkBelow(PTNode *node, PTVisitor visit, void *ctx) {
  if (!node) return;
  PTVisit v = visit(node, ctx);
  if (v != PT_GO) return;
  PT_Walk(node->child, visit, ctx);
}

namespace {
struct Find {
  int32_t type, blocking;
  PTNode *found;
};
PTVisit FindVisit(PTNode *n, void *ctx) {
  auto *f = static_cast<Find *>(ctx);
  if (n->type == f->type) {
    f->found = n;
    return PT_STOP;
  }
  return PT_GO;
}
PTVisit FindNotOfVisit(PTNode *n, void *ctx) {
  auto *f = static_cast<Find *>(ctx);
  if (n->type == f->blocking) return PT_SKIP;
  return FindVisit(n, ctx);
}
}  // namespace

PTNode *PT_FindType(PTNode *node, int32_t type) {
  Find f{type, -1, nullptr};
  PT_Walk(node, FindVisit, &f);
  return f.found;
}

PTNode *PT_FindTypeNotOf(PTNode *node, int32_t type, int32_t blocking) {
  Find f{type, blocking, nullptr};
  PT_Walk(node, FindNotOfVisit, &f);
  return f.found;
}

PTNode *PT_FindFrom(int32_t type, PTNode **ref) {
  if (!ref) return nullptr;
  *ref = PT_FindType(*ref, type);
  return *ref;
}

bool PT_HasBelow(const PTNode *node, int32_t type) {
  return node && PT_FindType(node->child, type) != nullptr;
}

namespace {
struct Collect {
  int32_t type, blocking;
  VArray *out;
  int ok;
  bool outermost;
};
PTVisit CollectVisit(PTNode *n, void *ctx) {
  auto *c = static_cast<Collect *>(ctx);
  if (n->type == c->blocking) return PT_SKIP;
  if (n->type == c->type) {
    if (!VArray_Append(c->out, &n)) {
      c->ok = 0;
      return PT_STOP;
    }
    if (c->outermost) return PT_SKIP;
  }
  return PT_GO;
}
}  // namespace

int PT_CollectBelow(int32_t type, PTNode *node, VArray *out) { return PT_CollectBelowNotOf(type, -1, node, out); }

int PT_CollectBelowNotOf(int32_t type, int32_t blocking, PTNode *node, VArray *out) {
  if (!node || !out) return 0;
  Collect c{type, blocking, out, 1, false};
  PT_Walk(node->child, CollectVisit, &c);
  return c.ok;
}

int PT_CollectOutermost(int32_t type, PTNode *node, VArray *out) {
  if (!node || !out) return 0;
  Collect c{type, -1, out, 1, true};
  PT_Walk(node->child, CollectVisit, &c);
  return c.ok;
}

// ---- VArray ---------------------------------------------------------------------------

VArray *VArray_New(uint64_t elemSize) {
  if (elemSize == 0) return nullptr;
  auto *a = static_cast<VArray *>(calloc(1, sizeof(VArray)));
  if (!a) return nullptr;
  a->data = static_cast<unsigned char *>(calloc(10, elemSize));
  if (!a->data) {
    free(a);
    return nullptr;
  }
  a->capacity = 10;
  a->elemSize = elemSize;
  return a;
}

void VArray_Free(VArray **ref, void (*cb)(void *)) {
  if (!ref || !*ref) return;
  VArray *a = *ref;
  if (cb)
    for (uint32_t i = 0; i < a->count; ++i) cb(VArray_At(a, i));
  free(a->data);
  free(a);
  *ref = nullptr;
}

int VArray_Grow(VArray *a) {
  if (!a || !a->data) return 0;
  uint64_t more = a->capacity / 2 > 10 ? a->capacity / 2 : 10;
  uint64_t cap = a->capacity + more;
  if (cap > UINT32_MAX) return 0;
  auto *d = static_cast<unsigned char *>(calloc(cap, a->elemSize));
  if (!d) return 0;
  memcpy(d, a->data, a->count * a->elemSize);
  free(a->data);
  a->data = d;
  a->capacity = static_cast<uint32_t>(cap);
  return 1;
}

int VArray_Append(VArray *a, const void *elem) {
  if (!a || !elem) return 0;
  if (a->count >= a->capacity && !VArray_Grow(a)) return 0;
  memcpy(VArray_At(a, a->count), elem, a->elemSize);
  ++a->count;
  return 1;
}

int VArray_AppendAll(VArray *dst, const VArray *src) {
  if (!dst || !src || dst->elemSize != src->elemSize) return 0;
  for (uint32_t i = 0; i < src->count; ++i)
    if (!VArray_Append(dst, VArray_At(src, i))) return 0;
  return 1;
}
