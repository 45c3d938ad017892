#include "EventLog.h"

#include <QDateTime>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace zorvel::sim {

EventLog::~EventLog()
{
    if (m_owned) ::close(m_fd);
}

bool EventLog::open(const QString& path, QString* error)
{
    if (path.isEmpty() || path == "-") return true;
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    m_fd = fd;
    m_owned = true;
    return true;
}

void EventLog::write(const QByteArray& kind, const QByteArray& detail)
{
    QByteArray line = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")).toLatin1();
    line += ' ';
    line += kind;
    if (!detail.isEmpty()) line += ' ' + detail;
    line += '\n';
    // One write per line: lines never interleave and a reader never sees half a line
    // for longer than the write takes.
    const char* p = line.constData();
    qsizetype left = line.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, p, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        p += n;
        left -= n;
    }
}

} // namespace zorvel::sim
