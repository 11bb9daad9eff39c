// Parse-tree nodes, walks, regeneration and VArray on hand-built trees.
#include "scrs/ptree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

PTNode *Leaf(int type, const char *t) { return PT_Leaf(type, t); }
PTNode *Node(int type, const char *tmpl, std::vector<PTNode *> kids) {
  return PT_Node(type, tmpl, static_cast<int>(kids.size()), kids.data());
}

TEST(PTree, RegenerationFollowsTemplates) {
  // A slot beyond the children gives NULL; a repeated slot repeats its
  // child; a child without text gives nothing; other bytes are copied.
  PTNode *root = Node(1, "[\xFF\x01\x01|\xFF\x01\x02|\xFF\x01\x01|\xFF\x01\x07]",
                      {Node(2, "(\xFF\x01\x01)", {Leaf(3, "x")}), Leaf(4, "")});
  ASSERT_EQ(PT_Regenerate(root), 1);
  EXPECT_EQ(PT_Text(root), "[(x)||(x)|NULL]");
  EXPECT_EQ(PT_Text(root->child), "(x)");
  // A rewrite of a leaf shows after the next regeneration.
  ASSERT_TRUE(PT_SetText(root->child->child, "yy"));
  ASSERT_EQ(PT_Regenerate(root), 1);
  EXPECT_EQ(PT_Text(root), "[(yy)||(yy)|NULL]");
  // Turning an inner node into a leaf frees its children.
  ASSERT_TRUE(PT_SetText(root->child, PT_MARKER));
  EXPECT_EQ(root->child->count, 0);
  ASSERT_EQ(PT_Regenerate(root), 1);
  EXPECT_EQ(PT_Text(root), "[\x01\x01\x01||\x01\x01\x01|NULL]");
  PT_SubtreeFree(&root, PT_NodeFree);
  EXPECT_EQ(root, nullptr);
}

TEST(PTree, DeepTreesNeedNoStack) {
  // A left-recursive list 200000 deep: regenerated, walked and freed
  // without recursion (a recursive walk would overflow the stack).
  PTNode *list = Leaf(95, "0");
  for (int i = 1; i < 200000; ++i) list = Node(99, "\xFF\x01\x01,\xFF\x01\x02", {list, Leaf(95, "1")});
  ASSERT_EQ(PT_Regenerate(list), 1);
  std::string_view text = PT_Text(list);
  EXPECT_EQ(text.size(), 2u * 200000 - 1);
  EXPECT_EQ(text.substr(0, 5), "0,1,1");
  VArray *leaves = VArray_New(sizeof(PTNode *));
  ASSERT_EQ(PT_CollectBelow(95, list, leaves), 1);
  EXPECT_EQ(leaves->count, 200000u);
  EXPECT_EQ(PT_Text(VArray_Get<PTNode *>(leaves, 0)), "0");  // pre-order
  VArray_Free(&leaves, nullptr);
  PT_SubtreeFree(&list, PT_NodeFree);
}

TEST(PTree, WalksFindsAndCollections) {
  // 1( 2( 3, 4( 5 ) ), 6( 5 ), 5 )
  PTNode *root = Node(1, "", {Node(2, "", {Leaf(3, "a"), Node(4, "", {Leaf(5, "b")})}), Node(6, "", {Leaf(5, "c")}),
                              Leaf(5, "d")});
  EXPECT_EQ(PT_Text(PT_FindType(root, 5)), "b");
  EXPECT_EQ(PT_FindType(root, 9), nullptr);
  EXPECT_EQ(PT_Text(PT_FindTypeNotOf(root, 5, 4)), "c");  // not entering 4, its siblings still seen
  PTNode *ref = root->child->next;                         // 6: its subtree, then its later siblings
  EXPECT_EQ(PT_Text(PT_FindFrom(5, &ref)), "c");
  EXPECT_EQ(PT_Text(ref), "c");
  EXPECT_TRUE(PT_HasBelow(root, 1) == false && PT_HasBelow(root, 4));

  const struct {
    int blocking;
    bool outermost;
    std::string texts;
  } cases[] = {{-1, false, "bcd"}, {4, false, "cd"}, {6, false, "bd"}};
  for (const auto &c : cases) {
    VArray *v = VArray_New(sizeof(PTNode *));
    ASSERT_EQ(PT_CollectBelowNotOf(5, c.blocking, root, v), 1);
    std::string got;
    for (uint32_t i = 0; i < v->count; ++i) got += PT_Text(VArray_Get<PTNode *>(v, i));
    EXPECT_EQ(got, c.texts) << c.blocking;
    VArray_Free(&v, nullptr);
  }
  VArray *outer = VArray_New(sizeof(PTNode *));
  ASSERT_EQ(PT_CollectOutermost(2, root, outer), 1);
  EXPECT_EQ(outer->count, 1u);
  VArray_Free(&outer, nullptr);

  // A visitor pruning a node skips its children and its later siblings.
  struct Seen {
    std::vector<int> types;
  } seen;
  PT_Walk(root, [](PTNode *n, void *ctx) {
    static_cast<Seen *>(ctx)->types.push_back(n->type);
    return n->type == 2 ? PT_PRUNE : PT_GO;
  }, &seen);
  EXPECT_EQ(seen.types, (std::vector<int>{1, 2}));
  PT_SubtreeFree(&root, PT_NodeFree);
}

