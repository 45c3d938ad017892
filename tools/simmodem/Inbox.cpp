#include "Inbox.h"

#include <QDir>
#include <QFile>

namespace zorvel::sim {

Inbox::Inbox(QObject* parent) : QObject(parent)
{
    // inotify: no wake-ups while nothing happens in the folder.
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &Inbox::scan);
}

bool Inbox::watch(const QString& folder, QString* error)
{
    if (!QDir().mkpath(folder)) return *error = QStringLiteral("cannot create %1").arg(folder), false;
    m_folder = folder;
    if (!m_watcher.addPath(folder)) return *error = QStringLiteral("cannot watch %1").arg(folder), false;
    return true;
}

void Inbox::scan()
{
    const QDir dir(m_folder);
    const QStringList names = dir.entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        if (name.startsWith('.') || name.endsWith(".tmp") || name.endsWith(".bad")) continue;
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly)) continue;
        const QByteArray contents = file.readAll();
        file.close();
        m_rejected = false;
        if (name.endsWith(".ctl")) emit controlFile(name, contents);
        else emit messageFile(name, contents);
        if (m_rejected) {
            QFile::remove(file.fileName() + ".bad");
            file.rename(file.fileName() + ".bad");
        } else {
            file.remove();
        }
    }
}

} // namespace zorvel::sim
