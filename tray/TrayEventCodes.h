#pragma once
// What Qt reports about the tray icon, turned into the event codes the tray class knows.
// The one place where that translation is decided.
#include <QSystemTrayIcon>
#include <cstdint>

namespace zorvel {

// A click on the icon. Qt reports a left double click as Trigger then DoubleClick, so it
// arrives here as the left button's release followed by the double click.
std::int32_t CodeForActivation(QSystemTrayIcon::ActivationReason reason);

// How a balloon that was showing went away.
enum class BalloonEnd {
    Clicked,  // the user clicked it
    TimedOut, // still showing when its time-out ran out
    Replaced, // a newer balloon, or an empty one, took its place
};
std::int32_t CodeForBalloonEnd(BalloonEnd end);

} // namespace zorvel
