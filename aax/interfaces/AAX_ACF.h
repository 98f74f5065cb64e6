#pragma once

/**
 * The component-object layer every host and plug-in interface rests on.
 *
 * The host and the plug-in module are separately built binaries, so nothing that depends on a
 * particular build may cross between them: every interface is a class of pure virtual functions
 * in single-inheritance chains (its vtable is the whole contract), arguments are integers,
 * floats, POD structs and pointers, and nothing throws. Each interface method is declared
 * noexcept, so an exception that escapes an implementation ends the process at the boundary
 * instead of unwinding into the other binary.
 *
 * Objects are reached only through interface pointers. QueryInterface asks an object for an
 * interface by 16-byte ID and returns it with one reference added; AddRef and Release count
 * references and the object decides what the last Release does. Interfaces have protected
 * destructors: the other side never deletes an object, it releases it.
 */

#include <cstdint>
#include <cstring>

/** Result of every host-interface call: 0 success, negative codes failures (AAX_Errors.h). */
typedef int32_t AAX_Result;

/** Result of the component-object layer; the same type, kept apart for readability. */
typedef int32_t ACFRESULT;

/** Component-object results. Stored as int32: the high bit makes them negative. */
enum : int32_t {
  ACF_OK = 0,
  /** The object does not offer the asked-for interface ID. */
  ACF_E_NOINTERFACE = static_cast<int32_t>(0x80000004u),
  /** A required object or out pointer was null. */
  ACF_E_POINTER = static_cast<int32_t>(0x80000005u),
  /** A failure that has no better code, among them any exception caught at a boundary. */
  ACF_E_UNEXPECTED = static_cast<int32_t>(0x8000FFFFu)
};

/** A 16-byte interface or class ID; laid out and written like a GUID. */
struct acfUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
static_assert(sizeof(acfUID) == 16, "IDs are compared bytewise across binaries");

typedef acfUID acfIID;
typedef acfUID acfCLSID;

inline bool operator==(const acfUID& a, const acfUID& b) noexcept {
  return std::memcmp(&a, &b, sizeof(acfUID)) == 0;
}
inline bool operator!=(const acfUID& a, const acfUID& b) noexcept {
  return !(a == b);
}

/**
 * Our interface IDs all have the form {C0A7A0oo-00vv-4AAC-9C52-434F5256414E}: oo numbers the
 * object kind (table in AAX_IIDs below), vv the interface version (0 for unversioned ones). A
 * new version of an interface gets a new ID and extends the previous version, so a caller that
 * holds version 3 may also call every operation of versions 1 and 2 through it.
 */
constexpr acfIID AAX_MakeIID(uint8_t objectKind, uint8_t version) {
  return acfIID{
      0xC0A7A000u | objectKind, version, 0x4AAC, {0x9C, 0x52, 0x43, 0x4F, 0x52, 0x56, 0x41, 0x4E}};
}

/** Object kinds of AAX_MakeIID. */
enum AAX_EObjectKind : uint8_t {
  AAX_eObjectKind_Unknown = 0x00,
  AAX_eObjectKind_HostServices = 0x01,
  AAX_eObjectKind_Collection = 0x02,
  AAX_eObjectKind_EffectDescriptor = 0x03,
  AAX_eObjectKind_ComponentDescriptor = 0x04,
  AAX_eObjectKind_PropertyMap = 0x05,
  AAX_eObjectKind_Controller = 0x06,
  AAX_eObjectKind_AutomationDelegate = 0x07,
  AAX_eObjectKind_Transport = 0x08,
  AAX_eObjectKind_ViewContainer = 0x09,
  AAX_eObjectKind_PageTable = 0x0A,
  AAX_eObjectKind_HostRunLoop = 0x0B,
  AAX_eObjectKind_EffectParameters = 0x20,
  AAX_eObjectKind_EffectGUI = 0x21
};

/**
 * The root of every interface. On success QueryInterface stores a pointer of the asked-for
 * interface's own type (I*, converted to void*) in *out; on failure it stores null and returns
 * ACF_E_NOINTERFACE for an ID the object does not offer (ACF_E_POINTER for a null out).
 * AddRef and Release return the new count for diagnostics only.
 */
class IACFUnknown {
 public:
  virtual ACFRESULT QueryInterface(const acfIID& iid, void** out) noexcept = 0;
  virtual uint32_t AddRef() noexcept = 0;
  virtual uint32_t Release() noexcept = 0;

 protected:
  ~IACFUnknown() = default;
};

/** Every object answers this ID with its identity: one pointer per object, whatever was asked. */
inline constexpr acfIID IID_IACFUnknown = AAX_MakeIID(AAX_eObjectKind_Unknown, 0);

/**
 * The plug-in definition the module hands back from ACFRegisterPlugin; the host's description
 * collection offers it under this ID. It carries no operations of its own: the host knows the
 * collection behind it.
 */
inline constexpr acfIID IID_IACFPluginDefinition = {
    0x00EEF015, 0x7FD0, 0x11D6, {0x84, 0x85, 0x00, 0x30, 0x65, 0x42, 0xA0, 0x24}};

class IACFPluginDefinition : public IACFUnknown {
 protected:
  ~IACFPluginDefinition() = default;
};

/**
 * Queries unknown for interface I under iid; null when unknown is null or does not offer it.
 * The caller owns the returned reference.
 */
template <class I>
I* AAX_QueryInterface(IACFUnknown* unknown, const acfIID& iid) noexcept {
  if (!unknown) return nullptr;
  void* out = nullptr;
  if (unknown->QueryInterface(iid, &out) != ACF_OK) return nullptr;
  return static_cast<I*>(out);
}
