// Extended column attributes: compaction of an agent's list, the statement's
// set and its lookup. Text ownership is described in colattr.h.
#include "odbc/colattr.h"

#include <cstdlib>
#include <cstring>

#include "odbc/dsimpl.h"
#include "odbc/sqlstate.h"
#include "util/hashtab.h"

namespace {

bool SameValue(const ColAttr &a, const ColAttr &b) {
  if (a.kind != b.kind) return false;
  switch (a.kind) {
    case COLATTR_TEXT: return a.value.text == b.value.text;  // the pointer, not the text
    case COLATTR_INT:
    case COLATTR_INT2: return a.value.integer == b.value.integer;
    case COLATTR_DOUBLE: return a.value.real == b.value.real;  // a NaN never equals
    default: return false;
  }
}

void KeyBytes(int16_t attribute, int16_t column, unsigned char key[4]) {
  uint32_t k = ColAttrKey(attribute, column);
  for (int i = 0; i < 4; ++i) key[i] = uint8_t(k >> (8 * i));
}

char *DupText(const char *text) {
  size_t n = std::strlen(text) + 1;
  auto *copy = static_cast<char *>(DsMalloc(n));
  if (copy) std::memcpy(copy, text, n);
  return copy;
}

// One compaction pass over the list: calls take(i) for every record kept, in
// order, while take returns true.
template <class Take>
void Compact(int32_t count, const ColAttr *list, Take take) {
  bool inRun = false, hasRef = false;
  int16_t runAttr = 0;
  ColAttr ref{};
  for (int32_t i = 0; i < count; ++i) {
    const ColAttr &rec = list[i];
    if (rec.attribute < 0) continue;
    if (!inRun || rec.attribute != runAttr) {
      inRun = true;
      runAttr = rec.attribute;
      hasRef = false;
    }
    bool keep;
    if (rec.column == 0) {
      keep = true;
      ref = rec;  // a copy: moving the text out of rec later does not change it
      hasRef = true;
    } else {
      keep = !hasRef || !SameValue(rec, ref);
    }
    if (keep && !take(i)) return;
  }
}

}  // namespace

uint32_t ColAttrKey(int16_t attribute, int16_t column) {
  return uint32_t(uint16_t(attribute)) << 16 | uint16_t(column);
}

int ColAttrListCopy(int32_t count, ColAttr *list, int32_t *outCount, ColAttr **out, int mode) {
  if (!outCount || !out) return E_S1000;
  *outCount = 0;
  *out = nullptr;
  if (count <= 0 || !list) return 0;

  int32_t kept = 0;
  Compact(count, list, [&](int32_t) {
    ++kept;
    return true;
  });
  if (kept == 0) return 0;
  auto *copy = static_cast<ColAttr *>(DsCalloc(size_t(kept), sizeof(ColAttr)));
  if (!copy) return E_S1001;

  // Mode 2 only allocates (duplicates) and move mode never fails, so running
  // out of memory leaves the source list as it was.
  int32_t filled = 0;
  bool failed = false;
  Compact(count, list, [&](int32_t i) {
    if (filled == kept) return false;
    ColAttr &to = copy[filled];
    to = list[i];
    if (to.kind == COLATTR_TEXT && to.value.text) {
      if (mode == 2) {
        if (!(to.value.text = DupText(list[i].value.text))) {
          failed = true;
          return false;
        }
      } else {
        // Moved: the text is the copy's alone. The compaction compares with
        // its own copy of the reference record, so clearing here is safe.
        list[i].value.text = nullptr;
      }
    }
    ++filled;
    return true;
  });
  if (failed) {
    ColAttrListFree(copy, filled);
    return E_S1001;
  }
  *outCount = filled;
  *out = copy;
  return 0;
}

void ColAttrListFree(ColAttr *list, int32_t count) {
  if (!list) return;
  for (int32_t i = 0; i < count; ++i)
    if (list[i].kind == COLATTR_TEXT) std::free(list[i].value.text);
  std::free(list);
}

int ColAttrSetBuild(ColAttr *list, int32_t count, HashTable **set) {
  if (!set || (count > 0 && !list)) return E_S1000;
  *set = nullptr;
  HashTable *table = hash_create(kColAttrBuckets, 4);
  if (!table) return E_S1001;
  for (int32_t i = 0; i < count; ++i) {
    auto *entry = static_cast<ColAttr *>(DsMalloc(sizeof(ColAttr)));
    if (!entry) {
      ColAttrSetFree(table);
      return E_S1001;
    }
    *entry = list[i];
    unsigned char key[4];
    KeyBytes(entry->attribute, entry->column, key);
    auto *earlier = static_cast<ColAttr *>(hash_find(table, key));
    if (!hash_insert(table, key, entry)) {
      std::free(entry);  // its text is still the list's
      ColAttrSetFree(table);
      return E_S1001;
    }
    if (entry->kind == COLATTR_TEXT) list[i].value.text = nullptr;  // now the entry's
    if (earlier) ColAttrDelete(earlier, key, nullptr);
  }
  *set = table;
  return 0;
}

int ColAttrLookup(HashTable *set, int16_t attribute, int16_t column, int32_t *outInt, const char **outText,
                  double *outDouble) {
  if (!set) return 0;
  unsigned char key[4];
  KeyBytes(attribute, column, key);
  auto *rec = static_cast<const ColAttr *>(hash_find(set, key));
  if (!rec) {
    KeyBytes(attribute, 0, key);
    rec = static_cast<const ColAttr *>(hash_find(set, key));
  }
  if (!rec) return 0;
  if ((rec->column != column && rec->column != 0) || rec->attribute != attribute || rec->attribute < 0) return 0;
  switch (rec->kind) {
    case COLATTR_INT:
    case COLATTR_INT2:
      if (!outInt) return 0;
      *outInt = rec->value.integer;
      return 1;
    case COLATTR_TEXT:
      if (!outText) return 0;
      *outText = rec->value.text;
      return 1;
    case COLATTR_DOUBLE:
      if (!outDouble) return 0;
      *outDouble = rec->value.real;
      return 1;
    default:
      return 0;
  }
}

void ColAttrDelete(void *value, const void *, void *) {
  auto *rec = static_cast<ColAttr *>(value);
  if (!rec) return;
  if (rec->kind == COLATTR_TEXT) std::free(rec->value.text);
  std::free(rec);
}

void ColAttrSetFree(HashTable *set) {
  if (!set) return;
  hash_walk(set, ColAttrDelete, nullptr);
  hash_destroy(set);
}
