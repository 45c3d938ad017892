#include "ControlFile.h"

#include <QFile>

namespace zorvel::web {

namespace {

std::optional<int> number(const QByteArray& text, int min, int max)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < min || value > max) return std::nullopt;
    return value;
}

} // namespace

ParsedControl parseControl(const QByteArray& text)
{
    ParsedControl out;
    int lineNumber = 0;
    for (const QByteArray& rawLine : text.split('\n')) {
        ++lineNumber;
        const QByteArray line = rawLine.simplified();
        if (line.isEmpty() || line.startsWith('#')) continue;
        const QList<QByteArray> words = line.split(' ');
        const QByteArray& verb = words[0];
        const QByteArray argument = words.size() == 2 ? words[1] : QByteArray();
        bool understood = words.size() == 2;
        if (understood && verb == "status") {
            const auto status = number(argument, 100, 599);
            if (argument == "auto") out.overrides.status.reset();
            else if (status) out.overrides.status = status;
            else understood = false;
        } else if (understood && verb == "delay") {
            const auto delay = number(argument, 0, 3'600'000);
            if (argument == "auto") out.overrides.delayMs.reset();
            else if (delay) out.overrides.delayMs = delay;
            else understood = false;
        } else if (understood && verb == "reset" && (argument == "on" || argument == "off")) {
            out.overrides.reset = argument == "on";
        } else {
            understood = false;
        }
        if (!understood)
            out.warnings.append(QStringLiteral("control line %1 ignored: %2").arg(lineNumber).arg(QString::fromUtf8(line)));
    }
    return out;
}

ParsedControl readControlFile(const QString& path)
{
    if (path.isEmpty()) return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return parseControl(file.readAll());
}

} // namespace zorvel::web
