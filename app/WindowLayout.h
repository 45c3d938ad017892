#pragma once
// The main window's controls as data: what each one is, where it sits and how it looks.
// frmMain builds its widgets from this table, in this order.
#include <QRect>
#include <optional>
#include <span>
#include "StatusFields.h"

namespace zorvel {

// The layout was drawn in twips; 15 of them make one pixel at 96 dpi.
inline constexpr int twipsPerPixel = 15;
inline constexpr int clientWidthTwips = 8280;
inline constexpr int clientHeightTwips = 3225;

enum class ControlKind {
    DisplayField, // read-only text, black background
    StatusBox,    // the multi-line modem answer behind the status band
    SignalBar,    // a filled rectangle
    InputBox,     // operator input
    Button,
    Label,
    Line,         // horizontal separator
};

enum class FontStyle { Normal, Bold, LargeBold };

// Where the text sits inside the control.
enum class TextAlign { Left, Centre, Right };

struct ControlDef {
    const char* name;       // objectName, as the rest of the program calls the control
    ControlKind kind;
    const char* caption;    // fixed text of unbound controls; bound ones show their field
    int left, top, width, height; // twips
    TextAlign align = TextAlign::Left;
    FontStyle font = FontStyle::Normal;
    std::optional<Rgb> textColour = {}; // only where the control differs from its kind
    std::optional<Field> field = {};    // the status field it shows
    const char* accessibleName = nullptr;
};

std::span<const ControlDef> windowControls();

QRect pixelRect(const ControlDef& control);

} // namespace zorvel
