#pragma once
// How a screen reader sees the window's read-only texts: as read-only text (the role of a
// read-only line edit) named after what the field shows ("IMEI", "Modem answer"), with the
// shown text as its value and its text, selectable.

namespace zorvel {

// Registers the interface with Qt's accessibility once; later calls do nothing.
void installReadOnlyTextAccessible();

} // namespace zorvel
