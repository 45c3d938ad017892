#pragma once
// How log lines look on standard error. Every line is "<category>: <text>", without
// colour. In a terminal or a file each line starts with the local date and time; when
// standard error is the systemd journal (JOURNAL_STREAM names that very stream) the
// journal adds its own time, so the line starts with the priority instead ("<6>" for
// info, "<4>" warning, "<3>" error), which journald reads and strips. A message of
// several lines (the configuration error) becomes several lines with the same prefix.
// QT_MESSAGE_PATTERN, when set, still overrides the layout. The PIN of the configuration
// (SetPinToHide) never shows, whatever the line.
#include <QByteArray>
#include <QString>
#include <sys/types.h>

namespace zorvel {

// JOURNAL_STREAM is "<device>:<inode>" of the stream systemd connected; it only counts
// when standard error is still that stream (not redirected by a script in between).
bool JournalStreamMatches(const QByteArray& journalStream, dev_t device, ino_t inode);

QString LogPattern(bool toJournal);

// Installs the pattern and a handler that writes every line to standard error at once.
void InstallLogFormat();

} // namespace zorvel
