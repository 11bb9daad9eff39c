#pragma once
// Chained hash table mapping fixed-length binary keys to caller-owned
// pointers. The table copies keys; values are never freed by it.
#include <cstdint>

struct HashNode {
  unsigned char *key;  // the table's own copy of the key's bytes
  void *value;
  HashNode *next;
};

struct HashTable {
  HashNode **buckets;
  int32_t bucketCount;  // at least 1
  int32_t keyLength;
  int32_t entries;
  int32_t collisions;  // entries minus non-empty buckets
};

using HashWalkFn = void (*)(void *value, const void *key, void *userData);

// A bucket count of 0 or less is taken as 1; NULL when out of memory.
HashTable *hash_create(int32_t bucketCount, int32_t keyLength);
// Frees nodes, key copies, buckets and the table; not the values.
void hash_destroy(HashTable *table);
// Calls fn for every entry, bucket by bucket, each chain from its head. fn
// must not insert or delete. Returns 0.
int hash_walk(HashTable *table, HashWalkFn fn, void *userData);
void *hash_find(HashTable *table, const void *key);
// Replaces the value of a present key (the old value is not freed) or links
// a new node at the head of its chain; NULL when out of memory (no change).
HashNode *hash_insert(HashTable *table, const void *key, void *value);
// 1 when the key was present and its node removed, else 0.
int hash_delete(HashTable *table, const void *key);