// A tree built in an arena takes the rewrites a parsed tree gets: leaves
// retexted, inner nodes turned into leaves, heap subtrees hung in, arena
// subtrees freed on their own. Every node and text stays readable until the
// root goes, and the root takes the arena with it (the sanitizer builds
// catch a node freed twice, read after its arena, or never freed).
TEST(PTree, ArenaTreesTakeRewritesAndGoWithTheirRoot) {
  PTArena *arena = PT_ArenaNew();
  ASSERT_NE(arena, nullptr);
  auto aleaf = [&](int type, const char *t) { return PT_Leaf(type, t, arena); };
  auto anode = [&](int type, const char *tmpl, std::vector<PTNode *> kids) {
    return PT_NodeStatic(type, tmpl, static_cast<int>(kids.size()), kids.data(), arena);
  };
  // A list long enough to need several of the arena's blocks.
  PTNode *list = aleaf(95, "0");
  for (int i = 1; i < 5000; ++i) list = anode(99, "\xFF\x01\x01,\xFF\x01\x02", {list, aleaf(95, "1")});
  PTNode *root = anode(1, "[\xFF\x01\x01|\xFF\x01\x02|\xFF\x01\x03]",
                       {anode(2, "(\xFF\x01\x01)", {aleaf(3, "x")}), aleaf(4, "y"), list});
  PT_AdoptArena(root, arena);
  ASSERT_TRUE(PT_SetText(root->child->next, "yy"));  // an arena leaf gets a heap text
  ASSERT_TRUE(PT_SetText(root->child, "z"));         // an arena inner node becomes a heap-text leaf
  ASSERT_TRUE(PT_SetText(root->child, "zz"));        // and that heap text is replaced
  // A heap subtree in place of the list's newest item; the item freed alone.
  PTNode *item = list->child->next;
  list->child->next = Node(7, "<\xFF\x01\x01>", {Leaf(8, "h")});
  PT_SubtreeFree(&item, PT_NodeFree);
  ASSERT_EQ(PT_Regenerate(root), 1);
  const std::string_view text = PT_Text(root);
  EXPECT_EQ(text.substr(0, 9), "[zz|yy|0,");
  EXPECT_EQ(text.substr(text.size() - 6), "1,<h>]");
  // Freeing a subtree of arena nodes from the middle leaves the rest whole.
  PTNode *inner = list->child;
  list->child = Leaf(95, "w");
  list->child->next = inner->next;
  inner->next = nullptr;
  PT_SubtreeFree(&inner, PT_NodeFree);
  ASSERT_EQ(PT_Regenerate(root), 1);
  EXPECT_EQ(PT_Text(root), "[zz|yy|w,<h>]");
  PT_SubtreeFree(&root, PT_NodeFree);
  EXPECT_EQ(root, nullptr);
}

TEST(PTree, VArrayGrowsAndChecks) {
  EXPECT_EQ(VArray_New(0), nullptr);
  VArray *a = VArray_New(sizeof(int));
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->capacity, 10u);
  for (int i = 0; i < 100000; ++i) ASSERT_EQ(VArray_Append(a, &i), 1);
  for (int i : {0, 9, 10, 11, 99999}) EXPECT_EQ(VArray_Get<int>(a, static_cast<uint32_t>(i)), i);
  VArray *b = VArray_New(sizeof(int));
  ASSERT_EQ(VArray_AppendAll(b, a), 1);
  EXPECT_EQ(b->count, 100000u);
  VArray *c = VArray_New(sizeof(long));
  EXPECT_EQ(VArray_AppendAll(c, a), 0);
  EXPECT_EQ(VArray_Append(nullptr, &c), 0);
  int calls = 0;
  static int *counter;
  counter = &calls;
  VArray_Free(&a, [](void *) { ++*counter; });
  EXPECT_EQ(calls, 100000);
  EXPECT_EQ(a, nullptr);
  VArray_Free(&b, nullptr);
  VArray_Free(&c, nullptr);
}

}  // namespace
