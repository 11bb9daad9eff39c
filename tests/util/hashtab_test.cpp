#include "util/hashtab.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

namespace {

struct Key16 {
  unsigned char b[16];
  explicit Key16(int i) {
    memset(b, 0, sizeof b);
    memcpy(b, &i, sizeof i);
  }
};

TEST(HashTable, InsertTwiceKeepsOneNodeWithTheSecondValue) {
  HashTable *t = hash_create(101, 4);
  ASSERT_NE(t, nullptr);
  int32_t key = 7;
  int v1 = 1, v2 = 2;
  HashNode *n1 = hash_insert(t, &key, &v1);
  HashNode *n2 = hash_insert(t, &key, &v2);
  EXPECT_EQ(n1, n2);
  EXPECT_EQ(t->entries, 1);
  EXPECT_EQ(hash_find(t, &key), &v2);
  int32_t other = 8;
  EXPECT_EQ(hash_find(t, &other), nullptr);
  hash_destroy(t);
}

TEST(HashTable, DeleteAbsentAndOnlyKey) {
  HashTable *t = hash_create(101, 16);
  Key16 k(1), absent(2);
  int v = 0;
  hash_insert(t, k.b, &v);
  EXPECT_EQ(hash_delete(t, absent.b), 0);
  EXPECT_EQ(t->entries, 1);
  EXPECT_EQ(hash_delete(t, k.b), 1);
  EXPECT_EQ(t->entries, 0);
  EXPECT_EQ(t->collisions, 0);
  EXPECT_EQ(hash_find(t, k.b), nullptr);
  EXPECT_EQ(hash_delete(t, k.b), 0);
  hash_destroy(t);
}

// With one bucket every key collides: the counters and chain handling show.
TEST(HashTable, ZeroBucketsGiveOneUsableBucketAndCountCollisions) {
  for (int32_t buckets : {0, -5}) {
    HashTable *t = hash_create(buckets, 16);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->bucketCount, 1);
    int vals[10];
    for (int i = 0; i < 10; ++i) hash_insert(t, Key16(i).b, &vals[i]);
    EXPECT_EQ(t->entries, 10);
    EXPECT_EQ(t->collisions, 9);
    for (int i : {0, 5, 9}) EXPECT_EQ(hash_delete(t, Key16(i).b), 1);  // tail, middle, head
    EXPECT_EQ(t->entries, 7);
    EXPECT_EQ(t->collisions, 6);
    for (int i = 0; i < 10; ++i)
      EXPECT_EQ(hash_find(t, Key16(i).b), (i == 0 || i == 5 || i == 9) ? nullptr : &vals[i]) << i;
    hash_destroy(t);
  }
}

TEST(HashTable, ManyKeysAgainstAReferenceMapAndWalk) {
  HashTable *t = hash_create(101, 16);
  std::map<int, int *> ref;
  for (int i = 0; i < 2000; ++i) {
    auto *v = static_cast<int *>(malloc(sizeof(int)));
    *v = i;
    ASSERT_NE(hash_insert(t, Key16(i * 7919).b, v), nullptr);
    ref[i * 7919] = v;
  }
  for (int i = 0; i < 2000; i += 3) {
    EXPECT_EQ(hash_delete(t, Key16(i * 7919).b), 1);
    free(ref[i * 7919]);
    ref.erase(i * 7919);
  }
  EXPECT_EQ(t->entries, static_cast<int32_t>(ref.size()));
  int nonEmpty = 0;
  for (int32_t b = 0; b < t->bucketCount; ++b) nonEmpty += t->buckets[b] != nullptr;
  EXPECT_EQ(t->collisions, t->entries - nonEmpty);
  for (auto &[k, v] : ref) EXPECT_EQ(hash_find(t, Key16(k).b), v);
  // Walk frees every value; destroy then frees the rest without touching them.
  int walked = 0;
  hash_walk(
      t,
      [](void *value, const void *key, void *ud) {
        int k;
        memcpy(&k, key, sizeof k);
        EXPECT_EQ(*static_cast<int *>(value) * 7919, k);
        free(value);
        ++*static_cast<int *>(ud);
      },
      &walked);
  EXPECT_EQ(walked, static_cast<int>(ref.size()));
  hash_destroy(t);
}

}  // namespace
