#include "export/calc/office_link.h"

#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/connection/Connector.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/lang/XMultiComponentFactory.hpp>

using namespace css::uno;

void OfficeLink::Connect(const std::string& pipeName) {
    Abort();
    Reference<XComponentContext> local = LocalUnoContext();
    Reference<css::connection::XConnection> connection =
        css::connection::Connector::create(local)->connect(FromUtf8("pipe,name=" + pipeName));
    {
        // Published before the first call on it, so Abort can break it.
        std::lock_guard lock(m_mutex);
        m_connection = connection;
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
