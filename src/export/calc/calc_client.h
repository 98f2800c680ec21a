#pragma once

#include <sys/types.h>

#include <map>
#include <memory>
#include <string>

#include "export/automation.h"
#include "export/calc/calc_objects.h"
#include "export/calc/calc_options.h"
#include "export/calc/call_watchdog.h"
#include "export/calc/office_link.h"
#include "export/calc/office_process.h"

// "Excel.Application" served by an office's spreadsheet over UNO. Creation
// connects to an office listening on our pipe, starting one when none does;
// every wait is bounded, so a missing or silent office makes creation fail
// rather than hang.
class CalcClient final : public automation::AutomationClient {
public:
    explicit CalcClient(CalcOptions options);
    ~CalcClient();
    CalcClient(const CalcClient&) = delete;
    CalcClient& operator=(const CalcClient&) = delete;

    automation::DispatchHandle Create(const std::string& progId) override;
    automation::Variant Invoke(automation::DispatchHandle object, automation::DispId id,
                               automation::DispatchKind kind,
                               std::span<const automation::Variant> args,
                               automation::VarType resultType) override;
    void Release(automation::DispatchHandle object) noexcept override;

    // The office this client started and that still runs, or 0.
    pid_t StartedOfficePid();
    // Why the last creation failed.
    const std::string& LastError() const { return m_lastError; }

private:
    struct Entry {
        std::shared_ptr<calc::Object> object;
        std::shared_ptr<calc::Session> session;
        bool application = false;
    };

    enum class Attempt { Connected, NoAnswer, Refused };

    bool Connect();
    Attempt TryConnectOnce(CallWatchdog::Clock::time_point deadline);
    bool StartOffice();
    automation::DispatchHandle Register(Entry entry);

    CalcOptions m_options;
    OfficeLink m_link;
    CallWatchdog m_watchdog;
    OfficeProcess m_office;
    std::map<automation::DispatchHandle, Entry> m_objects;
    automation::DispatchHandle m_next = 1;
    std::string m_lastError;
};
