#include "export/export_to_excel.h"

using namespace automation;

namespace {

// For builds without a spreadsheet bridge: creation fails, so Export shows
// its "Warning" box.
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

AutomationClient& DefaultAutomationClient() {
    static UnavailableClient client;
    return client;
}
