// The initial SQL file of a data source: read whole, translated like any
// SQL the driver prepares, and executed once right after logon. Its failure
// is logged and never fails the connect.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "drv_ora8/db-private.h"
#include "util/log.h"
#include "util/strutil.h"
#include "util/utalloc.h"

int32_t InitialSQL_Run(DB_Conn *dbc, const char *fileName) {
  if (!dbc || !fileName) return -1;
  const std::string path = path_set_ext(fileName, "sql", PATH_EXT_ADD);
  FILE *f = fopen(path.c_str(), "rb");
  if (!f) {
    LOG(LOG_ERR, "unable to read from initial SQL file %s (%m)", path.c_str());
    return -1;
  }
  int32_t result = -1;
  char *text = nullptr;
  SqlRequest req{};
  struct stat st;
  if (fstat(fileno(f), &st) != 0) {
    LOG(LOG_ERR, "stat failed on %s (%m)", path.c_str());
  } else {
    size_t size = static_cast<size_t>(st.st_size);
    text = static_cast<char *>(s_alloc(size + 1, 1));
    if (fread(text, 1, size, f) < size) {
      LOG(LOG_ERR, "read error on %s (%m)", path.c_str());
    } else if (Request(&req, text, dbc->conn->opts.emptyStringIsntNull != 0) != 0) {
      LOG(LOG_ERR, "preparation of %s failed", path.c_str());
    } else if (DB_Conn_ExecSQL(dbc, req.translated) != 0) {
      LOG(LOG_ERR, "execution of %s failed", path.c_str());
    } else {
      result = 0;
    }
  }
  SqlRequest_Free(&req);
  free(text);
  fclose(f);
  return result;
}
