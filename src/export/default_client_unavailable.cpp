#include "export/export_to_excel.h"
#include "export/unavailable_client.h"

// For builds without a spreadsheet bridge.
AutomationClient& DefaultAutomationClient() {
    return UnavailableAutomationClient();
}
