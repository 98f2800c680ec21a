#include "export/calc/calc_client.h"

// Entry point of the loadable bridge: the program loads it only when it
// exports, so it starts and runs where no office is installed.
extern "C" __attribute__((visibility("default"))) automation::AutomationClient*
kelvarin_calc_client(const CalcOptions* options) {
    // Lives as long as the process; never destroyed, so nothing runs after
    // the office runtime has torn itself down at exit.
    static CalcClient* client = new CalcClient(*options);
    return client;
}
