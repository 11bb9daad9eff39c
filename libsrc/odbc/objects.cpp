// Diagnostic message lists shared by the four handle objects.
#include "odbc/objects.h"

#include <cstdlib>
#include <cstring>

void MsgListFree(DiagMsg *first) {
  while (first) {
    DiagMsg *next = first->next;
    free(first->text);
    free(first);
    first = next;
  }
}

void MsgListAppend(DiagMsg **head, const char *text, int32_t native) {
  auto *node = static_cast<DiagMsg *>(calloc(1, sizeof(DiagMsg)));
  if (!node) return;
  node->text = strdup(text ? text : "");
  if (!node->text) {
    free(node);
    return;
  }
  node->native = native;
  DiagMsg **tail = head;
  while (*tail) tail = &(*tail)->next;
  *tail = node;
}

char *MsgListPop(DiagMsg **head, int32_t *native) {
  DiagMsg *node = *head;
  if (!node) return nullptr;
  *head = node->next;
  char *text = node->text;
  if (native) *native = node->native;
  free(node);
  return text;
}
