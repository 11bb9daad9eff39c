// The resource dispenser: one per enlisted connection. It opens the
// connection's XA session, registers it with the coordinator's XA helper as
// a resource manager, starts the transaction's branch and enlists; its inner
// resource object then maps the coordinator's prepare, commit, abort and
// TMDown onto the branch's XA verbs. Between a successful prepare and the
// outcome it holds the connection's call lock, so that the application
// cannot use the connection while the branch is in doubt.
#include "xa/oletx.h"

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "txcoord.h"
#include "xa.h"

#include "odbc/drvops.h"
#include "odbc/odbcinst.h"
#include "util/osthread.h"
#include "xa/oletx_trace.h"
#include "xa/xaswitch.h"

namespace {

using txc::HRESULT;

constexpr int32_t kFailed = 0xFFFF;  // low 16 bits SQL_ERROR
constexpr HRESULT kE_XaFailed = static_cast<HRESULT>(0x80044001u);
constexpr HRESULT kE_NoXaInfo = static_cast<HRESULT>(0x80044006u);

enum State : int32_t { kIdle = 0, kStarted = 1, kEnded = 2, kPrepared = 3, kHeuristic = 5 };

bool Heuristic(int xa) { return xa >= XA_HEURMIX && xa <= XA_HEURHAZ; }

// ---- The coordinator library ---------------------------------------------------------

using Accessor = HRESULT (*)(const char *, const char *, const txc::Guid *, uint32_t, uint16_t, void *, void **);
using AllocatorGetter = HRESULT (*)(txc::IUnknown **);

std::mutex g_libLock;
void *g_lib = nullptr;

void *CoordinatorSym(const char *name) {
  std::lock_guard<std::mutex> g(g_libLock);
  if (!g_lib) g_lib = dlopen(TXC_LIBRARY_NAME, RTLD_NOW | RTLD_GLOBAL);
  return g_lib ? dlsym(g_lib, name) : nullptr;
}

// ---- Layer state -------------------------------------------------------------------------

std::mutex g_layerLock;
bool g_started = false;
txc::IUnknown *g_allocator = nullptr;

// Resource-manager ids: a counter, so two dispensers never share one.
std::atomic<int32_t> g_nextRmid{1};

}  // namespace

// ---- The dispenser -------------------------------------------------------------------------

struct COdbcResourceDispenserBase {
  virtual HRESULT QueryInterface(const txc::Guid &iid, void **out) = 0;
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;
  virtual void Destroy() = 0;
  virtual HRESULT RMConnect() = 0;
  virtual HRESULT RMEnlist() = 0;
  virtual HRESULT GetInterface(COdbcResourceDispenser **out) = 0;
  virtual ~COdbcResourceDispenserBase() = default;
};

class CImpITransactionResourceAsync final : public txc::ITransactionResourceAsync {
 public:
  explicit CImpITransactionResourceAsync(COdbcResourceDispenser *outer) : outer_(outer) {}
  HRESULT QueryInterface(const txc::Guid &iid, void **out) override;
  uint32_t AddRef() override;
  uint32_t Release() override;
  HRESULT PrepareRequest(int32_t fRetaining, uint32_t grfRM, int32_t fWantMoniker, int32_t fSinglePhase) override;
  HRESULT CommitRequest(uint32_t grfRM, void *newUow) override;
  HRESULT AbortRequest(void *reason, int32_t fRetaining, void *newUow) override;
  HRESULT TMDown() override;
  virtual ~CImpITransactionResourceAsync() = default;

 private:
  COdbcResourceDispenser *outer_;
};

struct COdbcResourceDispenser final : COdbcResourceDispenserBase {
  COdbcResourceDispenser(txc::ITransaction *tx, uint32_t server, uint32_t conn, DrvObject *drv, OsCritSec *connLock,
                         OsSemaphore *callLock, const char *text);
  ~COdbcResourceDispenser() override;

  HRESULT QueryInterface(const txc::Guid &iid, void **out) override;
  uint32_t AddRef() override;
  uint32_t Release() override;
  void Destroy() override { delete this; }
  HRESULT RMConnect() override;
  HRESULT RMEnlist() override;
  HRESULT GetInterface(COdbcResourceDispenser **out) override;

