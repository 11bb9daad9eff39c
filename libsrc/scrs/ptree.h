#pragma once
// The parse tree of the cursor layer's SQL analysis and the growable array
// the layer keeps its lists in.
//
// Every inner node carries a template: its text with the three bytes
// 0xFF 0x01 n standing for the text of child n (n from 1). Regeneration
// writes the whole statement once into one buffer owned by the root and
// gives every inner node its stretch of it, so that reading any node's text
// costs nothing and regenerating stays linear in the statement's length
// however deep the tree (long left-recursive lists make very deep trees).
// Every walk is iterative for the same reason: an analysis never recurses
// on the C stack.
#include <cstddef>
#include <cstdint>
#include <string_view>

// Node types; see the grammar (sqlgram.y) for the rule that builds each.
enum : int32_t {
  PT_OTHER = 0, PT_AGGNAME = 1, PT_QUANTIFIER = 2, PT_ARGLIST = 3, PT_ASSIGN = 4, PT_SETLIST = 5,
  PT_BETWEEN = 6, PT_HEX = 7, PT_ITEMALIAS = 9, PT_COLNAME = 10, PT_COLREF = 11, PT_COLLIST = 12,
  PT_CMPOP = 13, PT_COMPARISON = 14, PT_TABLEALIAS = 15, PT_CURSORNAME = 16, PT_DATELIT = 17,
  PT_DELETE_POS = 18, PT_DELETE = 19, PT_PARAM = 20, PT_ESCAPECL = 21, PT_EXISTS = 22, PT_EXPR = 23,
  PT_FACTOR = 24, PT_FUNCNAME = 25, PT_IN = 26, PT_INNER = 27, PT_INSERT = 28, PT_TABLEPRIMARY = 29,
  PT_JOINTYPE = 30, PT_LIKE = 31, PT_LITERAL = 32, PT_ISNULL = 33, PT_DATEESC = 34, PT_DTESC = 35,
  PT_OPENBR = 36, PT_CLOSEBR = 37, PT_OJESC = 38, PT_FNESC = 39, PT_TIMEESC = 40, PT_TSESC = 41,
  PT_SETQUANT = 42, PT_AS = 43, PT_DIRECTION = 44, PT_INSCOLS = 45, PT_TABLEREF = 46, PT_GROUPBY = 47,
  PT_HAVING = 48, PT_LIKEESC = 49, PT_ORDERPART = 50, PT_OUTER = 51, PT_UNIONPART = 52,
  PT_SELHEAD = 53, PT_WHEREPART = 54, PT_ORDERBY = 55, PT_OJSIDE = 56, PT_OWNER = 57,
  PT_LIKEPAT = 58, PT_PREDICATE = 59, PT_PRIMARY = 60, PT_CALL = 61, PT_JOINED = 62,
  PT_QUALIFIER = 63, PT_LINKPART = 64, PT_QUANTCMP = 66, PT_FUNCCALL = 67, PT_CONDITION = 68,
  PT_SCASE = 69, PT_SWHENLIST = 70, PT_SWHEN = 71, PT_QUERYSPEC = 72, PT_SELLIST = 73,
  PT_SELECT = 74, PT_SELITEM = 75, PT_AGGREGATE = 76, PT_CASE = 77, PT_WHENLIST = 78, PT_WHEN = 79,
  PT_ORDERITEM = 80, PT_ORDERLIST = 81, PT_OJPRED = 84, PT_SUBQUERY = 85, PT_TABLEEXPR = 86,
  PT_TABLEPART = 87, PT_TABLENAME = 88, PT_TABLEELEM = 89, PT_TABLELIST = 90, PT_TERM = 91,
  PT_TIMELIT = 92, PT_TSLIT = 93, PT_UNION = 94, PT_INTEGER = 95, PT_UPDATE_POS = 96, PT_UPDATE = 97,
  PT_VALUE = 98, PT_VALUELIST = 99, PT_INSSOURCE = 100, PT_WHERE = 101,
};

struct PTRegen;
struct PTArena;

// PTNode::arenaFlags: where the node's own memory and its text live.
enum : uint8_t { PT_IN_ARENA = 1, PT_TEXT_IN_ARENA = 2 };

struct PTNode {
  PTNode *child;     // first child; none for a leaf
  PTNode *next;      // next sibling
  int32_t type;
  int32_t count;     // children
  char *text;        // a leaf's own text (owned unless in an arena); none for an inner node
  const char *tmpl;  // an inner node's template; none for a leaf
  bool ownTmpl;      // tmpl is an owned copy (rewrites), else a static rule template
  uint8_t arenaFlags;  // PT_IN_ARENA, PT_TEXT_IN_ARENA: freed with the arena, never one by one
  bool ownsRegen;    // the root: frees the buffer (others never read it when freed)
  // Set by regeneration: the inner node's stretch of the root's buffer
  // (within the regeneration budget, so 32 bits hold it).
  uint32_t regenPass;
  uint32_t regenOff, regenLen;
  PTRegen *regen;    // the root's regeneration buffer
  PTArena *arena;    // the root of a parsed tree: the arena its nodes live in (owned)
};

// The three bytes a rewrite leaves where generated SQL belongs.
inline constexpr char PT_MARKER[] = "\x01\x01\x01";

