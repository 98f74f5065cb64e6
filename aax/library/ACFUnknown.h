#pragma once

#include <atomic>
#include <cstdint>

#include "aax/interfaces/AAX_ACF.h"

/**
 * Live component objects of this module: every CACFUnknown counts itself from construction to
 * destruction. ACFCanUnloadNow reports it; 0 means the module may be unloaded.
 */
int32_t AAX_GetModuleObjectCount() noexcept;
/** Hooks CACFUnknown calls; other objects that keep the module busy may call them too. */
void AAX_ModuleObjectCreated() noexcept;
void AAX_ModuleObjectDestroyed() noexcept;

/**
 * Base of the module's component objects (effect parameters, effect GUI).
 *
 * A derived class implements one or more interfaces, each of which has its own IACFUnknown
 * part; its three IACFUnknown operations forward to InternalQueryInterface / InternalAddRef /
 * InternalRelease here. Queries go through an inner identity object: IID_IACFUnknown yields
 * that object (the same pointer whichever interface was asked), every other ID is offered to
 * QueryInterfaceForID of the derived class, and an ID nobody answers gives ACF_E_NOINTERFACE.
 *
 * A new object holds one reference, owned by whoever created it; the last Release deletes it.
 * Objects must therefore be created with new.
 */
class CACFUnknown {
 public:
  CACFUnknown(const CACFUnknown&) = delete;
  CACFUnknown& operator=(const CACFUnknown&) = delete;

  /** The object's identity (what IID_IACFUnknown yields), without adding a reference. */
  IACFUnknown* GetIdentity() noexcept { return &mIdentity; }
  int32_t GetRefCount() const noexcept { return mRefCount.load(std::memory_order_acquire); }

  ACFRESULT InternalQueryInterface(const acfIID& iid, void** out) noexcept;
  uint32_t InternalAddRef() noexcept;
  uint32_t InternalRelease() noexcept;

 protected:
  CACFUnknown() noexcept;
  virtual ~CACFUnknown();

  /**
   * Answers the derived class's interface IDs: stores static_cast<I*>(this) in *out and returns
   * ACF_OK without adding a reference (the caller adds it). The base answers nothing.
   */
  virtual ACFRESULT QueryInterfaceForID(const acfIID& iid, void** out) noexcept;

 private:
  class Identity final : public IACFUnknown {
   public:
    explicit Identity(CACFUnknown& owner) noexcept : mOwner(owner) {}
    ACFRESULT QueryInterface(const acfIID& iid, void** out) noexcept override {
      return mOwner.InternalQueryInterface(iid, out);
    }
    uint32_t AddRef() noexcept override { return mOwner.InternalAddRef(); }
    uint32_t Release() noexcept override { return mOwner.InternalRelease(); }

   private:
    CACFUnknown& mOwner;
  };

  std::atomic<int32_t> mRefCount{1};
  Identity mIdentity{*this};
};

/** The three IACFUnknown operations of a class derived from CACFUnknown. */
#define AAX_ACF_UNKNOWN_FORWARDING                                            \
  ACFRESULT QueryInterface(const acfIID& iid, void** out) noexcept override { \
    return CACFUnknown::InternalQueryInterface(iid, out);                     \
  }                                                                           \
  uint32_t AddRef() noexcept override {                                       \
    return CACFUnknown::InternalAddRef();                                     \
  }                                                                           \
  uint32_t Release() noexcept override {                                      \
    return CACFUnknown::InternalRelease();                                    \
  }
