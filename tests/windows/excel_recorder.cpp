// A test COM server registered as "Excel.Application": every object it hands
// out is a dispatch object that records each Invoke (object, DISPID, flags,
// named arguments, argument types and values) and each final Release, one
// line each, to the file named by KELVARIN_EXCEL_LOG. The objects returned
// follow the DISPIDs of the export's calls.
//
// Built without the C and C++ start-up code, so the DLL has no TLS
// directory: Wine spins loading such a DLL into a process whose serial
// worker is waiting. Hence fixed buffers and the system's heap here.
#include <ole2.h>
#include <oleauto.h>
#include <windows.h>

#include <cstdio>
#include <new>

namespace {

// {6B1E3C52-9A4D-4F0B-8C1E-2D7A5B9E4C31}
constexpr CLSID kClsid = {
    0x6b1e3c52, 0x9a4d, 0x4f0b, {0x8c, 0x1e, 0x2d, 0x7a, 0x5b, 0x9e, 0x4c, 0x31}};
constexpr wchar_t kClsidText[] = L"{6B1E3C52-9A4D-4F0B-8C1E-2D7A5B9E4C31}";

HMODULE g_module = nullptr;
CRITICAL_SECTION g_logLock;
LONG g_serial = 0;

// A line being built; long texts are cut, never overrun.
struct Line {
    char text[4096];
    int used = 0;

    void Add(const char* part) {
        while (*part && used < static_cast<int>(sizeof text) - 1) text[used++] = *part++;
        text[used] = '\0';
    }
    void Number(long long value) {
        char digits[32];
        _snprintf(digits, sizeof digits, "%lld", value);
        digits[sizeof digits - 1] = '\0';
        Add(digits);
    }
    void Hex(unsigned long value) {
        char digits[32];
        _snprintf(digits, sizeof digits, "0x%lX", value);
        digits[sizeof digits - 1] = '\0';
        Add(digits);
    }
    void Wide(const wchar_t* wide, UINT length) {
        char utf8[2048];
        const int n = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), utf8,
                                          sizeof utf8 - 1, nullptr, nullptr);
        utf8[n > 0 ? n : 0] = '\0';
        Add(utf8);
    }
};

void Log(const Line& line) {
    wchar_t path[MAX_PATH];
    if (!GetEnvironmentVariableW(L"KELVARIN_EXCEL_LOG", path, MAX_PATH)) return;
    EnterCriticalSection(&g_logLock);
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, line.text, static_cast<DWORD>(line.used), &written, nullptr);
        WriteFile(file, "\n", 1, &written, nullptr);
        CloseHandle(file);
    }
    LeaveCriticalSection(&g_logLock);
}

// "type:value" of one argument, following a by-reference VARIANT.
void Describe(Line& line, const VARIANT& in) {
    const bool byRef = in.vt == (VT_VARIANT | VT_BYREF);
    const VARIANT& v = (byRef && in.pvarVal) ? *in.pvarVal : in;
    if (byRef) line.Add("ref:");
    switch (v.vt) {
        case VT_EMPTY:
            line.Add("EMPTY");
            break;
        case VT_I2:
            line.Add("I2:");
            line.Number(v.iVal);
            break;
        case VT_I4:
            line.Add("I4:");
            line.Number(v.lVal);
            break;
        case VT_BOOL:
            line.Add(v.boolVal == VARIANT_TRUE ? "BOOL:true"
                     : v.boolVal               ? "BOOL:odd"
                                               : "BOOL:false");
            break;
        case VT_ERROR:
            line.Add("ERROR:");
            line.Hex(static_cast<unsigned long>(v.scode));
            break;
        case VT_BSTR:
            line.Add("BSTR:");
            line.Wide(v.bstrVal, SysStringLen(v.bstrVal));
            break;
        case VT_DISPATCH:
            line.Add("DISPATCH");
            break;
        default:
            line.Add("VT");
            line.Number(v.vt);
            break;
    }
}

class Recorder final : public IDispatch {
public:
    static void* operator new(std::size_t size) { return HeapAlloc(GetProcessHeap(), 0, size); }
    static void operator delete(void* p) { HeapFree(GetProcessHeap(), 0, p); }