  // The XA verbs of the branch, on the connection's operation stack.
  int XaEnd(long flags) { return DrvCall<&DrvOps::DRV_XaEnd>(drv, m_hConnect, &xid, rmid, static_cast<int32_t>(flags)); }
  int XaRollback() { return DrvCall<&DrvOps::DRV_XaRollback>(drv, m_hConnect, &xid, rmid, 0); }
  // Enters or leaves the prepared state, taking or giving back the call lock
  // with it: the lock is held exactly while prepared.
  void SetState(int32_t next);
  bool ResolveDriverFile();

  std::atomic<int32_t> m_cRef{0};
  OsCritSec cs{};
  CImpITransactionResourceAsync *inner = nullptr;
  OsCritSec *connLock;
  OsSemaphore *callLock;
  std::string connText;
  uint32_t agentServer;
  uint32_t m_hConnect;
  DrvObject *drv;
  int32_t rmid = 0;
  int32_t opened = 0;
  std::string xaInfo;
  int32_t state = kIdle;
  txc::ITransaction *transaction;
  uint32_t cookie = 0;
  XID xid{};
  txc::IDtcToXaHelperSinglePipe *helper = nullptr;
  txc::ITransactionEnlistmentAsync *enlistment = nullptr;
  std::string driverFile;
  bool connectionGone = false;
};

namespace {

// The live dispensers. Never destroyed: the library's detach, which ends
// them, may run after its static objects are gone.
std::mutex g_listLock;
std::vector<COdbcResourceDispenser *> &Dispensers() {
  static auto *list = new std::vector<COdbcResourceDispenser *>;
  return *list;
}

struct CsGuard {
  OsCritSec &cs;
  explicit CsGuard(OsCritSec &c) : cs(c) { cs.Enter(); }
  ~CsGuard() { cs.Leave(); }
};

}  // namespace

COdbcResourceDispenser::COdbcResourceDispenser(txc::ITransaction *tx, uint32_t server, uint32_t conn, DrvObject *d,
                                               OsCritSec *cl, OsSemaphore *call, const char *text)
    : connLock(cl), callLock(call), connText(text ? text : ""), agentServer(server), m_hConnect(conn), drv(d),
      transaction(tx) {
  OleTx_Trace("COdbcResourceDispenser::COdbcResourceDispenser()\n");
  inner = new CImpITransactionResourceAsync(this);
  cs.Init();
  std::lock_guard<std::mutex> g(g_listLock);
  Dispensers().push_back(this);
}

COdbcResourceDispenser::~COdbcResourceDispenser() {
  OleTx_Trace("COdbcResourceDispenser::~COdbcResourceDispenser()\n");
  // A branch still open is ended and rolled back: nobody will finish it. A
  // prepared one stays for recovery, but the connection is given back. When
  // the layer ends at unload, the connections may be gone already: their
  // logoff has ended what the branch held.
  if (!connectionGone) {
    if (state == kStarted) XaEnd(TMFAIL);
    if (state == kStarted || state == kEnded) XaRollback();
    if (state == kPrepared) callLock->Release();
  }
  state = kIdle;
  if (opened && !connectionGone) {
    std::string info = xaInfo.substr(0, 256);
    DrvCall<&DrvOps::DRV_XaClose>(drv, m_hConnect, info.c_str(), rmid, 0);
  }
  if (cookie != 0 && helper) helper->ReleaseRMCookie(cookie, 1);
  cookie = 0;
  if (enlistment) enlistment->Release();
  if (helper) helper->Release();
  delete inner;
  cs.Delete();
}

HRESULT COdbcResourceDispenser::QueryInterface(const txc::Guid &iid, void **out) {
  OleTx_Trace("COdbcResourceDispense::QueryInterface()\n");
  if (!out) return OleTx_TraceHResult(txc::kE_INVALIDARG);
  *out = nullptr;
  if (iid == txc::kIID_IUnknown)
    *out = static_cast<COdbcResourceDispenserBase *>(this);
  else if (iid == txc::kIID_ITransactionResourceAsync)
    *out = static_cast<txc::ITransactionResourceAsync *>(inner);
  else
    return OleTx_TraceHResult(txc::kE_NOINTERFACE);
  AddRef();
  return OleTx_TraceHResult(txc::kS_OK);
}

