#include "export/recording_client.h"

#include <algorithm>

namespace automation {
namespace {

constexpr DispId kRange = 0xC5;
constexpr DispId kValue2 = 0x56C;

Variant Deref(const Variant& v) {
    if (v.vt == (VT_VARIANT | VT_BYREF) && v.pvarVal != nullptr) return *v.pvarVal;
    return v;
}

}  // namespace

std::vector<RecordingClient::Event> RecordingClient::Calls() const {
    std::vector<Event> calls;
    for (const Event& e : m_events)
        if (e.what == What::Invoke) calls.push_back(e);
    return calls;
}

DispatchHandle RecordingClient::NewObject() {
    DispatchHandle h = m_next++;
    m_live.push_back(h);
    return h;
}

DispatchHandle RecordingClient::Create(const std::string& progId) {
    Event e;
    e.what = What::Create;
    e.progId = progId;
    e.failed = m_failCreation;
    m_failed = false;
    if (!m_failCreation) e.object = NewObject();
    m_events.push_back(e);
    return e.object;
}

Variant RecordingClient::Invoke(DispatchHandle object, DispId id, DispatchKind kind,
                                std::span<const Variant> args, VarType resultType) {
    Event e;
    e.what = What::Invoke;
    e.object = object;
    e.id = id;
    e.kind = kind;
    e.resultType = resultType;
    for (const Variant& a : args) {
        std::uint16_t type = a.vt == (VT_VARIANT | VT_BYREF) ? std::uint16_t{VT_VARIANT} : a.vt;
        e.args.push_back({type, Deref(a)});
    }
    if (m_failed || std::ranges::find(m_live, object) == m_live.end()) ++m_misuses;

    bool fail = m_failIn > 0 && --m_failIn == 0;
    bool noObject = m_nullIn > 0 && --m_nullIn == 0;
    if (fail || (noObject && resultType == VT_DISPATCH)) m_failed = true;
    if (fail) {
        e.failed = true;
        m_events.push_back(e);
        throw AutomationError("Scripted failure", static_cast<std::int32_t>(0x800A03ECu));
    }

    Variant result;
    if (resultType == VT_DISPATCH) {
        result.vt = VT_DISPATCH;
        if (!noObject) result.pdispVal = e.result = NewObject();
    } else if (resultType == VT_VARIANT) {
        result = Variant::Bool(true);
    }
    if (id == kRange && !e.args.empty() && e.result != kNoObject)
        m_rangeNames[e.result] = e.args[0].value.bstrVal;
    if (id == kValue2 && kind == DispatchKind::PropertyPut && !e.args.empty()) {
        auto name = m_rangeNames.find(object);
        if (name != m_rangeNames.end()) m_cells[name->second] = e.args[0].value.bstrVal;
    }
    m_events.push_back(e);
    return result;
}

void RecordingClient::Release(DispatchHandle object) noexcept {
    if (object == kNoObject) return;
    Event e;
    e.what = What::Release;
    e.object = object;
    const bool newest = !m_live.empty() && m_live.back() == object;
    if (!std::erase(m_live, object) || (m_failed && !newest)) ++m_misuses;
    m_rangeNames.erase(object);
    m_events.push_back(e);
}

}  // namespace automation
