// libtxcoord.so: the way from a resource to the coordinator of this process.
#include "txcoord.h"

#include <atomic>
#include <mutex>

namespace {

std::mutex g_mu;
txc::IUnknown *g_tm = nullptr;

// The task allocator: a process-wide object whose references only count.
struct TaskAllocator final : txc::IUnknown {
  std::atomic<uint32_t> refs{1};
  txc::HRESULT QueryInterface(const txc::Guid &iid, void **out) override {
    if (!out) return txc::kE_INVALIDARG;
    *out = nullptr;
    if (!(iid == txc::kIID_IUnknown)) return txc::kE_NOINTERFACE;
    AddRef();
    *out = static_cast<txc::IUnknown *>(this);
    return txc::kS_OK;
  }
  uint32_t AddRef() override { return ++refs; }
  uint32_t Release() override { return --refs; }
};

TaskAllocator g_allocator;

}  // namespace

extern "C" {

__attribute__((visibility("default"))) txc::HRESULT TxcGetTransactionManager(const char *host, const char *tmName,
                                                                              const txc::Guid *iid, uint32_t,
                                                                              uint16_t, void *, void **out) {
  if (!out || !iid) return txc::kE_INVALIDARG;
  *out = nullptr;
  if (host || tmName) return txc::kXACT_E_TMNOTAVAILABLE;
  std::lock_guard<std::mutex> g(g_mu);
  if (!g_tm) return txc::kXACT_E_TMNOTAVAILABLE;
  return g_tm->QueryInterface(*iid, out);
}

__attribute__((visibility("default"))) txc::HRESULT TxcGetTaskAllocator(txc::IUnknown **out) {
  if (!out) return txc::kE_INVALIDARG;
  g_allocator.AddRef();
  *out = &g_allocator;
  return txc::kS_OK;
}

__attribute__((visibility("default"))) void TxcSetTransactionManager(txc::IUnknown *tm) {
  if (tm) tm->AddRef();
  txc::IUnknown *old;
  {
    std::lock_guard<std::mutex> g(g_mu);
    old = g_tm;
    g_tm = tm;
  }
  if (old) old->Release();
}
}
