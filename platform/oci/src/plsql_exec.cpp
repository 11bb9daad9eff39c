// The interpreter of anonymous blocks and stored units.
#include "oci_int.h"
#include "plsql.h"

namespace ocl {

int pl_execute(Session*, Stmt*, Error* e, uint32_t, uint32_t, uint32_t) { return err_set(e, 3001), 3001; }

}  // namespace ocl
