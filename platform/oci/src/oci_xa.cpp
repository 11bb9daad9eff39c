// Oracle's XA library entry points. The stand-in has no distributed
// transaction support yet: every verb of its switch answers XAER_RMERR and
// there is no XA session to hand out.
#include "oci_int.h"

namespace {

int xa_fail_open(char*, int, long) { return XAER_RMERR; }
int xa_fail_close(char*, int, long) { return XAER_RMERR; }
int xa_fail_xid(XID*, int, long) { return XAER_RMERR; }
int xa_fail_recover(XID*, long, int, long) { return XAER_RMERR; }
int xa_fail_complete(int*, int*, int, long) { return XAER_RMERR; }

}  // namespace

// Declared extern "C" in oci.h; defined here.
__attribute__((visibility("default"))) struct xa_switch_t xaosw = {
    "Oracle_XA", TMNOMIGRATE, 0L,
    xa_fail_open, xa_fail_close, xa_fail_xid, xa_fail_xid, xa_fail_xid,
    xa_fail_xid, xa_fail_xid, xa_fail_recover, xa_fail_xid, xa_fail_complete};

OCI_EXPORT OCIEnv* xaoEnv(OraText* dbname) { return nullptr; }
OCI_EXPORT OCISvcCtx* xaoSvcCtx(OraText* dbname) { return nullptr; }
