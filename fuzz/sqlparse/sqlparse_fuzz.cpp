// One input: its tokens, its analysis with every list and rewrite (each
// rewrite on a fresh analysis), and its parameter probes. A regenerated
// text must regenerate the same a second time.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "scrs/sc_s.h"
#include "scrs/scr.h"
#include "scrs/sqlscan.h"

namespace {

void Lists(AnalysedSQL *a) {
  VArray *tables = VArray_New(sizeof(TableRef));
  SCR_TablesGet(a, tables, 1);
  VArray_Free(&tables, SCR_TableRefFree);
  VArray *cols = VArray_New(sizeof(ScsColDesc));
  SCR_SelectColsGet(a, cols);
  VArray_Free(&cols, nullptr);
  VArray *order = VArray_New(sizeof(ScsOrderCol));
  if (SCR_OrderColsGet(a, order) == 0) SCR_OrderNumbersResolve(a, order);
  VArray_Free(&order, nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string sql(reinterpret_cast<const char *>(data), size);
  const char *text = sql.c_str();  // the analysis reads up to the first NUL, as its callers pass it
  std::vector<ScsqlToken> toks;
  scsql_Tokens(text, &toks);

  int (*const rewrites[])(AnalysedSQL *) = {nullptr, SCR_SelectListMark, SCR_WhereMark, SCR_OrderByMark,
                                            SCR_OrderByReverse};
  for (auto rewrite : rewrites) {
    AnalysedSQL a;
    SCR_AnalysedInit(&a);
    if (SCR_AnalyseSQL(&a, text, 0, 0) == 0) {
      if (rewrite) rewrite(&a);
      Lists(&a);
      std::string once(PT_Text(a.root));
      if (PT_Regenerate(a.root) && std::string(PT_Text(a.root)) != once) abort();
    }
    SCR_AnalysedFree(&a);
  }

  DescParamSQL d;
  SCR_DescParamSQLInit(&d, "to_char(NULL)");
  SCR_DescParamSQLBuild(&d, text);
  SCR_DescParamSQLFree(&d);
  return 0;
}
