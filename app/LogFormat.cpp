#include "LogFormat.h"

#include <QStringList>
#include <QtGlobal>
#include <cstdio>
#include <sys/stat.h>

#include "SimReplies.h"

namespace zorvel {

namespace {

bool stderrIsJournal()
{
    struct stat info {};
    if (fstat(fileno(stderr), &info) != 0)
        return false;
    return JournalStreamMatches(qgetenv("JOURNAL_STREAM"), info.st_dev, info.st_ino);
}

void writeLines(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    // A modem may quote the PIN in any line (an error that repeats the command): the last
    // place to keep it out. A line without it stays as it was, byte for byte.
    QString text = message;
    const std::string original = message.toStdString();
    if (const std::string hidden = HidePinDigits(original); hidden != original)
        text = QString::fromStdString(hidden);
    QByteArray out;
    for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        out += qFormatLogMessage(type, context, line).toUtf8();
        out += '\n';
    }
    // One write per event, so lines of two events never interleave.
    std::fwrite(out.constData(), 1, static_cast<std::size_t>(out.size()), stderr);
    std::fflush(stderr);
}

} // namespace

bool JournalStreamMatches(const QByteArray& journalStream, dev_t device, ino_t inode)
{
    const qsizetype colon = journalStream.indexOf(':');
    if (colon <= 0)
        return false;
    bool deviceOk = false, inodeOk = false;
    const qulonglong d = journalStream.left(colon).toULongLong(&deviceOk);
    const qulonglong i = journalStream.mid(colon + 1).toULongLong(&inodeOk);
    return deviceOk && inodeOk && d == static_cast<qulonglong>(device)
        && i == static_cast<qulonglong>(inode);
}

QString LogPattern(bool toJournal)
{
    const QString text = QStringLiteral("%{if-category}%{category}: %{endif}%{message}");
    if (toJournal)
        return QStringLiteral("%{if-debug}<7>%{endif}%{if-info}<6>%{endif}%{if-warning}<4>%{endif}"
                              "%{if-critical}<3>%{endif}%{if-fatal}<2>%{endif}")
            + text;
    return QStringLiteral("%{time yyyy-MM-dd HH:mm:ss.zzz} ") + text;
}

void InstallLogFormat()
{
    qSetMessagePattern(LogPattern(stderrIsJournal()));
    qInstallMessageHandler(writeLines);
}

} // namespace zorvel
