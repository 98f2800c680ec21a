#include "export/calc/calc_client.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <com/sun/star/connection/ConnectionSetupException.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <filesystem>
#include <osl/file.hxx>
#include <thread>

#include "export/calc/sigpipe_guard.h"

using namespace automation;
using Clock = CallWatchdog::Clock;

namespace {

constexpr std::int32_t kException = static_cast<std::int32_t>(0x80020009u);
constexpr std::int32_t kInvalidArg = static_cast<std::int32_t>(0x80070057u);
constexpr auto kPollInterval = std::chrono::milliseconds(100);

std::string Describe(const css::uno::Exception& e) {
    std::string message = ToUtf8(e.Message);
    return message.empty() ? "The office reported an error" : message;
}

// What is wrong with a profile of its own, or nothing. The profile holds
// what the office runs (settings, macros, extensions): one that another user
// owns or may write to is refused, and one not there yet is made now as this
// user's alone, before anyone else could make it.
std::string ProfileProblem(const std::string& dir) {
    if (dir.empty()) return {};
    struct stat st {};
    if (lstat(dir.c_str(), &st) != 0 && errno == ENOENT) {
        std::error_code ignored;
        std::filesystem::create_directories(std::filesystem::path(dir).parent_path(), ignored);
        mkdir(dir.c_str(), S_IRWXU);
    }
    if (lstat(dir.c_str(), &st) != 0) return "The profile directory " + dir + " cannot be made";
    if (!S_ISDIR(st.st_mode) || st.st_uid != getuid() || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return "The profile directory " + dir + " is not this user's alone";
    return {};
}

}  // namespace

CalcClient::CalcClient(CalcOptions options) : m_options(std::move(options)) {}

CalcClient::~CalcClient() {
    SigpipeGuard pipe;
    m_objects.clear();
    m_link.Abort();
    // An office we started lives on; its reaper thread sees to it when it ends.
}

DispatchHandle CalcClient::Create(const std::string& progId) {
    m_lastError.clear();
    if (progId != "Excel.Application") {
        m_lastError = "No server for " + progId;
        return kNoObject;
    }
    SigpipeGuard pipe;
    if (!Connect()) return kNoObject;
    auto session = std::make_shared<calc::Session>();
    session->link = &m_link;
    return Register({calc::NewApplication(session), session, true});
}

DispatchHandle CalcClient::Register(Entry entry) {
    DispatchHandle handle = m_next++;
    m_objects.emplace(handle, std::move(entry));
    return handle;
}

CalcClient::Attempt CalcClient::TryConnectOnce(Clock::time_point deadline) {
    auto limit =
        std::min(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()),
                 m_options.callTimeout);
    if (limit.count() <= 0) return Attempt::NoAnswer;
    // An office that took the pipe but never answers must not hold us.
    WatchdogScope guard(m_watchdog, limit, [this] { m_link.Abort(); });
    try {
        m_link.Connect(OfficePipeName(m_options.profileDir), limit);
        m_lastError.clear();  // what failed before it does not matter now
        return Attempt::Connected;
    } catch (const css::connection::NoConnectException&) {
        m_lastError = "No office answers";
    } catch (const css::connection::ConnectionSetupException& e) {
        // Another user's socket holds the pipe's name: no office of ours
        // can listen there, so waiting for one is of no use.
        m_lastError = Describe(e);
        return Attempt::Refused;
    } catch (const css::uno::Exception& e) {
        m_lastError = Describe(e);
    }
    m_link.Abort();
    return Attempt::NoAnswer;
}

bool CalcClient::StartOffice() {
    std::string program = FindOfficeProgram(m_options.soffice);
    if (program.empty()) {
        m_lastError = "No office program is installed";
        return false;
    }
    std::vector<std::string> args{
        "--accept=pipe,name=" + OfficePipeName(m_options.profileDir) + ";urp;", "--norestore",
        "--nologo", "--nodefault"};
    if (!m_options.profileDir.empty()) {
        rtl::OUString url;
        if (osl::FileBase::getFileURLFromSystemPath(FromUtf8(m_options.profileDir), url) !=
            osl::FileBase::E_None) {
            m_lastError = "Bad profile directory " + m_options.profileDir;
            return false;
        }
        args.push_back("-env:UserInstallation=" + ToUtf8(url));
    }
    args.insert(args.end(), m_options.extraArgs.begin(), m_options.extraArgs.end());
    return m_office.Start(program, args, m_lastError);
}

