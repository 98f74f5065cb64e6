#include "aax/library/ACFUnknown.h"

namespace {

std::atomic<int32_t> gModuleObjects{0};

}  // namespace

int32_t AAX_GetModuleObjectCount() noexcept {
  return gModuleObjects.load(std::memory_order_acquire);
}

void AAX_ModuleObjectCreated() noexcept {
  gModuleObjects.fetch_add(1, std::memory_order_acq_rel);
}

void AAX_ModuleObjectDestroyed() noexcept {
  gModuleObjects.fetch_sub(1, std::memory_order_acq_rel);
}

CACFUnknown::CACFUnknown() noexcept {
  AAX_ModuleObjectCreated();
}

CACFUnknown::~CACFUnknown() {
  AAX_ModuleObjectDestroyed();
}

ACFRESULT CACFUnknown::InternalQueryInterface(const acfIID& iid, void** out) noexcept {
  if (!out) return ACF_E_POINTER;
  *out = nullptr;
  ACFRESULT result = ACF_OK;
  if (iid == IID_IACFUnknown) {
    *out = static_cast<IACFUnknown*>(&mIdentity);
  } else {
    result = QueryInterfaceForID(iid, out);
    if (result == ACF_OK && !*out) result = ACF_E_NOINTERFACE;
  }
  if (result != ACF_OK) {
    *out = nullptr;
    return result;
  }
  InternalAddRef();
  return ACF_OK;
}

uint32_t CACFUnknown::InternalAddRef() noexcept {
  return static_cast<uint32_t>(mRefCount.fetch_add(1, std::memory_order_relaxed) + 1);
}

uint32_t CACFUnknown::InternalRelease() noexcept {
  const int32_t count = mRefCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (count == 0) delete this;
  return static_cast<uint32_t>(count);
}

ACFRESULT CACFUnknown::QueryInterfaceForID(const acfIID&, void** out) noexcept {
  *out = nullptr;
  return ACF_E_NOINTERFACE;
}
