#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>

#include "export/calc/calc_client.h"
#include "export/export_to_excel.h"
#include "office_fixture.h"

using namespace automation;
using Clock = std::chrono::steady_clock;

namespace {

// Stand-ins for an office that misbehaves; none of them needs a real one.
class FakeOffice {
public:
    explicit FakeOffice(const std::string& script) {
        m_path = m_profile.ProfileDir() + "/fake-soffice";
        std::ofstream(m_path) << "#!/bin/sh\n" << script << "\n";
        chmod(m_path.c_str(), 0755);
    }
    CalcOptions Options(std::chrono::milliseconds timeout) const {
        CalcOptions options = m_profile.Options();
        options.soffice = m_path;
        options.startTimeout = timeout;
        return options;
    }
    const std::string& Dir() const { return m_profile.ProfileDir(); }

private:
    PrivateOffice m_profile;
    std::string m_path;
};

struct Outcome {
    std::vector<std::string> boxes;
    Clock::duration took{};
};

Outcome ExportWith(CalcClient& client) {
    class Empty final : public ExportList {
        int GetColumnCount() const override { return 4; }
        std::string GetColumnText(int) const override { return "h"; }
        int GetItemCount() const override { return 0; }
        std::string GetItemText(int, int) const override { return ""; }
    } list;
    Outcome outcome;
    auto start = Clock::now();
    ExportToExcel(client, list, [&](const std::string& text, const std::string& caption, unsigned) {
        outcome.boxes.push_back(caption + ": " + text);
    });
    outcome.took = Clock::now() - start;
    return outcome;
}

TEST(CalcStartFailure, NoOfficeInstalledGivesTheWarningAtOnce) {
    PrivateOffice profile;
    CalcOptions options = profile.Options();
    options.soffice = profile.ProfileDir() + "/not-installed/soffice";
    CalcClient client(options);
    Outcome outcome = ExportWith(client);
    ASSERT_EQ(1u, outcome.boxes.size());
    EXPECT_EQ("Warning: Can not Create Excel Application!", outcome.boxes[0]);
    EXPECT_LT(outcome.took, std::chrono::seconds(5));
    EXPECT_NE("", client.LastError());
}

TEST(CalcStartFailure, AnOfficeThatFailsToStartGivesTheWarningWithoutWaitingOut) {
    FakeOffice office("echo 'cannot create profile' >&2; exit 3");
    CalcClient client(office.Options(std::chrono::seconds(30)));
    Outcome outcome = ExportWith(client);
    ASSERT_EQ(1u, outcome.boxes.size());
    EXPECT_LT(outcome.took, std::chrono::seconds(5));
}

TEST(CalcStartFailure, AnOfficeThatNeverAnswersIsGivenUpAfterTheTimeOutAndEnded) {
    FakeOffice office("echo $$ > \"$(dirname \"$0\")/pid\"; exec sleep 300");
    CalcClient client(office.Options(std::chrono::milliseconds(1500)));
    Outcome outcome = ExportWith(client);
    ASSERT_EQ(1u, outcome.boxes.size());
    EXPECT_GE(outcome.took, std::chrono::milliseconds(1000));
    EXPECT_LT(outcome.took, std::chrono::seconds(6));

    // The half-started office is not left behind.
    pid_t pid = 0;
    std::ifstream(office.Dir() + "/pid") >> pid;
    ASSERT_GT(pid, 0);
    EXPECT_EQ(0, client.StartedOfficePid());
    EXPECT_NE(0, kill(pid, 0));

    // And the next click tries again, with the same outcome.
    outcome = ExportWith(client);
    EXPECT_EQ(1u, outcome.boxes.size());
}

TEST(CalcStartFailure, AnOfficeThatHandsOverAndEndsButNobodyAnswersTimesOut) {
    FakeOffice office("exit 0");
    CalcClient client(office.Options(std::chrono::milliseconds(1500)));
    Outcome outcome = ExportWith(client);
    ASSERT_EQ(1u, outcome.boxes.size());
    EXPECT_LT(outcome.took, std::chrono::seconds(6));
}

TEST(CalcStartFailure, OnlyTheSpreadsheetApplicationIsServed) {
    PrivateOffice profile;
    CalcClient client(profile.Options());
    EXPECT_EQ(kNoObject, client.Create("Word.Application"));
}

}  // namespace
