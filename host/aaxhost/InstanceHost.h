#pragma once

#include <atomic>
#include <cstdint>

#include "aax/interfaces/AAX_ACF.h"
#include "host/aaxhost/AutomationDelegate.h"
#include "host/aaxhost/Controller.h"
#include "host/aaxhost/Transport.h"
#include "host/aaxhost/ViewContainer.h"

namespace aaxhost {

/**
 * The host unknown of one instance, passed to Initialize of its effect-parameters and
 * effect-GUI objects. Queries for the controller, automation delegate, transport and page table
 * reach those objects; queries for the effect-parameters IDs reach the instance's
 * effect-parameters object once the host has set it (the GUI finds it this way).
 */
class InstanceHost final : public IACFUnknown {
 public:
  InstanceHost();
  ~InstanceHost();
  InstanceHost(const InstanceHost&) = delete;
  InstanceHost& operator=(const InstanceHost&) = delete;

  ACFRESULT QueryInterface(const acfIID& iid, void** out) noexcept override;
  uint32_t AddRef() noexcept override;
  uint32_t Release() noexcept override;

  Controller& GetController() noexcept { return mController; }
  AutomationDelegate& GetAutomationDelegate() noexcept { return mAutomation; }
  Transport& GetTransport() noexcept { return mTransport; }
  PageTable& GetPageTable() noexcept { return mPageTable; }

  /** The instance's effect-parameters object; a reference is held until replaced or cleared. */
  void SetEffectParameters(IACFUnknown* effectParameters);

  /** References the plug-in holds on this unknown and on the objects behind it. */
  int32_t OutstandingReferences() const noexcept;

 private:
  std::atomic<int32_t> mReferences{0};
  Controller mController;
  AutomationDelegate mAutomation;
  Transport mTransport;
  PageTable mPageTable;
  IACFUnknown* mEffectParameters = nullptr;
};

}  // namespace aaxhost