    explicit Recorder(const char* name) {
        Line line;
        line.Add(name);
        line.Add("#");
        line.Number(InterlockedIncrement(&g_serial));
        lstrcpynA(m_name, line.text, sizeof m_name);
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&m_refs); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&m_refs);
        if (left == 0) {
            Line line;
            line.Add("release ");
            line.Add(m_name);
            Log(line);
            delete this;
        }
        return static_cast<ULONG>(left);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO*, UINT*) override {
        Line line;
        line.Add("invoke ");
        line.Add(m_name);
        line.Add(" ");
        line.Hex(static_cast<unsigned long>(id));
        line.Add(" flags=");
        line.Number(flags);
        const UINT count = params ? params->cArgs : 0;
        line.Add(" args=");
        line.Number(count);
        line.Add(" named=");
        for (UINT i = 0; params && i < params->cNamedArgs; ++i) {
            if (i) line.Add(",");
            line.Number(params->rgdispidNamedArgs[i]);
        }
        // The caller passes the arguments last first: logged first to last.
        for (UINT i = 0; i < count; ++i) {
            line.Add(" ");
            Describe(line, params->rgvarg[count - 1 - i]);
        }
        Log(line);

        const char* child = nullptr;
        switch (id) {
            case 0x23C:
                child = "workbooks";
                break;
            case 0xB5:
                child = "workbook";
                break;
            case 0x1E5:
                child = "sheets";
                break;
            case 0xAA:
                child = "sheet";
                break;
            case 0xC5:
                child = "range";
                break;
            case 0xF6:
                child = "column";
                break;
            default:
                break;
        }
        if (result) {
            VariantInit(result);
            if (child) {
                result->vt = VT_DISPATCH;
                result->pdispVal = new Recorder(child);
            } else if (id == 0xED) {
                result->vt = VT_BOOL;
                result->boolVal = VARIANT_TRUE;
            }
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
        if (!out) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        if (outer) return CLASS_E_NOAGGREGATION;
        Line line;
        line.Add("create Excel.Application");
        Log(line);
        auto* app = new Recorder("application");
        const HRESULT hr = app->QueryInterface(riid, out);
        app->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

// Constructed in DllMain: there is no start-up code to run constructors.
alignas(Factory) unsigned char g_factoryStorage[sizeof(Factory)];
Factory* g_factory = nullptr;

bool SetKey(const wchar_t* key, const wchar_t* name, const wchar_t* value) {
    HKEY handle;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key, 0, nullptr, 0, KEY_WRITE, nullptr, &handle,
                        nullptr) != ERROR_SUCCESS)
        return false;
    const LONG rc = RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                                   static_cast<DWORD>((lstrlenW(value) + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
    return rc == ERROR_SUCCESS;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        InitializeCriticalSection(&g_logLock);
        g_factory = new (g_factoryStorage) Factory;
    }
    return TRUE;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE
    DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
    if (!IsEqualCLSID(clsid, kClsid)) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory->QueryInterface(riid, out);
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return S_FALSE;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllRegisterServer() {
    wchar_t path[MAX_PATH];
    if (!GetModuleFileNameW(g_module, path, MAX_PATH)) return E_FAIL;
    wchar_t clsid[128];
    wchar_t inproc[160];
    lstrcpyW(clsid, L"CLSID\\");
    lstrcatW(clsid, kClsidText);
    lstrcpyW(inproc, clsid);
    lstrcatW(inproc, L"\\InprocServer32");
    const bool ok = SetKey(L"Excel.Application\\CLSID", nullptr, kClsidText) &&
                    SetKey(clsid, nullptr, L"Kelvarin test recorder") &&
                    SetKey(inproc, nullptr, path) &&
                    SetKey(inproc, L"ThreadingModel", L"Apartment");
    return ok ? S_OK : E_FAIL;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllUnregisterServer() {
    wchar_t clsid[128];
    lstrcpyW(clsid, L"CLSID\\");
    lstrcatW(clsid, kClsidText);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Excel.Application");
    RegDeleteTreeW(HKEY_CLASSES_ROOT, clsid);
    return S_OK;
}
