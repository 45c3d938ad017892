#include "WindowLayout.h"

namespace zorvel {

namespace {

constexpr Rgb grey{128, 128, 128};

using K = ControlKind;
using A = TextAlign;
using F = FontStyle;

// Creation order matters: where controls overlap, the later one lies on top (except the
// modem answer box, which frmMain sends to the back). The HTTP client, the serial port
// and the poll timer have no place on screen and are not in this table.
constexpr ControlDef controls[] = {
    {"txtPDUmode", K::DisplayField, nullptr, 5040, 480, 1335, 255,
     A::Left, F::Normal, {}, Field::txtPDUmode, "Message format"},
    {"txtSYSINFO", K::DisplayField, nullptr, 5040, 960, 3135, 255,
     A::Left, F::Normal, {}, Field::txtSYSINFO, "Network summary"},
    {"txtIMSI", K::DisplayField, nullptr, 3360, 720, 1695, 255,
     A::Left, F::Normal, {}, Field::txtIMSI, "IMSI"},
    {"txtIMEI", K::DisplayField, nullptr, 5040, 720, 1935, 255,
     A::Left, F::Normal, {}, Field::txtIMEI, "IMEI"},
    {"txtSignal", K::DisplayField, nullptr, 3840, 360, 1215, 285,
     A::Right, F::LargeBold, {}, Field::txtSignal, "Signal strength"},
    {"picS4", K::SignalBar, nullptr, 7680, 240, 255, 495,
     A::Left, F::Normal, {}, Field::picS4, "Signal bar 4"},
    {"picS5", K::SignalBar, nullptr, 7920, 120, 255, 615,
     A::Left, F::Normal, {}, Field::picS5, "Signal bar 5"},
    {"picS3", K::SignalBar, nullptr, 7440, 360, 255, 375,
     A::Left, F::Normal, {}, Field::picS3, "Signal bar 3"},
    {"picS2", K::SignalBar, nullptr, 7200, 480, 255, 255,
     A::Left, F::Normal, {}, Field::picS2, "Signal bar 2"},
    {"picS1", K::SignalBar, nullptr, 6960, 600, 255, 135,
     A::Left, F::Normal, {}, Field::picS1, "Signal bar 1"},
    {"txtSendMsg", K::InputBox, nullptr, 3000, 2520, 3735, 285},
    {"txtSendNumber", K::InputBox, nullptr, 120, 2520, 2775, 285},
    {"cmdSendText", K::Button, "Send", 6840, 2400, 1335, 495},
    {"txtReady", K::DisplayField, nullptr, 5040, 720, 615, 195,
     A::Left, F::Normal, {}, Field::txtReady, "Ready indicator"},
    {"txtPhoneNo", K::DisplayField, nullptr, 3360, 480, 1935, 255,
     A::Left, F::Normal, {}, Field::txtPhoneNo, "Own number"},
    {"txtCounter", K::DisplayField, nullptr, 1440, 960, 1575, 255,
     A::Right, F::Normal, {}, Field::txtCounter, "Forwarded messages"},
    {"txtNetName", K::DisplayField, nullptr, 7080, 720, 1095, 195,
     A::Centre, F::Normal, {}, Field::txtNetName, "Operator"},
    {"txtLastCheck", K::DisplayField, nullptr, 3120, 960, 1695, 255,
     A::Right, F::Normal, {}, Field::txtLastCheck, "Time of last modem command"},
    {"txtStatus", K::StatusBox, nullptr, 0, 0, 8295, 1335,
     A::Left, F::Normal, {}, Field::txtStatus, "Modem answer"},
    {"Label5", K::Label,
     "This can also be used to check a prepay SIMs balance on many networks by texting a "
     "network number.",
     0, 1920, 8295, 255, A::Centre, F::Normal, grey},
    {"Label4", K::Label, "Message:", 3000, 2280, 2055, 255, A::Left, F::Bold},
    {"Label2", K::Label, "Destination Number:", 120, 2280, 1935, 255, A::Left, F::Bold},
    {"Line1", K::Line, nullptr, 0, 1560, 8280, 0},
    {"Label1", K::Label,
     "Send a message (this may needed occasionally to prevent the SIM from being "
     "disconnected due to lack of use).",
     0, 1680, 8175, 255, A::Centre, F::Normal, grey},
    {"lblVersion", K::Label, "V0.00", 7440, 3000, 735, 255,
     A::Right, F::Normal, colours::black},
    {"lblCopyright", K::Label, "", 0, 3000, 8295, 255, A::Centre, F::Bold, colours::black},
    {"lblSMSstamp", K::Label, nullptr, 960, 1320, 3135, 255,
     A::Left, F::Normal, {}, Field::lblSMSstamp, "Sender and time of the last message"},
    {"Label3", K::Label, "Last Msg:", 0, 1320, 975, 255, A::Left, F::Bold},
    {"lblSMS", K::Label, nullptr, 4200, 1320, 3975, 255,
     A::Left, F::Normal, {}, Field::lblSMS, "Text of the last message"},
    // A short note when forwarding fails. It fits between the status band and the line, and
    // covers the tail of the last message only while it has something to say.
    {"lblForwardProblem", K::Label, nullptr, 5880, 1335, 2295, 225,
     A::Right, F::Normal, colours::red, Field::lblForwardProblem, "Forwarding problem"},
};

} // namespace

std::span<const ControlDef> windowControls()
{
    return controls;
}

QRect pixelRect(const ControlDef& control)
{
    return {control.left / twipsPerPixel, control.top / twipsPerPixel,
            control.width / twipsPerPixel, control.height / twipsPerPixel};
}

} // namespace zorvel
