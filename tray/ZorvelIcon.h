#pragma once
// The program's own icon, a modem sending a letter, in 16 colours at 32 x 32 and 16 x 16.
// It is the window's icon and the tray icon.
#include <QIcon>

namespace zorvel {

QIcon ZorvelIcon();

} // namespace zorvel
