#include "serial/serial_messages.h"
#include "upload_owner.h"

struct UploadOwner::Impl {
    explicit Impl(OnByte onByte)
        : mailbox([onByte = std::move(onByte)](UINT message, WPARAM wParam, LPARAM) -> LRESULT {
              if (message == WM_SERIAL_BYTE) onByte(static_cast<std::uint8_t>(wParam));
              return 0;
          }) {}
    OwnerMailbox mailbox;
};

UploadOwner::UploadOwner(OnByte onByte) : m_impl(std::make_unique<Impl>(std::move(onByte))) {}

UploadOwner::~UploadOwner() = default;

OwnerHandle UploadOwner::Handle() const {
    return m_impl->mailbox.Handle();
}

void UploadOwner::Pump(std::chrono::milliseconds wait) {
    if (m_impl->mailbox.WaitForSent(std::chrono::steady_clock::now() + wait))
        m_impl->mailbox.DispatchSent();
}

void UploadOwner::Close() {
    m_impl->mailbox.Close();
}

void PrepareStandardOutput() {}
