#pragma once
// A transaction coordinator as the driver's enlistment meets it: reference
// counted interfaces with HRESULT results, in the shape of the coordinator's
// published interfaces, declared here for exactly the calls the driver makes.
//
// The coordinator is reached through a small library, libtxcoord.so, that
// the driver loads by name the first time a connection is enlisted. A
// coordinator running in the process registers its transaction-manager
// object with that library; without one, the accessor answers
// XACT_E_TMNOTAVAILABLE.
#include <cstdint>

#include "xa.h"

namespace txc {

using HRESULT = int32_t;

constexpr HRESULT kS_OK = 0;
constexpr HRESULT kXACT_S_READONLY = 0x0004D002;
constexpr HRESULT kE_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT kE_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT kE_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT kXACT_E_NOTRANSACTION = static_cast<HRESULT>(0x8004D00Eu);
constexpr HRESULT kXACT_E_TMNOTAVAILABLE = static_cast<HRESULT>(0x8004D01Bu);
constexpr HRESULT kXACT_E_CONNECTION_DOWN = static_cast<HRESULT>(0x8004D01Cu);

struct Guid {
  uint32_t d1;
  uint16_t d2, d3;
  uint8_t d4[8];
  friend constexpr bool operator==(const Guid &a, const Guid &b) {
    if (a.d1 != b.d1 || a.d2 != b.d2 || a.d3 != b.d3) return false;
    for (int i = 0; i < 8; ++i)
      if (a.d4[i] != b.d4[i]) return false;
    return true;
  }
};

constexpr Guid kIID_IUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr Guid kIID_ITransactionResourceAsync{0x69E971F0, 0x23CE, 0x11CF, {0xAD, 0x60, 0x00, 0xAA, 0x00, 0xA7, 0x4C, 0xCD}};
constexpr Guid kIID_IDtcToXaHelperSinglePipe{0x47ED4971, 0x53B3, 0x11D1, {0xBB, 0xB9, 0x00, 0xC0, 0x4F, 0xD6, 0x58, 0xF6}};

struct IUnknown {
  virtual HRESULT QueryInterface(const Guid &iid, void **out) = 0;
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;

 protected:
  ~IUnknown() = default;
};

// A transaction of the coordinator. The driver only hands it back to the
// coordinator; applications end it through the coordinator's own means.
struct ITransaction : IUnknown {
 protected:
  ~ITransaction() = default;
};

// The coordinator's side of one enlistment: where a resource reports the
// outcome of each request.
struct ITransactionEnlistmentAsync : IUnknown {
  virtual HRESULT PrepareRequestDone(HRESULT hr, void *moniker, void *reason) = 0;
  virtual HRESULT CommitRequestDone(HRESULT hr) = 0;
  virtual HRESULT AbortRequestDone(HRESULT hr) = 0;

 protected:
  ~ITransactionEnlistmentAsync() = default;
};

// The resource's side: the coordinator's requests, on the coordinator's
// threads.
struct ITransactionResourceAsync : IUnknown {
  virtual HRESULT PrepareRequest(int32_t fRetaining, uint32_t grfRM, int32_t fWantMoniker, int32_t fSinglePhase) = 0;
  virtual HRESULT CommitRequest(uint32_t grfRM, void *newUow) = 0;
  virtual HRESULT AbortRequest(void *reason, int32_t fRetaining, void *newUow) = 0;
  virtual HRESULT TMDown() = 0;

 protected:
  ~ITransactionResourceAsync() = default;
};

// The coordinator's XA helper: registers an X/Open resource manager (the
// open string and the library that recovery loads to reach its switch
// through GetXaSwitch), names a transaction's branch as an XID and enlists
// the resource in the transaction.
struct IDtcToXaHelperSinglePipe : IUnknown {
  virtual HRESULT XARMCreate(const char *openString, const char *driverFile, uint32_t *cookie) = 0;
  virtual HRESULT ConvertTridToXID(ITransaction *tx, uint32_t cookie, XID *out) = 0;
  virtual HRESULT EnlistWithRM(uint32_t cookie, ITransaction *tx, ITransactionResourceAsync *resource,
                               ITransactionEnlistmentAsync **out) = 0;
  virtual void ReleaseRMCookie(uint32_t cookie, int32_t normal) = 0;

 protected:
  ~IDtcToXaHelperSinglePipe() = default;
};

}  // namespace txc

extern "C" {
// The accessor: the registered transaction manager, queried for iid. host
// and tmName must be NULL (only the local coordinator is reachable); the
// reserved values are ignored.
txc::HRESULT TxcGetTransactionManager(const char *host, const char *tmName, const txc::Guid *iid, uint32_t reserved1,
                                      uint16_t reserved2, void *reserved3, void **out);
// The task allocator the resource holds while its layer runs.
txc::HRESULT TxcGetTaskAllocator(txc::IUnknown **out);
// A coordinator registers its transaction-manager object (one reference is
// taken) or, with NULL, withdraws it.
void TxcSetTransactionManager(txc::IUnknown *tm);
}

// The library's file name as the driver loads it.
#define TXC_LIBRARY_NAME "libtxcoord.so"
