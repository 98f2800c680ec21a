#include "export/dispatch_holder.h"

#include <cstdio>
#include <string>

namespace automation {
namespace {

std::string MemberText(DispId id) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(id));
    return text;
}

}  // namespace

void DispatchHolder::RequireObject(DispId id) const {
    // Calling through an empty holder would dereference nothing; report it as
    // the failed call it is.
    if (m_object == kNoObject)
        throw AutomationError("Automation call " + MemberText(id) + " on an empty reference");
}

void DispatchHolder::GetObject(DispId id, DispatchKind kind, std::span<const Variant> args,
                               DispatchHolder& target) {
    RequireObject(id);
    Variant result = m_client.Invoke(m_object, id, kind, args, VT_DISPATCH);
    if (result.vt != VT_DISPATCH || result.pdispVal == kNoObject)
        throw AutomationError("Automation call " + MemberText(id) + " returned no object");
    target.Attach(result.pdispVal);
}

void DispatchHolder::Call(DispId id, DispatchKind kind, std::span<const Variant> args,
                          VarType resultType) {
    RequireObject(id);
    Variant result = m_client.Invoke(m_object, id, kind, args, resultType);
    // A returned object would otherwise never be given back.
    if (result.vt == VT_DISPATCH) m_client.Release(result.pdispVal);
}

}  // namespace automation
