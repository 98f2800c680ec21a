#pragma once

#include <chrono>
#include <com/sun/star/connection/XConnection.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <mutex>
#include <string>

#include "export/calc/uno_support.h"

// One connection to an office over its named pipe.
class OfficeLink {
public:
    // Throws css::uno::Exception: NoConnectException when no office listens
    // on the pipe or none takes the connection within `limit`,
    // ConnectionSetupException when the pipe is not this user's. A connection
    // the office drops before answering is made again within `limit`. Once
    // the office answers, only this user can reach it through the pipe.
    void Connect(const std::string& pipeName,
                 std::chrono::milliseconds limit = std::chrono::seconds(20));
    // From any thread: breaks the connection, so that calls blocked on it
    // return with DisposedException.
    void Abort() noexcept;
    // Whether the office still answers over this connection.
    bool Alive();

    css::uno::Reference<css::uno::XComponentContext> Context() const;
    css::uno::Reference<css::frame::XDesktop2> Desktop() const;

private:
    void ConnectOnce(const std::string& pipeName, std::chrono::milliseconds limit, unsigned aborts);
    unsigned Aborts() const;
    // Drops the connection; unlike Abort, a connect under way goes on.
    void Break() noexcept;

    mutable std::mutex m_mutex;
    unsigned m_aborts = 0;  // calls of Abort so far
    css::uno::Reference<css::connection::XConnection> m_connection;
    css::uno::Reference<css::lang::XComponent> m_bridge;
    css::uno::Reference<css::uno::XComponentContext> m_remote;
    css::uno::Reference<css::frame::XDesktop2> m_desktop;
};
