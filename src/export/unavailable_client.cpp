#include "export/unavailable_client.h"

using namespace automation;

namespace {

class UnavailableClient final : public AutomationClient {
public:
    DispatchHandle Create(const std::string&) override { return kNoObject; }
    Variant Invoke(DispatchHandle, DispId, DispatchKind, std::span<const Variant>,
                   VarType) override {
        throw AutomationError("No automation server");
    }
    void Release(DispatchHandle) noexcept override {}
};

}  // namespace

AutomationClient& UnavailableAutomationClient() {
    static UnavailableClient client;
    return client;
}