// ---- Arena -------------------------------------------------------------------------
// A parse builds its nodes and their texts in one arena: a tree of a long
// list is then a few contiguous blocks instead of millions of small
// allocations, and it goes at once. Nodes made later by rewrites come from
// the heap and may hang in the same tree. Freeing a subtree leaves its
// arena nodes where they are (they cost nothing until the arena goes); the
// arena goes with the tree of the root that adopted it. An arena belongs to
// one tree and one thread at a time.
PTArena *PT_ArenaNew();
void PT_ArenaFree(PTArena *arena);
// Zero-filled memory of n bytes for the arena's lifetime; none when memory runs out.
void *PT_ArenaAlloc(PTArena *arena, size_t n);
// The tree under root owns the arena from now on: PT_SubtreeFree of the
// root frees it once every node has been visited.
void PT_AdoptArena(PTNode *root, PTArena *arena);

// A leaf holding a copy of text; none when memory runs out. With an arena,
// the node and its text are made in it.
PTNode *PT_Leaf(int32_t type, std::string_view text, PTArena *arena = nullptr);
// An inner node with a copy of the template and the n children linked in
// order; none when memory runs out (the children are then left alone).
PTNode *PT_Node(int32_t type, const char *tmpl, int n, PTNode *const *children);
PTNode *PT_Node1(int32_t type, const char *tmpl, PTNode *child);
// An inner node whose template is a static string the node does not own.
PTNode *PT_NodeStatic(int32_t type, const char *tmpl, int n, PTNode *const *children, PTArena *arena = nullptr);
// Frees the node's text, template and regeneration buffer (not the node).
void PT_NodeFree(PTNode *node);
// Frees the node, its children and its later siblings (each after calling
// cb, normally PT_NodeFree); clears *ref.
void PT_SubtreeFree(PTNode **ref, void (*cb)(PTNode *));

// The node's text: a leaf's own text, an inner node's regenerated text
// (empty before the first regeneration).
std::string_view PT_Text(const PTNode *node);
// Replaces a leaf's text or turns an inner node into a leaf holding text
// (its children are freed). false when memory runs out.
bool PT_SetText(PTNode *node, std::string_view text);
// Replaces the node's template by a copy of tmpl. false when memory runs out.
bool PT_SetTemplate(PTNode *node, std::string_view tmpl);
// The n-th child (from 1), or none.
PTNode *PT_Child(const PTNode *node, int n);

// Regenerates the text of every inner node. 1, or 0 when the text would
// pass the regeneration budget or memory runs out (texts then read empty).
int PT_Regenerate(PTNode *root);
// Upper bound of a regenerated statement with all its node texts.
inline constexpr size_t PT_REGEN_BUDGET = size_t{64} << 20;

// ---- Walks -----------------------------------------------------------------------
// Pre-order over the node, its first-child subtree, then its next-sibling
// chain. The visitor answers PT_PRUNE (neither the node's children nor the
// siblings that follow it), PT_GO, PT_STOP (the walk ends) or PT_SKIP (not
// the node's children, but the siblings that follow it).
enum PTVisit { PT_PRUNE = 0, PT_GO = 1, PT_STOP = 2, PT_SKIP = 3 };
using PTVisitor = PTVisit (*)(PTNode *node, void *ctx);
void PT_Walk(PTNode *node, PTVisitor visit, void *ctx);
// The node and its descendants (not its siblings).
void PT_WalkBelow(PTNode *node, PTVisitor visit, void *ctx);

// The first node of the type in the walk from node (its subtree, then its
// later siblings), or none.
PTNode *PT_FindType(PTNode *node, int32_t type);
// The same, not entering nodes of the blocking type.
PTNode *PT_FindTypeNotOf(PTNode *node, int32_t type, int32_t blocking);
// Reference form: the first node of the type from *ref; *ref set to it.
PTNode *PT_FindFrom(int32_t type, PTNode **ref);
// A node of the type among the node's descendants (the node not counted).
bool PT_HasBelow(const PTNode *node, int32_t type);

struct VArray;
// Appends every node of the type among node's descendants in pre-order. 1,
// or 0 when an append failed.
int PT_CollectBelow(int32_t type, PTNode *node, VArray *out);
// The same, not entering nodes of the blocking type (their later siblings
// are still visited).
int PT_CollectBelowNotOf(int32_t type, int32_t blocking, PTNode *node, VArray *out);
// The outermost nodes of the type below node, without entering them.
int PT_CollectOutermost(int32_t type, PTNode *node, VArray *out);

// ---- VArray ------------------------------------------------------------------------
struct VArray {
  uint32_t count;
  uint32_t capacity;
  unsigned char *data;
  uint64_t elemSize;
};

// A new array of 10 zero-filled elements of capacity; none for size 0 or no
// memory.
VArray *VArray_New(uint64_t elemSize);
// Calls cb on every element's address in order, frees the array, clears *ref.
void VArray_Free(VArray **ref, void (*cb)(void *elem));
// More capacity (at least 10 elements, half the capacity for larger arrays,
// so that long lists append in linear time). 1 or 0.
int VArray_Grow(VArray *a);
int VArray_Append(VArray *a, const void *elem);
int VArray_AppendAll(VArray *dst, const VArray *src);
inline void *VArray_At(const VArray *a, uint32_t i) { return a->data + i * a->elemSize; }
template <class T> inline T VArray_Get(const VArray *a, uint32_t i) { return *static_cast<T *>(VArray_At(a, i)); }
