#include "export/com/com_client.h"
#include "export/export_to_excel.h"

AutomationClient& DefaultAutomationClient() {
    static ComClient client;
    return client;
}
