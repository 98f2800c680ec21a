// A test COM server for "Excel.Application" (the test registers it): every
// object it hands out is a dispatch object that records each Invoke (object,
// DISPID, flags, named arguments, argument types and values) and each final
// Release, one line each, to the file named by KELVARIN_EXCEL_LOG; objects
// are numbered from 1 as they are made. KELVARIN_EXCEL_FAIL_AT=k makes the k-th Invoke after each
// creation fail.
//
// Built without the C and C++ start-up code, so the DLL has no TLS
// directory: Wine spins loading such a DLL into a process whose serial
// worker is waiting. Hence fixed buffers and the system's heap here.
#include <ole2.h>
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

LONG g_serial = 0, g_invokes = 0, g_failAt = 0;

// A log line; longer texts are cut, never overrun. Lines come from the one
// thread of the apartment the objects live in.
struct Line {
    char text[4096] = {};

    Line& Add(const char* format, ...) {
        const std::size_t used = strlen(text);
        va_list args;
        va_start(args, format);
        _vsnprintf(text + used, sizeof text - 1 - used, format, args);
        va_end(args);
        return *this;
    }
    void Log() {
        wchar_t path[MAX_PATH] = {};
        GetEnvironmentVariableW(L"KELVARIN_EXCEL_LOG", path, MAX_PATH);
        HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        Add("\n");
        DWORD written = 0;
        WriteFile(file, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
        CloseHandle(file);
    }
};

// " type:value" of one argument, following a by-reference one.
Line& Describe(Line& line, const VARIANT& in) {
    const VARIANT& v = in.vt == (VT_VARIANT | VT_BYREF) ? *in.pvarVal : in;
    if (v.vt == VT_I2) return line.Add(" I2:%d", v.iVal);
    if (v.vt == VT_ERROR) return line.Add(" ERROR:0x%lX", static_cast<unsigned long>(v.scode));
    if (v.vt == VT_BOOL) return line.Add(" BOOL:%d", v.boolVal);  // true is -1
    // The texts here are ASCII: the test's own and the tool's.
    return v.vt == VT_BSTR ? line.Add(" BSTR:%ls", v.bstrVal) : line.Add(" VT%d", v.vt);
}

// The class object and every object it makes, told apart by their numbers
// (0: the class object, which is never freed).
class Recorder final : public IDispatch, public IClassFactory {
public:
    static void* operator new(std::size_t size) { return HeapAlloc(GetProcessHeap(), 0, size); }
    static void operator delete(void* p) { HeapFree(GetProcessHeap(), 0, p); }

    constexpr explicit Recorder(LONG number) : m_number(number) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        *out = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch))
            *out = static_cast<IDispatch*>(this);
        if (IsEqualIID(riid, IID_IClassFactory)) *out = static_cast<IClassFactory*>(this);
        if (*out) AddRef();
        return *out ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&m_refs); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&m_refs);
        if (left == 0 && m_number) {
            Line().Add("release #%ld", m_number).Log();
            delete this;
        }
        return static_cast<ULONG>(left);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO*, UINT*) override {
        Line line;
        line.Add("invoke #%ld 0x%lX flags=%u args=%u named=", m_number,
                 static_cast<unsigned long>(id), flags, params->cArgs);
        for (UINT i = 0; i < params->cNamedArgs; ++i)
            line.Add(i ? ",%ld" : "%ld", params->rgdispidNamedArgs[i]);
        // The caller passes the arguments last first: logged first to last.
        for (UINT i = params->cArgs; i > 0; --i) Describe(line, params->rgvarg[i - 1]);
        const bool fail = InterlockedIncrement(&g_invokes) == g_failAt;
        line.Add(fail ? " failed" : "").Log();
        if (fail || !result) return fail ? E_FAIL : S_OK;
        VariantInit(result);
        if (id != 0xED) {  // AutoFit answers with no object, every other call with one
            result->vt = VT_DISPATCH;
            result->pdispVal = new Recorder(InterlockedIncrement(&g_serial));
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID riid, void** out) override {
        Line().Add("create Excel.Application").Log();
        char failAt[16] = "0";
        GetEnvironmentVariableA("KELVARIN_EXCEL_FAIL_AT", failAt, sizeof failAt);
        g_serial = g_invokes = 0;  // each creation's objects numbered from 1
        g_failAt = atol(failAt);
        auto* app = new Recorder(InterlockedIncrement(&g_serial));
        const HRESULT hr = app->QueryInterface(riid, out);
        app->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    LONG m_refs = 1;
    const LONG m_number;
};

// Built by the compiler: there is no start-up code to run constructors.
constinit Recorder g_class(0);

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE
    DllGetClassObject(REFCLSID, REFIID riid, void** out) {
    return g_class.QueryInterface(riid, out);
}
