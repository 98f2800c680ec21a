#pragma once

#include "export/automation.h"

// A client with no server behind it: creation always fails, so Export
// shows its "Warning" box.
AutomationClient& UnavailableAutomationClient();
