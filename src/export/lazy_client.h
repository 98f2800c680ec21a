#pragma once

#include <functional>
#include <string>
#include <utility>

#include "export/automation.h"

// Stands in for a client loaded on first use: the window holds the client
// from its start, but only an export needs it. A creation loads it; one that
// cannot be loaded fails the creation (the "Warning" box), and the next
// creation, i.e. the next Export, tries again, so an office installed while
// the program runs serves the next click. A client loaded stays.
class LazyClient final : public automation::AutomationClient {
public:
    // The client, or nullptr when it cannot be loaded now.
    using Loader = std::function<automation::AutomationClient*()>;
    explicit LazyClient(Loader load) : m_load(std::move(load)) {}

    automation::DispatchHandle Create(const std::string& progId) override;
    automation::Variant Invoke(automation::DispatchHandle object, automation::DispId id,
                               automation::DispatchKind kind,
                               std::span<const automation::Variant> args,
                               automation::VarType resultType) override;
    void Release(automation::DispatchHandle object) noexcept override;

private:
    // The client loaded, or one that has no server.
    automation::AutomationClient& Loaded();

    Loader m_load;
    automation::AutomationClient* m_loaded = nullptr;
};
