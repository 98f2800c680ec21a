#pragma once

#include "export/automation.h"

// The automation client over COM: objects created from their program id
// and driven through IDispatch. Handles are the IDispatch pointers.
class ComClient final : public automation::AutomationClient {
public:
    automation::DispatchHandle Create(const std::string& progId) override;
    automation::Variant Invoke(automation::DispatchHandle object, automation::DispId id,
                               automation::DispatchKind kind,
                               std::span<const automation::Variant> args,
                               automation::VarType resultType) override;
    void Release(automation::DispatchHandle object) noexcept override;
};

// Prepares the calling thread (the window's) for automation calls; safe to
// call more than once.
void InitAutomationRuntime();
