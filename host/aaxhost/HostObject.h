#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "aax/interfaces/AAX_ACF.h"
#include "aax/interfaces/AAX_IString.h"

namespace aaxhost {

/**
 * The host's own ID, under which every host object answers with its HostObjectBase (without a
 * reference). When the plug-in hands an object back (a property map to a descriptor), the host
 * finds its own object this way; anything else is refused.
 */
inline constexpr acfIID kIID_HostObject = AAX_MakeIID(0x7F, 0);

class HostObjectBase {
 public:
  virtual ~HostObjectBase() = default;
};

/** The host object of type T behind an interface pointer of the plug-in; null if not ours. */
template <class T>
T* FindHostObject(IACFUnknown* unknown) noexcept {
  if (!unknown) return nullptr;
  void* base = nullptr;
  if (unknown->QueryInterface(kIID_HostObject, &base) != ACF_OK || !base) return nullptr;
  return dynamic_cast<T*>(static_cast<HostObjectBase*>(base));
}

/**
 * IACFUnknown for a host object that implements up to three versions of one interface (V3
 * extends V2 extends V1; repeat the last type for fewer versions).
 *
 * The host owns its objects: Release never deletes, the count only records the references the
 * plug-in holds (References() is 0 again once the plug-in released everything). A version limit
 * lets a test play an older host that does not know the newer versions.
 */
template <class V1, class V2 = V1, class V3 = V2>
class HostObject : public V3, public HostObjectBase {
 public:
  HostObject(const acfIID& iid1, const acfIID* iid2, const acfIID* iid3) noexcept
      : mIID1(iid1),
        mIID2(iid2 ? *iid2 : iid1),
        mIID3(iid3 ? *iid3 : iid1),
        mVersions(iid3   ? 3
                  : iid2 ? 2
                         : 1) {}

  ACFRESULT QueryInterface(const acfIID& iid, void** out) noexcept override {
    if (!out) return ACF_E_POINTER;
    *out = nullptr;
    if (iid == kIID_HostObject) {
      *out = static_cast<HostObjectBase*>(this);
      return ACF_OK;
    }
    if (iid == IID_IACFUnknown) {
      *out = static_cast<IACFUnknown*>(static_cast<V1*>(this));
    } else if (iid == mIID1 && mLimit >= 1) {
      *out = static_cast<V1*>(this);
    } else if (mVersions >= 2 && iid == mIID2 && mLimit >= 2) {
      *out = static_cast<V2*>(this);
    } else if (mVersions >= 3 && iid == mIID3 && mLimit >= 3) {
      *out = static_cast<V3*>(this);
    } else {
      return QueryExtra(iid, out);
    }
    AddRef();
    return ACF_OK;
  }
  uint32_t AddRef() noexcept override { return static_cast<uint32_t>(++mReferences); }
  uint32_t Release() noexcept override { return static_cast<uint32_t>(--mReferences); }

  /** References the plug-in holds right now. */
  int32_t References() const noexcept { return mReferences.load(); }
  /** Offers only versions 1 ... limit (0: none at all). */
  void SetVersionLimit(int limit) noexcept { mLimit = limit; }

 protected:
  /** IDs beyond the versions (other objects reached through this one); must add the reference. */
  virtual ACFRESULT QueryExtra(const acfIID&, void**) noexcept { return ACF_E_NOINTERFACE; }

 private:
  acfIID mIID1;
  acfIID mIID2;
  acfIID mIID3;
  int mVersions;
  int mLimit = 3;
  std::atomic<int32_t> mReferences{0};
};

/** A host-side text for the plug-in to fill. */
class HostString final : public AAX_IString {
 public:
  static constexpr uint32_t kMaxLength = 4096;

  HostString() = default;
  explicit HostString(std::string text) { Set(text.c_str()); }

  uint32_t Length() const noexcept override { return static_cast<uint32_t>(mText.size()); }
  uint32_t MaxLength() const noexcept override { return kMaxLength; }
  const char* Get() const noexcept override { return mText.c_str(); }
  void Set(const char* text) noexcept override;
  void Assign(const AAX_IString* other) noexcept override {
    if (other && other != this) Set(other->Get());
  }

  const std::string& Text() const noexcept { return mText; }

 private:
  std::string mText;
};

/** A text the plug-in passed; the empty text for null. */
inline std::string TextOf(const char* text) {
  return text ? std::string(text) : std::string();
}

/** 'TMN1' for 0x544D4E31; non-printable bytes as '?'. */
std::string FourCCText(uint32_t code);

}  // namespace aaxhost
