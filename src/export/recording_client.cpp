#include "export/recording_client.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace automation {
namespace {

constexpr DispId kRange = 0xC5;
constexpr DispId kValue2 = 0x56C;
constexpr DispatchHandle kFirst = 0x100;

std::string Hex(unsigned value) {
    char text[16];
    return {text, static_cast<std::size_t>(std::snprintf(text, sizeof text, "%X", value))};
}

std::string Name(DispatchHandle h) {
    return "#" + std::to_string(h - kFirst);
}

Variant Deref(const Variant& v) {
    return v.vt == (VT_VARIANT | VT_BYREF) && v.pvarVal != nullptr ? *v.pvarVal : v;
}

std::string Text(const Variant& arg) {
    const Variant v = Deref(arg);
    const std::string mark = arg.vt == (VT_VARIANT | VT_BYREF) ? " &" : " ";
    if (v.vt == VT_BSTR) return mark + "'" + v.bstrVal + "'";
    if (v.vt == VT_I2) return mark + "i2:" + std::to_string(v.iVal);
    if (v.vt == VT_BOOL) return mark + (v.boolVal ? "true" : "false");
    if (v.vt == VT_ERROR) return mark + "err:" + Hex(static_cast<unsigned>(v.scode));
    return mark + "vt" + std::to_string(v.vt);
}

}  // namespace

std::vector<std::string> RecordingClient::Calls() const {
    std::vector<std::string> calls;
    std::ranges::copy_if(m_events, std::back_inserter(calls),
                         [](const std::string& e) { return e.starts_with('#'); });
    return calls;
}

std::string RecordingClient::Trace() const {
    std::string trace;
    for (const std::string& e : m_events) trace += (trace.empty() ? "" : "; ") + e;
    return trace;
}

DispatchHandle RecordingClient::NewObject() {
    return *m_live.insert(kFirst + m_next++).first;
}

DispatchHandle RecordingClient::Create(const std::string& progId) {
    const DispatchHandle object = NewObject();
    m_events.push_back("create " + progId + " =" + Name(object));
    return object;
}

Variant RecordingClient::Invoke(DispatchHandle object, DispId id, DispatchKind kind,
                                std::span<const Variant> args, VarType resultType) {
    std::string text = Name(object) + "." + Hex(static_cast<unsigned>(id)) +
                       (kind == DispatchKind::Method        ? " call"
                        : kind == DispatchKind::PropertyGet ? " get"
                                                            : " put");
    for (const Variant& a : args) text += Text(a);
    text += resultType == VT_DISPATCH ? " ->D" : resultType == VT_VARIANT ? " ->V" : " ->-";
    if (m_failIn > 0 && --m_failIn == 0) {
        m_events.push_back(text + " failed");
        throw AutomationError("Scripted failure", static_cast<std::int32_t>(0x800A03ECu));
    }

    Variant result;
    if (resultType == VT_DISPATCH) result = Variant::Dispatch(NewObject());
    if (resultType == VT_VARIANT) result = Variant::Bool(true);
    if (result.pdispVal != kNoObject) text += " =" + Name(result.pdispVal);
    const std::string first = args.empty() ? "" : Deref(args[0]).bstrVal;
    if (id == kRange) m_rangeNames[result.pdispVal] = first;
    if (id == kValue2 && kind == DispatchKind::PropertyPut && m_rangeNames.contains(object))
        m_cells[m_rangeNames[object]] = first;
    m_events.push_back(text);
    return result;
}

void RecordingClient::Release(DispatchHandle object) noexcept {
    if (object == kNoObject) return;
    m_live.erase(object);  // handles are never handed out twice
    m_events.push_back("release " + Name(object));
}

}  // namespace automation