bool CalcClient::Connect() {
    const Clock::time_point deadline = Clock::now() + m_options.startTimeout;
    {
        WatchdogScope guard(m_watchdog, m_options.callTimeout, [this] { m_link.Abort(); });
        if (m_link.Alive()) return true;
    }
    m_lastError = ProfileProblem(m_options.profileDir);
    if (!m_lastError.empty()) return false;
    try {
        LocalUnoContext();
    } catch (const css::uno::Exception& e) {
        m_lastError = "The office runtime cannot start: " + Describe(e);
        return false;
    }
    Attempt attempt = TryConnectOnce(deadline);
    if (attempt != Attempt::NoAnswer) return attempt == Attempt::Connected;

    // Nobody listens: start an office unless the one we started is still
    // coming up. With the user's own profile a running office takes the
    // request over from the new one, which then ends at once.
    bool startedNow = false;
    if (m_office.Poll() != OfficeProcess::State::Running) {
        if (!StartOffice()) return false;
        startedNow = true;
    }
    while (Clock::now() + kPollInterval < deadline) {
        std::this_thread::sleep_for(kPollInterval);
        if (m_office.Poll() == OfficeProcess::State::Failed) {
            m_lastError = "The office ended without answering";
            return false;
        }
        attempt = TryConnectOnce(deadline);
        if (attempt == Attempt::Connected) return true;
        if (attempt == Attempt::Refused) break;
    }
    // One started now that never answered would only be in the way. One that
    // served earlier exports may hold the user's documents: it stays.
    if (startedNow && m_office.Poll() == OfficeProcess::State::Running) m_office.Kill();
    if (attempt == Attempt::NoAnswer)
        m_lastError =
            "No office answered within " + std::to_string(m_options.startTimeout.count()) + " ms";
    return false;
}

Variant CalcClient::Invoke(DispatchHandle object, DispId id, DispatchKind kind,
                           std::span<const Variant> args, VarType resultType) {
    auto it = m_objects.find(object);
    if (it == m_objects.end()) throw AutomationError("Not an object of this client", kInvalidArg);
    Entry& entry = it->second;

    SigpipeGuard pipe;
    calc::Result result;
    {
        WatchdogScope guard(m_watchdog, m_options.callTimeout, [this] { m_link.Abort(); });
        try {
            result = entry.object->Invoke(id, kind, args);
        } catch (const css::lang::DisposedException&) {
            if (m_watchdog.Expired())
                throw AutomationError("The office did not answer within " +
                                          std::to_string(m_options.callTimeout.count()) + " ms",
                                      kException);
            throw AutomationError("The office has gone away", kException);
        } catch (const css::uno::Exception& e) {
            throw AutomationError(Describe(e), kException);
        }
    }
    if (result.object) {
        if (resultType != VT_DISPATCH && resultType != VT_VARIANT) return {};
        return Variant::Dispatch(Register({result.object, entry.session, false}));
    }
    if (resultType == VT_EMPTY) return {};
    return result.value;
}

void CalcClient::Release(DispatchHandle object) noexcept {
    SigpipeGuard pipe;
    auto it = m_objects.find(object);
    if (it == m_objects.end()) return;
    Entry entry = std::move(it->second);
    m_objects.erase(it);
    if (!entry.application || entry.session->visible) return;
    // An application let go before it was shown leaves nothing behind, as
    // nobody could ever see or close what it made.
    try {
        WatchdogScope guard(m_watchdog, m_options.callTimeout, [this] { m_link.Abort(); });
        calc::CloseHiddenDocuments(*entry.session);
    } catch (...) {
    }
}

pid_t CalcClient::StartedOfficePid() {
    return m_office.Poll() == OfficeProcess::State::Running ? m_office.Pid() : 0;
}
