#include "export/lazy_client.h"

#include "export/unavailable_client.h"

using namespace automation;

DispatchHandle LazyClient::Create(const std::string& progId) {
    if (!m_loaded) m_loaded = m_load();
    return Loaded().Create(progId);
}

Variant LazyClient::Invoke(DispatchHandle object, DispId id, DispatchKind kind,
                           std::span<const Variant> args, VarType resultType) {
    return Loaded().Invoke(object, id, kind, args, resultType);
}

void LazyClient::Release(DispatchHandle object) noexcept {
    Loaded().Release(object);
}

AutomationClient& LazyClient::Loaded() {
    return m_loaded ? *m_loaded : UnavailableAutomationClient();
}