uint32_t COdbcResourceDispenser::AddRef() {
  OleTx_Trace("COdbcResourceDispenser::AddRef(), this=%p, m_hConnect=%lX, m_cRef=%d\n", static_cast<void *>(this),
              static_cast<unsigned long>(m_hConnect), m_cRef.load() + 1);
  return OleTx_TraceCount(static_cast<uint32_t>(++m_cRef));
}

uint32_t COdbcResourceDispenser::Release() {
  OleTx_Trace("COdbcResourceDispenser::Release(), this=%p, m_hConnect=%lX, m_cRef=%d\n", static_cast<void *>(this),
              static_cast<unsigned long>(m_hConnect), m_cRef.load() - 1);
  const int32_t left = --m_cRef;
  if (left == 0) {
    {
      std::lock_guard<std::mutex> g(g_listLock);
      auto &list = Dispensers();
      auto it = std::find(list.begin(), list.end(), this);
      if (it != list.end()) list.erase(it);
    }
    Destroy();
  }
  return OleTx_TraceCount(static_cast<uint32_t>(left));
}

HRESULT COdbcResourceDispenser::GetInterface(COdbcResourceDispenser **out) {
  if (!out) return txc::kE_INVALIDARG;
  *out = this;
  return txc::kS_OK;
}

void COdbcResourceDispenser::SetState(int32_t next) {
  if (next == kPrepared && state != kPrepared) callLock->Wait();
  if (next != kPrepared && state == kPrepared) callLock->Release();
  state = next;
}

// The library unixODBC loads for the data source: its "Driver" value, or,
// when that names a driver of odbcinst.ini, that driver's library. Taken
// as it is written.
bool COdbcResourceDispenser::ResolveDriverFile() {
  char dsn[256];
  if (!xa_info_dsn(connText.c_str(), dsn)) return false;
  char value[1024] = "";
  int n = OdbcInstGetPrivateProfileString(dsn, "Driver", "", value, sizeof value, "odbc.ini");
  if (n <= 0 || value[0] == '\0') return false;
  if (!std::strchr(value, '/')) {
    char lib[1024] = "";
    n = OdbcInstGetPrivateProfileString(value, "Driver", "", lib, sizeof lib, "odbcinst.ini");
    if (n <= 0 || lib[0] == '\0') return false;
    driverFile = lib;
  } else {
    driverFile = value;
  }
  return true;
}

HRESULT COdbcResourceDispenser::RMConnect() {
  HRESULT hr;
  txc::IUnknown *tm = nullptr;
  txc::IDtcToXaHelperSinglePipe *pipe = nullptr;
  {
    CsGuard g(cs);
    OleTx_Trace("COdbcResourceDispenser::RMConnect()\n");
    auto get = reinterpret_cast<Accessor>(CoordinatorSym("TxcGetTransactionManager"));
    hr = get ? get(nullptr, nullptr, &txc::kIID_IUnknown, 0, 0, nullptr, reinterpret_cast<void **>(&tm))
             : txc::kXACT_E_TMNOTAVAILABLE;
    if (hr >= 0 && !tm) hr = txc::kE_FAIL;
    if (hr >= 0) hr = tm->QueryInterface(txc::kIID_IDtcToXaHelperSinglePipe, reinterpret_cast<void **>(&pipe));
    if (hr >= 0 && !pipe) hr = txc::kE_NOINTERFACE;
    if (hr >= 0) {
      rmid = g_nextRmid.fetch_add(1);
      char dsn[256];
      char info[256];
      if (!xa_info_dsn(connText.c_str(), dsn) || !xa_dsn_xainfo(dsn, info, sizeof info)) {
        hr = kE_NoXaInfo;
      } else {
        xaInfo = info;
        int rc = DrvCall<&DrvOps::DRV_XaOpen>(drv, m_hConnect, 1, xaInfo.c_str(), rmid, 0);
        if (rc != 0) hr = kE_XaFailed;
        else opened = 1;
      }
    }
    if (hr >= 0 && !ResolveDriverFile()) hr = txc::kE_FAIL;
    if (hr >= 0) hr = pipe->XARMCreate(connText.c_str(), driverFile.c_str(), &cookie);
    if (pipe) {
      if (hr >= 0) helper = pipe;
      else pipe->Release();
    }
    if (tm) tm->Release();
  }
  return OleTx_TraceHResult(hr);
}

