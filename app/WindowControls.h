#pragma once
// Builds one widget of the main window from its row in the layout table and gives it the
// look of its kind; the colour helpers are shared with the status binding.
#include <QColor>
#include "WindowLayout.h"

class QFont;
class QWidget;

namespace zorvel {

// The layout was drawn for "MS Sans Serif", which does not exist here; Liberation Sans
// at the same pixel size keeps every caption inside its rectangle.
QFont windowFont();

QWidget* createControl(const ControlDef& def, QWidget* parent);

inline QColor toQColor(Rgb c) { return QColor(c.r, c.g, c.b); }

// Text colour of a display field or the status box; fill colour of a signal bar.
void setTextColour(QWidget* widget, Rgb colour);
void setFillColour(QWidget* widget, Rgb colour);

} // namespace zorvel
