// A test COM server registered as "Excel.Application": every object it hands
// out is a dispatch object that records each Invoke (object, DISPID, flags,
// named arguments, argument types and values) and each final Release, one
// line each, to the file named by KELVARIN_EXCEL_LOG. The objects returned
// follow the DISPIDs of the export's calls. KELVARIN_EXCEL_FAIL_AT=k makes
// the k-th Invoke after each creation fail (logged with " failed").
//
// Built without the C and C++ start-up code, so the DLL has no TLS
// directory: Wine spins loading such a DLL into a process whose serial
// worker is waiting. Hence fixed buffers and the system's heap here.
#include <ole2.h>
#include <oleauto.h>
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace {

// {6B1E3C52-9A4D-4F0B-8C1E-2D7A5B9E4C31}
constexpr CLSID kClsid = {
    0x6b1e3c52, 0x9a4d, 0x4f0b, {0x8c, 0x1e, 0x2d, 0x7a, 0x5b, 0x9e, 0x4c, 0x31}};
constexpr wchar_t kClsidKey[] = L"CLSID\\{6B1E3C52-9A4D-4F0B-8C1E-2D7A5B9E4C31}";
constexpr wchar_t kInprocKey[] = L"CLSID\\{6B1E3C52-9A4D-4F0B-8C1E-2D7A5B9E4C31}\\InprocServer32";

HMODULE g_module = nullptr;
LONG g_serial = 0;
LONG g_invokes = 0;
LONG g_failAt = 0;

// A line being built; long texts are cut, never overrun. Logged lines come
// from the one thread of the apartment the objects live in.
struct Line {
    char text[4096];
    int used = 0;

    Line& Add(const char* format, ...) {
        va_list args;
        va_start(args, format);
        const int n = _vsnprintf(text + used, sizeof text - 1 - used, format, args);
        va_end(args);
        used = n < 0 ? static_cast<int>(sizeof text) - 1 : used + n;
        text[used] = '\0';
        return *this;
    }
    void Log() const {
        wchar_t path[MAX_PATH];
        if (!GetEnvironmentVariableW(L"KELVARIN_EXCEL_LOG", path, MAX_PATH)) return;
        HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(file, text, static_cast<DWORD>(used), &written, nullptr);
            WriteFile(file, "\n", 1, &written, nullptr);
            CloseHandle(file);
        }
    }
};

// " type:value" of one argument, following a by-reference VARIANT.
Line& Describe(Line& line, const VARIANT& in) {
    const bool byRef = in.vt == (VT_VARIANT | VT_BYREF);
    const VARIANT& v = (byRef && in.pvarVal) ? *in.pvarVal : in;
    line.Add(byRef ? " ref:" : " ");
    if (v.vt == VT_I2) return line.Add("I2:%d", v.iVal);
    if (v.vt == VT_ERROR) return line.Add("ERROR:0x%lX", static_cast<unsigned long>(v.scode));
    if (v.vt == VT_BOOL) return line.Add("BOOL:%d", v.boolVal);  // true is -1
    if (v.vt != VT_BSTR) return line.Add("VT%d", v.vt);
    char utf8[2048];
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, v.bstrVal, static_cast<int>(SysStringLen(v.bstrVal)), utf8,
                            sizeof utf8 - 1, nullptr, nullptr);
    utf8[n > 0 ? n : 0] = '\0';
    return line.Add("BSTR:%s", utf8);
}

// The object each DISPID of the export returns.
constexpr struct {
    DISPID id;
    const char* name;
} kChildren[] = {{0x23C, "workbooks"}, {0xB5, "workbook"}, {0x1E5, "sheets"},
                 {0xAA, "sheet"},      {0xC5, "range"},    {0xF6, "column"}};

class Recorder final : public IDispatch {
public:
    static void* operator new(std::size_t size) { return HeapAlloc(GetProcessHeap(), 0, size); }
    static void operator delete(void* p) { HeapFree(GetProcessHeap(), 0, p); }

    explicit Recorder(const char* name) {
        _snprintf(m_name, sizeof m_name - 1, "%s#%ld", name, InterlockedIncrement(&g_serial));
        m_name[sizeof m_name - 1] = '\0';
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        const bool ok = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch);
        *out = ok ? static_cast<IDispatch*>(this) : nullptr;
        if (ok) AddRef();
        return ok ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&m_refs); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&m_refs);
        if (left == 0) {
            Line().Add("release %s", m_name).Log();
            delete this;
        }
        return static_cast<ULONG>(left);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO*, UINT*) override {
        const UINT count = params ? params->cArgs : 0;
        Line line;
        line.Add("invoke %s 0x%lX flags=%u args=%u named=", m_name, static_cast<unsigned long>(id),
                 flags, count);
        for (UINT i = 0; params && i < params->cNamedArgs; ++i)
            line.Add(i ? ",%ld" : "%ld", params->rgdispidNamedArgs[i]);
        // The caller passes the arguments last first: logged first to last.
        for (UINT i = 0; i < count; ++i) Describe(line, params->rgvarg[count - 1 - i]);
        if (InterlockedIncrement(&g_invokes) == g_failAt) {
            line.Add(" failed").Log();
            return E_FAIL;
        }
        line.Log();

        if (!result) return S_OK;
        VariantInit(result);
        for (const auto& child : kChildren)
            if (child.id == id) {
                result->vt = VT_DISPATCH;
                result->pdispVal = new Recorder(child.name);
            }
        if (id == 0xED) {
            result->vt = VT_BOOL;
            result->boolVal = VARIANT_TRUE;
        }
        return S_OK;
    }

private:
    LONG m_refs = 1;
    char m_name[64];
};

class Factory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        const bool ok = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory);
        *out = ok ? static_cast<IClassFactory*>(this) : nullptr;
        return ok ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        if (outer) return CLASS_E_NOAGGREGATION;
        Line().Add("create Excel.Application").Log();
        char failAt[16] = "0";
        GetEnvironmentVariableA("KELVARIN_EXCEL_FAIL_AT", failAt, sizeof failAt);
        g_serial = g_invokes = 0;  // each creation's objects numbered from 1
        g_failAt = atol(failAt);
        auto* app = new Recorder("application");
        const HRESULT hr = app->QueryInterface(riid, out);
        app->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

// Built by the compiler: there is no start-up code to run constructors.
constinit Factory g_factory;

bool SetKey(const wchar_t* key, const wchar_t* name, const wchar_t* value) {
    return RegSetKeyValueW(HKEY_CLASSES_ROOT, key, name, REG_SZ, value,
                           static_cast<DWORD>((lstrlenW(value) + 1) * sizeof(wchar_t))) ==
           ERROR_SUCCESS;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_module = instance;
    return TRUE;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE
    DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
    if (!IsEqualCLSID(clsid, kClsid)) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, out);
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllRegisterServer() {
    wchar_t path[MAX_PATH];
    if (!GetModuleFileNameW(g_module, path, MAX_PATH)) return E_FAIL;
    const bool ok = SetKey(L"Excel.Application\\CLSID", nullptr, kClsidKey + 6) &&
                    SetKey(kInprocKey, nullptr, path) &&
                    SetKey(kInprocKey, L"ThreadingModel", L"Apartment");
    return ok ? S_OK : E_FAIL;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllUnregisterServer() {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Excel.Application");
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kClsidKey);
    return S_OK;
}