HRESULT COdbcResourceDispenser::RMEnlist() {
  HRESULT hr;
  {
    CsGuard g(cs);
    OleTx_Trace("COdbcResourceDispenser::RMEnlist()\n");
    if (!helper) {
      hr = txc::kE_FAIL;
    } else {
      hr = helper->ConvertTridToXID(transaction, cookie, &xid);
      if (hr >= 0) {
        if (DrvCall<&DrvOps::DRV_XaStart>(drv, m_hConnect, &xid, rmid, 0) != 0) {
          hr = kE_XaFailed;
        } else {
          state = kStarted;
          hr = helper->EnlistWithRM(cookie, transaction, inner, &enlistment);
        }
      }
    }
  }
  return OleTx_TraceHResult(hr);
}

// ---- The resource object ---------------------------------------------------------------------

HRESULT CImpITransactionResourceAsync::QueryInterface(const txc::Guid &iid, void **out) {
  return outer_->QueryInterface(iid, out);
}
uint32_t CImpITransactionResourceAsync::AddRef() { return outer_->AddRef(); }
uint32_t CImpITransactionResourceAsync::Release() { return outer_->Release(); }

HRESULT CImpITransactionResourceAsync::PrepareRequest(int32_t, uint32_t, int32_t, int32_t fSinglePhase) {
  COdbcResourceDispenser &d = *outer_;
  HRESULT hr;
  {
    CsGuard g(d.cs);
    OleTx_Trace("CImpITransactionResourceAsync::PrepareRequest(fSinglePhase=%d)\n", fSinglePhase);
    // The call lock is taken before the branch ends, so that no call of the
    // application slips in between the end and the prepare, and given back
    // when the branch does not stay prepared.
    const int32_t before = d.state;
    if (before != kPrepared) d.callLock->Wait();
    d.state = kPrepared;
    int xa = 0;
    if (before == kStarted) {
      xa = d.XaEnd(TMSUCCESS);
      if (xa == 0) d.state = kEnded;
    }
    int32_t next = before == kStarted && xa != 0 ? kStarted : kIdle;
    if (xa == 0) {
      xa = DrvCall<&DrvOps::DRV_XaPrepare>(d.drv, d.m_hConnect, &d.xid, d.rmid, 0);
      next = xa == 0 ? kPrepared : xa == XAER_RMERR ? kEnded : kIdle;
    }
    if (next != kPrepared) d.callLock->Release();
    d.state = next;
    hr = xa == 0 ? txc::kS_OK : xa == XA_RDONLY ? txc::kXACT_S_READONLY : txc::kE_FAIL;
    if (d.enlistment) d.enlistment->PrepareRequestDone(hr, nullptr, nullptr);
  }
  return OleTx_TraceHResult(hr);
}

HRESULT CImpITransactionResourceAsync::CommitRequest(uint32_t, void *) {
  COdbcResourceDispenser &d = *outer_;
  HRESULT hr;
  {
    CsGuard g(d.cs);
    OleTx_Trace("CImpITransactionResourceAsync::CommitRequest()\n");
    int xa = DrvCall<&DrvOps::DRV_XaCommit>(d.drv, d.m_hConnect, &d.xid, d.rmid, 0);
    // XA_RETRY leaves the branch prepared, the lock held, for a later commit.
    d.SetState(xa == 0 ? kIdle : xa == XA_RETRY ? kPrepared : Heuristic(xa) ? kHeuristic : kIdle);
    hr = xa == 0 ? txc::kS_OK : txc::kE_FAIL;
    if (d.enlistment) d.enlistment->CommitRequestDone(hr);
  }
  return OleTx_TraceHResult(hr);
}

HRESULT CImpITransactionResourceAsync::AbortRequest(void *, int32_t, void *) {
  COdbcResourceDispenser &d = *outer_;
  HRESULT hr;
  {
    CsGuard g(d.cs);
    OleTx_Trace("CImpITransactionResourceAsync::AbortRequest()\n");
    if (d.state == kStarted && d.XaEnd(TMSUCCESS) == 0) d.state = kEnded;
    // Rolled back even when the end failed (a branch marked rollback-only
    // answers its end with XA_RB*): it must not stay open.
    int xa = d.XaRollback();
    d.SetState(xa != 0 && Heuristic(xa) ? kHeuristic : kIdle);
    hr = xa == 0 ? txc::kS_OK : txc::kE_FAIL;
    if (d.enlistment) d.enlistment->AbortRequestDone(hr);
  }
  return OleTx_TraceHResult(hr);
}

