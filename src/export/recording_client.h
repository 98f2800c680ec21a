#pragma once

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "export/automation.h"

namespace automation {

// Test double of the automation client. Records every creation, call and
// release in order as text, hands out fresh handles for object results,
// keeps the texts written to cells by name, and fails the k-th call on
// request.
class RecordingClient final : public AutomationClient {
public:
    // The k-th call from now (1-based, counting only Invoke) throws
    // AutomationError; 0 disarms.
    void FailCall(int k) { m_failIn = k; }

    // The record holds one text per creation, call or release, e.g. "create
    // Excel.Application =#0", "#0.23C get ->D =#1", "#4.C5 get &'A1' ->D =#5",
    // "release #1". Objects are named #0, #1, ... in the order they were
    // handed out, "&" marks a by-reference variant argument, ->D, ->V, ->- a
    // call's result type (object, variant, none) and "failed" a failure.
    std::vector<std::string> Calls() const;  // the calls only
    std::string Trace() const;               // the whole record, "; " between

    // References handed out and not yet given back.
    std::size_t LiveObjects() const { return m_live.size(); }
    // Texts put into Value2, by the name the cell was asked for with.
    const std::map<std::string, std::string>& Cells() const { return m_cells; }

    DispatchHandle Create(const std::string& progId) override;
    Variant Invoke(DispatchHandle object, DispId id, DispatchKind kind,
                   std::span<const Variant> args, VarType resultType) override;
    void Release(DispatchHandle object) noexcept override;

private:
    DispatchHandle NewObject();

    int m_failIn = 0;
    DispatchHandle m_next = 0;
    std::set<DispatchHandle> m_live;
    std::map<DispatchHandle, std::string> m_rangeNames;
    std::map<std::string, std::string> m_cells;
    std::vector<std::string> m_events;
};

}  // namespace automation
