#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

// The automation seam: what the export needs from an IDispatch-style client.
// Objects are named by opaque handles that the client hands out; every handle
// returned (by Create, or as a VT_DISPATCH result) is owned by the caller and
// given back with Release. Strings are UTF-8.
//
// Names live in their own namespace so that the Windows client can include
// the platform's OLE headers, which declare the same VT_ names globally.
namespace automation {

// Type tags, numbered as the platform's VARIANT types so a COM client maps
// them one to one.
enum VarType : std::uint16_t {
    VT_EMPTY = 0,
    VT_I2 = 2,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_BYREF = 0x4000,
};

// Numbered as DISPATCH_METHOD, DISPATCH_PROPERTYGET, DISPATCH_PROPERTYPUT.
enum class DispatchKind : std::uint16_t {
    Method = 1,
    PropertyGet = 2,
    PropertyPut = 4,
};

using DispId = std::int32_t;
using DispatchHandle = std::uintptr_t;
inline constexpr DispatchHandle kNoObject = 0;

// The status an omitted optional argument carries (VT_ERROR).
inline constexpr std::int32_t DISP_E_PARAMNOTFOUND = static_cast<std::int32_t>(0x80020004u);

// A VARIANT-like value. Only the member matching `vt` is meaningful. A
// VT_VARIANT | VT_BYREF value points at another Variant, which must outlive
// the call it is passed to.
struct Variant {
    std::uint16_t vt = VT_EMPTY;
    std::int16_t iVal = 0;
    bool boolVal = false;
    std::int32_t scode = 0;
    std::string bstrVal;
    DispatchHandle pdispVal = kNoObject;
    const Variant* pvarVal = nullptr;

    static Variant I2(std::int16_t value) {
        Variant v;
        v.vt = VT_I2;
        v.iVal = value;
        return v;
    }
    static Variant Bool(bool value) {
        Variant v;
        v.vt = VT_BOOL;
        v.boolVal = value;
        return v;
    }
    static Variant Bstr(std::string value) {
        Variant v;
        v.vt = VT_BSTR;
        v.bstrVal = std::move(value);
        return v;
    }
    static Variant Error(std::int32_t status) {
        Variant v;
        v.vt = VT_ERROR;
        v.scode = status;
        return v;
    }
    static Variant Dispatch(DispatchHandle object) {
        Variant v;
        v.vt = VT_DISPATCH;
        v.pdispVal = object;
        return v;
    }
    // A VT_VARIANT parameter: passed as a reference to `value`.
    static Variant ByRef(const Variant& value) {
        Variant v;
        v.vt = VT_VARIANT | VT_BYREF;
        v.pvarVal = &value;
        return v;
    }

    // Back to VT_EMPTY, as VariantClear leaves it.
    void Clear() { *this = Variant{}; }
};

// Thrown by a client when a call on an object it created fails (the object
// refused, the server went away, a bad argument). `Code` is the platform's
// status where there is one, else 0.
class AutomationError : public std::runtime_error {
public:
    explicit AutomationError(const std::string& what, std::int32_t code = 0)
        : std::runtime_error(what), m_code(code) {}
    std::int32_t Code() const { return m_code; }

private:
    std::int32_t m_code;
};

class AutomationClient {
public:
    // Creates the object registered under `progId`. Returns kNoObject when it
    // cannot be created; never throws for that.
    virtual DispatchHandle Create(const std::string& progId) = 0;

    // Invokes member `id` of `object`. `args` are positional, first argument
    // first. `resultType` is VT_EMPTY (no result wanted), VT_DISPATCH (an
    // object, owned by the caller) or VT_VARIANT (any value). Throws
    // AutomationError when the call fails.
    virtual Variant Invoke(DispatchHandle object, DispId id, DispatchKind kind,
                           std::span<const Variant> args, VarType resultType) = 0;

    // Gives back a reference; kNoObject is ignored. Never throws.
    virtual void Release(DispatchHandle object) noexcept = 0;

protected:
    ~AutomationClient() = default;
};

}  // namespace automation

using automation::AutomationClient;
using automation::AutomationError;