HRESULT CImpITransactionResourceAsync::TMDown() {
  COdbcResourceDispenser &d = *outer_;
  HRESULT hr;
  {
    CsGuard g(d.cs);
    OleTx_Trace("CImpITransactionResourceAsync::TMDown()\n");
    if (d.state == kStarted) d.XaEnd(TMFAIL);
    int xa = d.XaRollback();
    // Nobody will send the outcome any more: the connection is given back
    // whatever the rollback answered.
    d.SetState(kIdle);
    hr = xa == 0 ? txc::kS_OK : txc::kE_FAIL;
  }
  return OleTx_TraceHResult(hr);
}

// ---- The layer ---------------------------------------------------------------------------------

namespace {

HRESULT CastDispenser(void *p, COdbcResourceDispenser **out) {
  if (!p || !out) return txc::kE_INVALIDARG;
  *out = static_cast<COdbcResourceDispenser *>(p);
  return txc::kS_OK;
}

void ReleaseAllDispensers() {
  std::vector<COdbcResourceDispenser *> all;
  {
    std::lock_guard<std::mutex> g(g_listLock);
    all.swap(Dispensers());
  }
  for (COdbcResourceDispenser *d : all) {
    d->connectionGone = true;
    d->Destroy();
  }
}

}  // namespace

int32_t OleTx_Init() {
  std::lock_guard<std::mutex> g(g_layerLock);
  if (g_started) return 0;
  auto get = reinterpret_cast<AllocatorGetter>(CoordinatorSym("TxcGetTaskAllocator"));
  txc::IUnknown *allocator = nullptr;
  if (!get || get(&allocator) < 0 || !allocator) return kFailed;
  g_allocator = allocator;
  OleTx_TraceOpen();
  xa_switch_init();
  g_started = true;
  return 0;
}

void OleTx_Term() {
  std::lock_guard<std::mutex> g(g_layerLock);
  if (!g_started) return;
  ReleaseAllDispensers();
  OleTx_TraceClose();
  if (g_allocator) g_allocator->Release();
  g_allocator = nullptr;
  g_started = false;
}

COdbcResourceDispenser *OleTx_CreateDispenser(void *dtcTransaction, uint32_t agentServer, uint32_t agentConn,
                                              DrvObject *drv, OsCritSec *connLock, OsSemaphore *callLock,
                                              const char *connectText) {
  auto *d = new (std::nothrow) COdbcResourceDispenser(static_cast<txc::ITransaction *>(dtcTransaction), agentServer,
                                                      agentConn, drv, connLock, callLock, connectText);
  if (!d) return nullptr;
  d->AddRef();
  COdbcResourceDispenser *out = nullptr;
  d->GetInterface(&out);
  return out;
}

int32_t OleTx_ReleaseDispenser(COdbcResourceDispenser *dispenser) {
  COdbcResourceDispenser *d = nullptr;
  if (CastDispenser(dispenser, &d) < 0) return -1;
  return static_cast<int32_t>(d->Release());
}

bool OleTx_DispenserHeld(COdbcResourceDispenser *dispenser) {
  COdbcResourceDispenser *d = nullptr;
  return CastDispenser(dispenser, &d) >= 0 && d->m_cRef.load() > 1;
}

int32_t OleTx_RMConnect(COdbcResourceDispenser *dispenser) {
  COdbcResourceDispenser *d = nullptr;
  if (CastDispenser(dispenser, &d) < 0) return kFailed;
  return d->RMConnect() >= 0 ? 0 : kFailed;
}

int32_t OleTx_RMEnlist(COdbcResourceDispenser *dispenser) {
  COdbcResourceDispenser *d = nullptr;
  if (CastDispenser(dispenser, &d) < 0) return kFailed;
  return d->RMEnlist() >= 0 ? 0 : kFailed;
}

int32_t OleTx_GetXaSwitch(uint32_t, void **out) {
  if ((OleTx_Init() & 0xFFFF) != 0) return txc::kE_FAIL;
  if (!out) return txc::kE_INVALIDARG;
  OleTx_Trace("GetXaSwitch()\n");
  *out = xa_switch_record();
  return OleTx_TraceHResult(txc::kS_OK);
}
