#pragma once

#include <span>

#include "export/automation.h"

namespace automation {

// Holds one object reference for the length of an export. Storing a new
// reference gives back the one held before; leaving scope gives back the
// last one.
class DispatchHolder {
public:
    explicit DispatchHolder(AutomationClient& client) : m_client(client) {}
    ~DispatchHolder() { m_client.Release(m_object); }
    DispatchHolder(const DispatchHolder&) = delete;
    DispatchHolder& operator=(const DispatchHolder&) = delete;

    void Attach(DispatchHandle object) {
        DispatchHandle old = m_object;
        m_object = object;
        m_client.Release(old);
    }
    bool Empty() const { return m_object == kNoObject; }

    // Invokes a member and takes over the object it returns into `target`.
    void GetObject(DispId id, DispatchKind kind, std::span<const Variant> args,
                   DispatchHolder& target);
    // Invokes a member whose result, if any, is not wanted.
    void Call(DispId id, DispatchKind kind, std::span<const Variant> args, VarType resultType);

private:
    void RequireObject(DispId id) const;

    AutomationClient& m_client;
    DispatchHandle m_object = kNoObject;
};

}  // namespace automation
