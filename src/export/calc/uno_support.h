#pragma once

#include <com/sun/star/uno/Exception.hpp>
#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <rtl/ustring.hxx>
#include <string>

namespace css = com::sun::star;

inline std::string ToUtf8(const rtl::OUString& text) {
    rtl::OString bytes = rtl::OUStringToOString(text, RTL_TEXTENCODING_UTF8);
    return std::string(bytes.getStr(), static_cast<std::size_t>(bytes.getLength()));
}

inline rtl::OUString FromUtf8(const std::string& text) {
    return rtl::OUString(text.data(), static_cast<sal_Int32>(text.size()), RTL_TEXTENCODING_UTF8);
}

// The in-process UNO runtime, set up once. Throws when the office's runtime
// files are missing or broken.
css::uno::Reference<css::uno::XComponentContext> LocalUnoContext();
