// Agent exchange helpers.
#include "odbc/agentx.h"

#include <cstdlib>
#include <cstring>

#include "drv_ora8/o-sql.h"
#include "odbc/drvops.h"

namespace {

// A literal's parse state: the text after an optional leading quote, split
// by strtok_r so that concurrent parses on other threads do not interfere.
struct Tokens {
  char *rest = nullptr;
  char *first;
  explicit Tokens(char *text) : first(text) {
    if (first && *first == '\'') ++first;
  }
  // The next token up to one of the separators; null when none is left.
  const char *Next(const char *separators) {
    char *start = first;
    first = nullptr;
    if (!start && !rest) return nullptr;
    return strtok_r(start, separators, &rest);
  }
};

// The decimal value at the start of a token (atol rules); 0 for a missing token.
long Number(const char *token) { return token ? strtol(token, nullptr, 10) : 0; }

// Reads one field; false once the tokens have run out.
template <class T>
bool Field(Tokens &t, const char *separators, T *field) {
  const char *token = t.Next(separators);
  if (!token) return false;
  *field = static_cast<T>(Number(token));
  return true;
}

}  // namespace

void ParseDateLiteral(SQL_DATE_STRUCT *out, char *text) {
  *out = SQL_DATE_STRUCT{};
  if (!text) return;
  Tokens t(text);
  Field(t, "-/", &out->year) && Field(t, "-/", &out->month) && Field(t, "-/", &out->day);
}

void ParseTimeLiteral(SQL_TIME_STRUCT *out, char *text) {
  *out = SQL_TIME_STRUCT{};
  if (!text) return;
  Tokens t(text);
  Field(t, ":", &out->hour) && Field(t, ":", &out->minute) && Field(t, ":", &out->second);
}

void ParseTimestampLiteral(SQL_TIMESTAMP_STRUCT *out, char *text) {
  *out = SQL_TIMESTAMP_STRUCT{};
  if (!text) return;
  Tokens t(text);
  Field(t, "-/", &out->year) && Field(t, "-/", &out->month) && Field(t, "-/ ", &out->day) &&
      Field(t, ":", &out->hour) && Field(t, ":", &out->minute) && Field(t, ":.", &out->second) &&
      Field(t, ".", &out->fraction);
}

void RequestFree(SqlRequest *req) {
  if (!req) return;
  free(req->text);
  req->text = nullptr;
  free(req->translated);
  req->translated = nullptr;
}

void DrvMsgListFree(DrvMsgList *list) {
  if (!list) return;
  if (list->messages) {
    for (uint32_t i = 0; i < list->count; ++i) free(list->messages[i]);
    free(list->messages);
  }
  list->messages = nullptr;
  list->count = 0;
}

int StrCopyOut(const char *src, char *buf, uint16_t size, int16_t *len) {
  if (!src || !buf) return -1;
  const size_t n = strlen(src);
  if (size >= n + 1) {
    memcpy(buf, src, n + 1);
    if (len) *len = static_cast<int16_t>(n);
    return 0;
  }
  if (size == 0) return -1;
  memcpy(buf, src, size - 1u);
  buf[size - 1] = '\0';
  if (len) *len = static_cast<int16_t>(size - 1);
  return -1;
}

int StrCopyOutLen(const char *src, char *buf, uint16_t size, int16_t *len) {
  if (!src) return -1;
  const size_t n = strlen(src);
  if (len) *len = static_cast<int16_t>(n);
  if (!buf) return 0;
  if (size >= n + 1) {
    memcpy(buf, src, n + 1);
    return 0;
  }
  if (size == 0) return -1;
  memcpy(buf, src, size - 1u);
  buf[size - 1] = '\0';
  return -1;
}
