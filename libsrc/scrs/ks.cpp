// The keyset's life cycle.
#include "scrs/ks.h"

#include <cstdlib>

#include "odbc/dataset.h"
#include "odbc/sqlstate.h"
#include "scrs/ptree.h"

int KS_New(KeySet **out) {
  if (!out) return E_S1000;
  *out = nullptr;
  auto *ks = static_cast<KeySet *>(calloc(1, sizeof(KeySet)));
  if (!ks) return E_S1001;
  ks->keys = static_cast<Dataset *>(calloc(1, sizeof(Dataset)));
  if (!ks->keys) {
    free(ks);
    return E_S1001;
  }
  DSC_Init(&ks->cache);
  *out = ks;
  return 0;
}

void KS_Close(KeySet *ks) {
  if (!ks) return;
  DatasetFree(ks->keys);
  free(ks->rowStatus);
  ks->rowStatus = nullptr;
  DSC_Close(&ks->cache);
}

void KS_Reset(KeySet *ks) {
  if (!ks) return;
  KS_Close(ks);
  VArray_Free(&ks->keyCols, nullptr);
}

void KS_Free(KeySet **ks) {
  if (!ks || !*ks) return;
  KS_Reset(*ks);
  free((*ks)->keys);
  free(*ks);
  *ks = nullptr;
}
