#include "export/calc/uno_support.h"

#include <cppuhelper/bootstrap.hxx>
#include <mutex>
#include <rtl/bootstrap.hxx>
#include <stdexcept>

#ifndef KELVARIN_URE_BOOTSTRAP
#define KELVARIN_URE_BOOTSTRAP "vnd.sun.star.pathname:/usr/lib/libreoffice/program/fundamentalrc"
#endif

css::uno::Reference<css::uno::XComponentContext> LocalUnoContext() {
    static std::mutex mutex;
    static css::uno::Reference<css::uno::XComponentContext> context;
    std::lock_guard lock(mutex);
    if (!context.is()) {
        // Without it the runtime finds no type library and fails deep inside
        // the bridge instead of here.
        rtl::OUString value;
        if (!rtl::Bootstrap::get("URE_BOOTSTRAP", value))
            rtl::Bootstrap::set("URE_BOOTSTRAP", KELVARIN_URE_BOOTSTRAP);
        try {
            context = cppu::defaultBootstrap_InitialComponentContext();
        } catch (const cppu::BootstrapException& e) {
            // Not an uno::Exception; make it one so callers handle one kind.
            throw css::uno::RuntimeException(e.getMessage());
        }
    }
    return context;
}
