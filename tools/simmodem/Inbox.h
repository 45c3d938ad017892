#pragma once
// The spool folder (--inbox): writers put a file there under a temporary name (starting
// with "." or ending in ".tmp") and rename it when complete. Each complete file is read,
// handed on, and deleted; "*.ctl" files are control files, all others message files.
#include <QByteArray>
#include <QFileSystemWatcher>
#include <QObject>
#include <QString>

namespace zorvel::sim {

class Inbox : public QObject {
    Q_OBJECT
public:
    explicit Inbox(QObject* parent = nullptr);
    bool watch(const QString& folder, QString* error);
    void scan();

    // Set by the receiver of messageFile when the file was not understood: the file is
    // then renamed to "<name>.bad" instead of being deleted.
    void reject() { m_rejected = true; }

signals:
    void messageFile(const QString& name, const QByteArray& contents);
    void controlFile(const QString& name, const QByteArray& contents);

private:
    QString m_folder;
    QFileSystemWatcher m_watcher;
    bool m_rejected = false;
};

} // namespace zorvel::sim
