// Figures for the export into the office's spreadsheet: automation calls
// per export, wall time from the click to the visible document with an
// office already running, and the cold start of an office. Runs headless
// unless DISPLAY is set (then the document really appears on that display).

#include <benchmark/benchmark.h>
#include <signal.h>

#include <chrono>
#include <com/sun/star/util/XCloseable.hpp>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "export/calc/calc_client.h"
#include "export/export_to_excel.h"
#include "office_fixture.h"

using namespace automation;
using Clock = std::chrono::steady_clock;

namespace {

// Ends an office started for a profile of its own, with what it started.
void EndOffice(pid_t pid) {
    if (pid > 0) kill(-pid, SIGKILL);
}

// Passes everything on and counts the calls made after creation.
class CountingClient final : public AutomationClient {
public:
    explicit CountingClient(AutomationClient& inner) : m_inner(inner) {}
    long calls = 0;
    DispatchHandle Create(const std::string& progId) override { return m_inner.Create(progId); }
    Variant Invoke(DispatchHandle object, DispId id, DispatchKind kind,
                   std::span<const Variant> args, VarType resultType) override {
        ++calls;
        return m_inner.Invoke(object, id, kind, args, resultType);
    }
    void Release(DispatchHandle object) noexcept override { m_inner.Release(object); }

private:
    AutomationClient& m_inner;
};

class Rows final : public ExportList {
public:
    explicit Rows(int n) : m_n(n) {}
    int GetColumnCount() const override { return 4; }
    std::string GetColumnText(int c) const override {
        static const char* headers[] = {"ID", "DATA", "UNIT", "PASS"};
        return headers[c];
    }
    int GetItemCount() const override { return m_n; }
    std::string GetItemText(int r, int c) const override {
        switch (c) {
            case 0:
                return std::to_string(r + 1);
            case 1:
                return std::to_string(r * 0.25);
            case 2:
                return "N.m";
            default:
                return r % 7 ? "passed" : "failed";
        }
    }

private:
    int m_n;
};

std::vector<std::string> g_boxes;

void Box(const std::string& text, const std::string&, unsigned) {
    g_boxes.push_back(text);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const bool headless = std::getenv("DISPLAY") == nullptr;

    PrivateOffice office;
    CalcOptions options = office.Options(headless);

    // Cold: a fresh profile and no office running, up to a usable application.
    auto start = Clock::now();
    auto client = std::make_unique<CalcClient>(options);
    DispatchHandle app = client->Create("Excel.Application");
    auto cold = Clock::now() - start;
    if (app == kNoObject) {
        std::fprintf(stderr, "no office: %s\n", client->LastError().c_str());
        return 1;
    }
    client->Release(app);
    std::printf("cold office start-up (fresh profile, %s): %.0f ms\n",
                headless ? "headless" : "on the display",
                std::chrono::duration<double, std::milli>(cold).count());

    // A profile as a user's very first run has it: the office does its
    // first-run work before it answers.
    {
        PrivateOffice firstRun(false);
        CalcClient fresh(firstRun.Options(headless));
        start = Clock::now();
        DispatchHandle freshApp = fresh.Create("Excel.Application");
        auto firstCold = Clock::now() - start;
        if (freshApp != kNoObject) {
            fresh.Release(freshApp);
            std::printf("cold office start-up (first run of a profile, %s): %.0f ms\n",
                        headless ? "headless" : "on the display",
                        std::chrono::duration<double, std::milli>(firstCold).count());
        }
        EndOffice(fresh.StartedOfficePid());
    }

    OfficeReader reader(office.ProfileDir());

    auto exportRows = [&](benchmark::State& state, bool newClient) {
        Rows rows(static_cast<int>(state.range(0)));
        long calls = 0;
        for (auto _ : state) {
            // A new client is a new run of the program finding the office.
            std::unique_ptr<CalcClient> fresh;
            if (newClient) fresh = std::make_unique<CalcClient>(options);
            CountingClient counting(newClient ? *fresh : *client);
            ExportToExcel(counting, rows, Box);
            calls = counting.calls;
            state.PauseTiming();
            for (const OfficeReader::Doc& doc : reader.Documents())
                css::uno::Reference<css::util::XCloseable>(doc, css::uno::UNO_QUERY_THROW)
                    ->close(true);
            state.ResumeTiming();
        }
        state.counters["calls"] = static_cast<double>(calls);
        state.counters["rows"] = static_cast<double>(state.range(0));
    };
    benchmark::RegisterBenchmark("ExportToRunningOffice", exportRows, false)
        ->Arg(0)
        ->Arg(255)
        ->Iterations(5)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("ExportFromNewProgramRun", exportRows, true)
        ->Arg(255)
        ->Iterations(5)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    if (!g_boxes.empty()) std::fprintf(stderr, "export failed: %s\n", g_boxes[0].c_str());
    EndOffice(client->StartedOfficePid());
    return g_boxes.empty() ? 0 : 1;
}
