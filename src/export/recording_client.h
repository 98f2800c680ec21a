#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "export/automation.h"

namespace automation {

// Test double of the automation client. Records every creation, call and
// release in order as text, hands out fresh handles for object results,
// keeps the texts written to cells by name, fails creation or the k-th call
// on request, and counts what a caller must not do.
class RecordingClient final : public AutomationClient {
public:
    // Creation fails from now on, or succeeds again.
    void FailCreation(bool fail) { m_failCreation = fail; }
    // The k-th call from now (1-based, counting only Invoke) throws
    // AutomationError; 0 disarms.
    void FailCall(int k) { m_failIn = k; }
    // The k-th call from now returns no object where one is asked for.
    void ReturnNoObjectAt(int k) { m_nullIn = k; }

    // The record holds one text per creation, call or release, e.g. "create
    // Excel.Application =#0", "#0.23C get ->D =#1", "#4.C5 get &'A1' ->D =#5",
    // "release #1". Objects are named #0, #1, ... in the order they were
    // handed out, "&" marks a by-reference variant argument, ->D, ->V, ->- a
    // call's result type (object, variant, none) and "failed" a failure.
    std::vector<std::string> Calls() const;  // the calls only
    std::string Trace() const;               // the whole record, "; " between
    void ClearEvents() { m_events.clear(); }

    // References handed out and not yet given back.
    std::size_t LiveObjects() const { return m_live.size(); }
    // Faults of the caller: calls on, or releases of, handles that were not
    // live, and after a failed call (until the next creation) any call, or a
    // release other than of the newest handle still held.
    int Misuses() const { return m_misuses; }
    // Texts put into Value2, by the name the cell was asked for with.
    const std::map<std::string, std::string>& Cells() const { return m_cells; }

    DispatchHandle Create(const std::string& progId) override;
    Variant Invoke(DispatchHandle object, DispId id, DispatchKind kind,
                   std::span<const Variant> args, VarType resultType) override;
    void Release(DispatchHandle object) noexcept override;

private:
    DispatchHandle NewObject();

    bool m_failCreation = false;
    int m_failIn = 0;
    int m_nullIn = 0;
    bool m_failed = false;
    DispatchHandle m_next = 0;
    std::vector<DispatchHandle> m_live;  // oldest first
    std::map<DispatchHandle, std::string> m_rangeNames;
    std::map<std::string, std::string> m_cells;
    std::vector<std::string> m_events;
    int m_misuses = 0;
};

}  // namespace automation
