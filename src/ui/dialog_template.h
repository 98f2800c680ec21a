#pragma once

#include <cstdint>
#include <span>

// Dialog templates as data: every backend builds its window from the same
// table, so positions, sizes, order and styles are written down once, in
// dialog units (a quarter of the dialog font's average character width
// across, an eighth of its height down).

enum class ControlKind {
    PushButton,  // the default push button is marked by kDefault
    Static,      // text label
    Icon,        // static picture showing an icon resource
    DropList,    // combo box without typing
    Edit,
    ListView,
};

// Control styles, independent of any window system.
enum ControlStyle : std::uint32_t {
    kVisible = 1u << 0,
    kTabStop = 1u << 1,
    kDefault = 1u << 2,  // push button: the dialog's default button
    kBorder = 1u << 3,
    kVScroll = 1u << 4,
    kReadOnly = 1u << 5,        // edit
    kCentered = 1u << 6,        // edit: text centred
    kAutoHScroll = 1u << 7,     // edit: scrolls horizontally as needed
    kReport = 1u << 8,          // list view: report view with column headers
    kSingleSelect = 1u << 9,    // list view: one row at most
    kShowSelAlways = 1u << 10,  // list view: selection shown without focus
    kEditLabels = 1u << 11,     // list view: labels editable
    kNoPrefix = 1u << 12,       // static: '&' is shown, not a mnemonic
    kLeft = 1u << 13,           // static: left-aligned
};

// Dialog styles.
enum DialogStyle : std::uint32_t {
    kCaption = 1u << 0,
    kSysMenu = 1u << 1,     // system menu with its close box
    kModalFrame = 1u << 2,  // fixed frame, not sizeable
    kMinimizeBox = 1u << 3,
    kMaximizeBox = 1u << 4,
    kAppWindow = 1u << 5,  // own task-bar button
};

struct ControlTemplate {
    int id;  // -1 for a control nobody addresses
    ControlKind kind;
    const char* text;  // UTF-8; for an icon, unused
    int x, y, cx, cy;
    std::uint32_t style;
    int resource = 0;  // icon: the resource id it shows
};

struct DialogTemplate {
    int id;
    const char* caption;  // UTF-8
    const char* fontName;
    int pointSize;
    int cx, cy;
    std::uint32_t style;
    std::span<const ControlTemplate> controls;

    const ControlTemplate* Find(int controlId) const {
        for (const ControlTemplate& c : controls)
            if (c.id == controlId) return &c;
        return nullptr;
    }

    // The nearest visible control right of `c` on the rows it spans, which a
    // label too narrow for its text may grow up to; nullptr: the dialog's edge.
    const ControlTemplate* RightNeighbour(const ControlTemplate& c) const {
        const ControlTemplate* nearest = nullptr;
        for (const ControlTemplate& other : controls) {
            const bool sameRows = other.y < c.y + c.cy && c.y < other.y + other.cy;
            if (&other != &c && (other.style & kVisible) && sameRows && other.x >= c.x + c.cx &&
                (!nearest || other.x < nearest->x))
                nearest = &other;
        }
        return nearest;
    }
};
