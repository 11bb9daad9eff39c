#pragma once
// The SQL scanner's state, its symbol table and the one entry that runs a
// parse. Scanner and parser are reentrant: every analysis has its own state
// (this record, the scanner's buffers, the parser's stacks), so analyses on
// several threads need no lock, and nothing on any path ends the process.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "scrs/ptree.h"

// ---- BsTree: a balanced search tree of owned items ---------------------------
struct BsTreeNode {
  BsTreeNode *left, *right;
  struct BsTree *tree;
  void *item;
  int height;
};

struct BsTree {
  BsTreeNode *root;
  // r = compare(item, key): 0 found, < 0 the key lies left, > 0 right.
  int (*compare)(const void *item, const char *key);
  int (*create)(void **out, const char *key);  // 1 or 0
  void (*destroy)(void *item);
  int count;
};

BsTree *BsTree_New(int (*compare)(const void *, const char *), int (*create)(void **, const char *),
                   void (*destroy)(void *));
// The node whose item compares equal to key, or a new one; none when the
// item cannot be created.
BsTreeNode *BsTree_FindOrInsert(BsTree *t, const char *key);
void BsTree_Free(BsTree *t);

// ---- Symbols -------------------------------------------------------------------------
struct ScsqlSymbol {
  char *text;
  void *unused[3];
};

// Valued tokens share one symbol per spelling. Names, numbers and other
// unquoted tokens are compared without regard to case (the first spelling
// stands for all); a token holding a quote (string literals, quoted names,
// ESCAPE clauses, date-time literals) only matches its own exact spelling.
int scsql_SymCompare(const void *symbol, const char *text);
int scsql_SymCreate(void **out, const char *text);
void scsql_SymDestroy(void *symbol);

// ---- Scanner state --------------------------------------------------------------
struct ScsqlState {
  const char *in = nullptr;   // next unread byte
  const char *end = nullptr;  // end of the text
  int depth = 0;              // open escape brackets
  int commentReturn = 0;      // start condition a comment returns to
  bool linkNext = false;      // the name just scanned is followed by "@name": a database link
  std::string echo;           // text since the last statement word
  std::string errPos, errMsg; // the last recorded error
  bool hasError = false;
  BsTree *symtab = nullptr;
  int fatal = 0;              // 68 malformed text, 16 memory: the analysis fails
  PTNode *root = nullptr;     // the statement node after a successful parse
  size_t nodes = 0;           // nodes built, checked against the budget
  PTArena *arena = nullptr;   // where the parse builds its nodes; the tree's root adopts it
  void *scanner = nullptr;    // the generated scanner's handle
};

// Most nodes one parse may build; beyond it the analysis fails with 16.
inline constexpr size_t SCSQL_NODE_BUDGET = 2000000;

// Records an error: the echo followed by "^", and the message.
void scsql_Error(ScsqlState *st, const char *msg);
void scsql_EchoReset(ScsqlState *st);
void scsql_Echo(ScsqlState *st, const char *text, size_t len);
int scsql_SymTabOpen(ScsqlState *st);
void scsql_SymTabClose(ScsqlState *st);
// The symbol of text (found or created); throws ScsqlFatal(16) when it
// cannot be created.
ScsqlSymbol *scsql_SymLookup(ScsqlState *st, const char *text);
// The scanner's input hook: copies up to size bytes of the text.
size_t scsql_input(ScsqlState *st, char *buf, size_t size);

// Thrown by the scanner's fatal paths; caught where the parser reads tokens.
struct ScsqlFatal {
  int code;  // 68 or 16
};

// One analysis: scan and parse text. 0 with *root the statement; 1 syntax
// error, 2 parser stack exhausted, 68 malformed text, 16 no memory. The
// error-position text and message, when any error was recorded, go to
// *errPos and *errMsg (owned copies; nullptr otherwise).
int scsql_Parse(const char *text, size_t len, PTNode **root, char **errPos, char **errMsg);

// ---- Tokens, for tests --------------------------------------------------------
struct ScsqlToken {
  int token;
  std::string text;  // the symbol's text for a valued token
};
// Scans text into its tokens, the final 0 included. false when the scanner
// found malformed text (the tokens before it are kept).
bool scsql_Tokens(const char *text, std::vector<ScsqlToken> *out);

// The generated scanner's side (sqlscan.l): one parse, or one scan to the end.
int scsql_RunParse(ScsqlState *st);
bool scsql_ScanAll(ScsqlState *st, std::vector<ScsqlToken> *out);
