#include "export/com/com_client.h"

#include <ole2.h>
#include <oleauto.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "winapi/win32_text.h"

using automation::AutomationError;
using automation::DispatchHandle;
using automation::DispatchKind;
using automation::DispId;
using automation::kNoObject;
using automation::VarType;

namespace {

std::string Utf8(BSTR text) {
    return text ? NarrowUtf16(std::wstring(text, SysStringLen(text))) : std::string();
}

IDispatch* AsDispatch(DispatchHandle handle) {
    return reinterpret_cast<IDispatch*>(handle);
}

DispatchHandle AsHandle(IDispatch* dispatch) {
    return reinterpret_cast<DispatchHandle>(dispatch);
}

// A VARIANT that is cleared when it goes: strings freed, objects released.
struct OwnedVariant {
    VARIANT v;
    OwnedVariant() { VariantInit(&v); }
    ~OwnedVariant() { VariantClear(&v); }
    OwnedVariant(const OwnedVariant&) = delete;
    OwnedVariant& operator=(const OwnedVariant&) = delete;
};

// The seam's value as a VARIANT of its own. A VT_VARIANT argument is passed
// as the value it refers to.
void ToVariant(const automation::Variant& in, VARIANT& out) {
    const automation::Variant& value =
        in.vt == (automation::VT_VARIANT | automation::VT_BYREF) && in.pvarVal ? *in.pvarVal : in;
    switch (value.vt) {
        case automation::VT_EMPTY:
            out.vt = VT_EMPTY;
            return;
        case automation::VT_I2:
            out.vt = VT_I2;
            out.iVal = value.iVal;
            return;
        case automation::VT_BOOL:
            out.vt = VT_BOOL;
            out.boolVal = value.boolVal ? VARIANT_TRUE : VARIANT_FALSE;
            return;
        case automation::VT_ERROR:
            out.vt = VT_ERROR;
            out.scode = value.scode;
            return;
        case automation::VT_BSTR: {
            std::wstring wide = WidenUtf8(value.bstrVal);
            out.vt = VT_BSTR;
            out.bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
            if (!out.bstrVal) throw AutomationError("Out of memory for a string", E_OUTOFMEMORY);
            return;
        }
        case automation::VT_DISPATCH:
            out.vt = VT_DISPATCH;
            out.pdispVal = AsDispatch(value.pdispVal);
            if (out.pdispVal) out.pdispVal->AddRef();
            return;
        default:
            throw AutomationError("Argument of a type this client does not pass",
                                  DISP_E_TYPEMISMATCH);
    }
}

// Takes the result over: an object's reference moves to the caller.
automation::Variant FromVariant(VARIANT& in) {
    switch (in.vt) {
        case VT_I2:
            return automation::Variant::I2(in.iVal);
        case VT_BOOL:
            return automation::Variant::Bool(in.boolVal != VARIANT_FALSE);
        case VT_ERROR:
            return automation::Variant::Error(in.scode);
        case VT_BSTR:
            return automation::Variant::Bstr(Utf8(in.bstrVal));
        case VT_DISPATCH: {
            IDispatch* object = in.pdispVal;
            in.vt = VT_EMPTY;  // the reference is the caller's now
            return automation::Variant::Dispatch(AsHandle(object));
        }
        default:
            return {};
    }
}

std::string CallText(DispId id, HRESULT hr) {
    char text[64];
    std::snprintf(text, sizeof text, "Automation call 0x%X failed (0x%08lX)",
                  static_cast<unsigned>(id), static_cast<unsigned long>(hr));
    return text;
}

}  // namespace

namespace {

// The runtime of one thread: set up on its first use there, released when
// the thread ends (for the window's thread, at the program's exit).
struct ThreadRuntime {
    bool initialised = false;
    ThreadRuntime() {
        // S_FALSE (already set up by someone else) still counts as a use.
        initialised = SUCCEEDED(OleInitialize(nullptr));
    }
    ~ThreadRuntime() {
        if (initialised) OleUninitialize();
    }
    ThreadRuntime(const ThreadRuntime&) = delete;
    ThreadRuntime& operator=(const ThreadRuntime&) = delete;
};

}  // namespace

void InitAutomationRuntime() {
    thread_local ThreadRuntime runtime;
}

DispatchHandle ComClient::Create(const std::string& progId) {
    InitAutomationRuntime();
    CLSID clsid;
    std::wstring wide = WidenUtf8(progId);
    if (FAILED(CLSIDFromProgID(wide.c_str(), &clsid))) return kNoObject;
    IDispatch* object = nullptr;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IDispatch,
                                reinterpret_cast<void**>(&object))) ||
        !object)
        return kNoObject;
    return AsHandle(object);
}

automation::Variant ComClient::Invoke(DispatchHandle object, DispId id, DispatchKind kind,
                                      std::span<const automation::Variant> args,
                                      VarType resultType) {
    IDispatch* dispatch = AsDispatch(object);
    if (!dispatch) throw AutomationError(CallText(id, E_POINTER), E_POINTER);

    // IDispatch takes the arguments last first.
    std::vector<OwnedVariant> argv(args.size());
    for (std::size_t i = 0; i < args.size(); ++i) ToVariant(args[i], argv[args.size() - 1 - i].v);
    std::vector<VARIANTARG> raw(args.size());
    for (std::size_t i = 0; i < args.size(); ++i) raw[i] = argv[i].v;

    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS params{};
    params.rgvarg = raw.empty() ? nullptr : raw.data();
    params.cArgs = static_cast<UINT>(raw.size());
    if (kind == DispatchKind::PropertyPut) {
        // A put names its value argument.
        params.rgdispidNamedArgs = &putId;
        params.cNamedArgs = 1;
    }

    OwnedVariant result;
    EXCEPINFO error{};
    UINT badArg = 0;
    bool wantResult = resultType != automation::VT_EMPTY && kind != DispatchKind::PropertyPut;
    HRESULT hr = dispatch->Invoke(id, IID_NULL, LOCALE_NEUTRAL, static_cast<WORD>(kind), &params,
                                  wantResult ? &result.v : nullptr, &error, &badArg);
    if (FAILED(hr)) {
        std::string text = CallText(id, hr);
        if (hr == DISP_E_EXCEPTION) {
            if (error.pfnDeferredFillIn) error.pfnDeferredFillIn(&error);
            if (error.bstrDescription) text = Utf8(error.bstrDescription);
            if (error.scode) hr = error.scode;
        }
        SysFreeString(error.bstrSource);
        SysFreeString(error.bstrDescription);
        SysFreeString(error.bstrHelpFile);
        throw AutomationError(text, hr);
    }
    if (!wantResult) return {};
    if (resultType == automation::VT_DISPATCH && result.v.vt != VT_DISPATCH) {
        // Whatever came back must be an object, or there is none.
        if (FAILED(VariantChangeType(&result.v, &result.v, 0, VT_DISPATCH)))
            return automation::Variant::Dispatch(kNoObject);
    }
    return FromVariant(result.v);
}

void ComClient::Release(DispatchHandle object) noexcept {
    if (IDispatch* dispatch = AsDispatch(object)) dispatch->Release();
}
