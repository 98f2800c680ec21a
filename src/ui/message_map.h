#pragma once

#include <functional>
#include <vector>

#include "winapi/win_types.h"

class CDialog;

// Routes window messages and button clicks to a dialog's handlers. Entries
// are searched in the order they were added; a message without an entry goes
// to the dialog's default handling.
class MessageMap {
public:
    using Call = std::function<LRESULT(CDialog&, WPARAM, LPARAM)>;
    struct Entry {
        UINT message;
        int id;  // WM_COMMAND: the control; otherwise unused
        UINT code;
        Call call;
    };

    const Entry* Find(UINT message, WPARAM wParam) const {
        for (const Entry& e : m_entries) {
            if (e.message != message) continue;
            if (message != WM_COMMAND) return &e;
            if (static_cast<int>(LoWord(wParam)) == e.id && HiWord(wParam) == e.code) return &e;
        }
        return nullptr;
    }

    template <class D>
    class Builder;

private:
    std::vector<Entry> m_entries;
};

template <class D>
class MessageMap::Builder {
public:
    Builder& OnSysCommand(void (D::*f)(UINT, LPARAM)) {
        return Add(WM_SYSCOMMAND, 0, 0, [f](CDialog& d, WPARAM w, LPARAM l) -> LRESULT {
            (static_cast<D&>(d).*f)(static_cast<UINT>(w), l);
            return 0;
        });
    }
    Builder& OnPaint(void (D::*f)()) {
        return Add(WM_PAINT, 0, 0, [f](CDialog& d, WPARAM, LPARAM) -> LRESULT {
            (static_cast<D&>(d).*f)();
            return 0;
        });
    }
    Builder& OnQueryDragIcon(HCURSOR (D::*f)()) {
        return Add(WM_QUERYDRAGICON, 0, 0, [f](CDialog& d, WPARAM, LPARAM) -> LRESULT {
            return reinterpret_cast<LRESULT>((static_cast<D&>(d).*f)());
        });
    }
    Builder& OnClicked(int id, void (D::*f)()) {
        return Add(WM_COMMAND, id, BN_CLICKED, [f](CDialog& d, WPARAM, LPARAM) -> LRESULT {
            (static_cast<D&>(d).*f)();
            return 0;
        });
    }
    Builder& OnMessage(UINT message, LRESULT (D::*f)(WPARAM, LPARAM)) {
        return Add(message, 0, 0, [f](CDialog& d, WPARAM w, LPARAM l) -> LRESULT {
            return (static_cast<D&>(d).*f)(w, l);
        });
    }
    MessageMap Build() { return std::move(m_map); }

private:
    Builder& Add(UINT message, int id, UINT code, Call call) {
        m_map.m_entries.push_back(Entry{message, id, code, std::move(call)});
        return *this;
    }
    MessageMap m_map;
};
