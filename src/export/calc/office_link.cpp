#include "export/calc/office_link.h"

#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/connection/ConnectionSetupException.hpp>
#include <com/sun/star/connection/Connector.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/XMultiComponentFactory.hpp>
#include <condition_variable>
#include <exception>
#include <memory>
#include <thread>

#include "export/calc/office_pipe.h"
#include "export/calc/sigpipe_guard.h"

using namespace css::uno;

namespace {

constexpr int kConnectTries = 3;

// The thread that connects, while it runs. One whose connect blocks is
// given up by its caller but stays until the pipe's owner accepts or goes
// away; a new connect waits for it within its own limit rather than leave
// another blocked beside it, one more per click. Never destroyed: such a
// thread may outlive everything else.
struct ConnectThread {
    std::mutex mutex;
    std::condition_variable ended;
    bool running = false;
};
ConnectThread& TheConnectThread() {
    static ConnectThread* const thread = new ConnectThread;
    return *thread;
}
// Gives the connect thread's place up when it goes.
struct LeaveConnectThread {
    ~LeaveConnectThread() {
        ConnectThread& thread = TheConnectThread();
        std::lock_guard lock(thread.mutex);
        thread.running = false;
        thread.ended.notify_all();
    }
};

// Connecting to a pipe whose owner never accepts blocks with nothing to
// break, so it runs on a thread of its own and is given up after `limit`.
// A connection that comes after that is closed by that thread.
Reference<css::connection::XConnection> ConnectWithin(const Reference<XComponentContext>& local,
                                                      const std::string& pipeName,
                                                      std::chrono::milliseconds limit) {
    struct Attempt {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        bool abandoned = false;
        Reference<css::connection::XConnection> connection;
        std::exception_ptr error;
    };
    const auto deadline = std::chrono::steady_clock::now() + limit;
    const css::connection::NoConnectException noConnection(
        FromUtf8("The office's pipe takes no connection"), nullptr);
    auto attempt = std::make_shared<Attempt>();
    auto connector = css::connection::Connector::create(local);
    const rtl::OUString description = FromUtf8("pipe,name=" + pipeName);
    {
        ConnectThread& thread = TheConnectThread();
        std::unique_lock lock(thread.mutex);
        // One still blocked at the end: this one would block the same way.
        if (!thread.ended.wait_until(lock, deadline, [&] { return !thread.running; }))
            throw noConnection;
        thread.running = true;
    }
    try {
        std::thread([attempt, connector, description] {
            LeaveConnectThread leave;
            Reference<css::connection::XConnection> connection;
            std::exception_ptr error;
            try {
                connection = connector->connect(description);
            } catch (...) {
                error = std::current_exception();
            }
            std::unique_lock lock(attempt->mutex);
            if (attempt->abandoned) {
                lock.unlock();
                try {
                    if (connection.is()) connection->close();
                } catch (...) {
                }
                return;
            }
            attempt->connection = connection;
            attempt->error = error;
            attempt->finished = true;
            attempt->done.notify_all();
        }).detach();
    } catch (...) {
        LeaveConnectThread leave;
        throw;
    }

    std::unique_lock lock(attempt->mutex);
    if (!attempt->done.wait_until(lock, deadline, [&] { return attempt->finished; })) {
        attempt->abandoned = true;
        throw noConnection;
    }
    if (attempt->error) std::rethrow_exception(attempt->error);
    return attempt->connection;
}

}  // namespace

void OfficeLink::Connect(const std::string& pipeName, std::chrono::milliseconds limit) {
    // The bridge's threads start here and keep this thread's signal mask, so
    // an office that closes the connection gives them EPIPE instead of ending
    // the program with SIGPIPE.
    SigpipeGuard pipe;
    Break();
    // Never another user's socket: it would get all we send.
    switch (WhoHoldsPipe(pipeName)) {
        case PipeHolder::Nobody:
            throw css::connection::NoConnectException(FromUtf8("No office listens on the pipe"),
                                                      nullptr);
        case PipeHolder::Other:
            throw css::connection::ConnectionSetupException(
                FromUtf8("The office's pipe " + OfficePipePath(pipeName) + " is not this user's"),
                nullptr);
        case PipeHolder::ThisUser:
            break;
    }
    const unsigned aborts = Aborts();
    const auto deadline = std::chrono::steady_clock::now() + limit;
    // An office may drop a new connection before it answers the first call
    // on it (seen with several connections coming up at once under load).
    // Then it is made anew, unless it was aborted meanwhile.
    for (int tries = 1;; ++tries) {
        try {
            ConnectOnce(pipeName,
                        std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now()),
                        aborts);
            break;
        } catch (const css::lang::DisposedException&) {
            if (tries == kConnectTries || Aborts() != aborts ||
                std::chrono::steady_clock::now() >= deadline)
                throw;
            Break();
        }
    }
    RestrictPipe(pipeName);
}

void OfficeLink::ConnectOnce(const std::string& pipeName, std::chrono::milliseconds limit,
                             unsigned aborts) {
    Reference<XComponentContext> local = LocalUnoContext();
    Reference<css::connection::XConnection> connection = ConnectWithin(local, pipeName, limit);
    {
        // Published before the first call on it, so Abort can break it; one
        // aborted meanwhile is not made at all.
        std::lock_guard lock(m_mutex);
        m_connection = connection;
        if (m_aborts != aborts) {
            m_connection.clear();
            try {
                connection->close();
            } catch (...) {
            }
            throw css::lang::DisposedException(FromUtf8("The connection was aborted"), nullptr);
        }
    }
    Reference<css::bridge::XBridge> bridge =
        css::bridge::BridgeFactory::create(local)->createBridge("", "urp", connection, nullptr);
    {
        std::lock_guard lock(m_mutex);
        m_bridge.set(bridge, UNO_QUERY);
    }
    Reference<XComponentContext> remote(bridge->getInstance("StarOffice.ComponentContext"),
                                        UNO_QUERY_THROW);
    Reference<css::frame::XDesktop2> desktop = css::frame::Desktop::create(remote);
    std::lock_guard lock(m_mutex);
    m_remote = remote;
    m_desktop = desktop;
}

void OfficeLink::Abort() noexcept {
    {
        std::lock_guard lock(m_mutex);
        ++m_aborts;
    }
    Break();
}

unsigned OfficeLink::Aborts() const {
    std::lock_guard lock(m_mutex);
    return m_aborts;
}

void OfficeLink::Break() noexcept {
    Reference<css::lang::XComponent> bridge;
    Reference<css::connection::XConnection> connection;
    {
        std::lock_guard lock(m_mutex);
        bridge = std::move(m_bridge);
        connection = std::move(m_connection);
        m_bridge.clear();
        m_connection.clear();
        m_remote.clear();
        m_desktop.clear();
    }
    try {
        if (bridge.is()) bridge->dispose();
    } catch (...) {
    }
    try {
        if (connection.is()) connection->close();
    } catch (...) {
    }
}

bool OfficeLink::Alive() {
    Reference<XComponentContext> remote = Context();
    if (!remote.is()) return false;
    try {
        return remote->getServiceManager().is();
    } catch (const Exception&) {
        return false;
    }
}

Reference<XComponentContext> OfficeLink::Context() const {
    std::lock_guard lock(m_mutex);
    return m_remote;
}

Reference<css::frame::XDesktop2> OfficeLink::Desktop() const {
    std::lock_guard lock(m_mutex);
    return m_desktop;
}
