#include "util/hashtab.h"

#include <cstdlib>
#include <cstring>

namespace {

uint32_t BucketOf(const HashTable *t, const void *key) {
  const auto *p = static_cast<const signed char *>(key);
  uint32_t h = 0;
  for (int32_t i = 0; i < t->keyLength; ++i) {
    h ^= static_cast<uint32_t>(static_cast<int32_t>(p[i]) * 23);
    // Mix between bytes so that keys differing only in byte order spread.
    h = (h << 5 | h >> 27) * 0x9E3779B1u;
  }
  return h % static_cast<uint32_t>(t->bucketCount);
}

}  // namespace

HashTable *hash_create(int32_t bucketCount, int32_t keyLength) {
  if (bucketCount <= 0) bucketCount = 1;
  auto *t = static_cast<HashTable *>(calloc(1, sizeof(HashTable)));
  if (t == nullptr) return nullptr;
  t->buckets = static_cast<HashNode **>(calloc(static_cast<size_t>(bucketCount), sizeof(HashNode *)));
  if (t->buckets == nullptr) {
    free(t);
    return nullptr;
  }
  t->bucketCount = bucketCount;
  t->keyLength = keyLength;
  return t;
}

void hash_destroy(HashTable *table) {
  if (table == nullptr) return;
  for (int32_t b = 0; b < table->bucketCount; ++b) {
    HashNode *n = table->buckets[b];
    while (n != nullptr) {
      HashNode *next = n->next;
      free(n->key);
      free(n);
      n = next;
    }
  }
  free(table->buckets);
  free(table);
}

int hash_walk(HashTable *table, HashWalkFn fn, void *userData) {
  for (int32_t b = 0; b < table->bucketCount; ++b)
    for (HashNode *n = table->buckets[b]; n != nullptr; n = n->next) fn(n->value, n->key, userData);
  return 0;
}

void *hash_find(HashTable *table, const void *key) {
  const size_t len = static_cast<size_t>(table->keyLength);
  for (HashNode *n = table->buckets[BucketOf(table, key)]; n != nullptr; n = n->next)
    if (memcmp(n->key, key, len) == 0) return n->value;
  return nullptr;
}

HashNode *hash_insert(HashTable *table, const void *key, void *value) {
  const size_t len = static_cast<size_t>(table->keyLength);
  HashNode **head = &table->buckets[BucketOf(table, key)];
  for (HashNode *n = *head; n != nullptr; n = n->next) {
    if (memcmp(n->key, key, len) == 0) {
      n->value = value;
      return n;
    }
  }
  auto *node = static_cast<HashNode *>(malloc(sizeof(HashNode)));
  auto *copy = static_cast<unsigned char *>(malloc(len == 0 ? 1 : len));
  if (node == nullptr || copy == nullptr) {
    free(node);
    free(copy);
    return nullptr;
  }
  memcpy(copy, key, len);
  node->key = copy;
  node->value = value;
  node->next = *head;
  if (*head != nullptr) ++table->collisions;
  *head = node;
  ++table->entries;
  return node;
}

int hash_delete(HashTable *table, const void *key) {
  const size_t len = static_cast<size_t>(table->keyLength);
  HashNode **link = &table->buckets[BucketOf(table, key)];
  HashNode **head = link;
  for (; *link != nullptr; link = &(*link)->next) {
    HashNode *n = *link;
    if (memcmp(n->key, key, len) != 0) continue;
    *link = n->next;
    --table->entries;
    if (*head != nullptr) --table->collisions;
    free(n->key);
    free(n);
    return 1;
  }
  return 0;
}
