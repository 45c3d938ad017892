#include "PtyEndpoint.h"

#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace zorvel::sim {

namespace {
constexpr qsizetype kMaxPending = 64 * 1024;

QString systemError(const char* what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}
} // namespace

PtyEndpoint::PtyEndpoint(QObject* parent) : QObject(parent) {}

PtyEndpoint::~PtyEndpoint() { close(); }

void PtyEndpoint::close()
{
    removeLink();
    delete m_readNotifier;
    delete m_writeNotifier;
    m_readNotifier = m_writeNotifier = nullptr;
    if (m_slave >= 0) ::close(m_slave);
    if (m_master >= 0) ::close(m_master);
    m_slave = m_master = -1;
    m_pending.clear();
}

bool PtyEndpoint::open(QString* error)
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0) return *error = systemError("posix_openpt"), false;
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        return *error = systemError("grantpt/unlockpt"), false;
    const char* name = ::ptsname(m_master);
    if (!name) return *error = systemError("ptsname"), false;
    m_slaveName = QString::fromLocal8Bit(name);

    // Our own slave descriptor: never read, only held (see the class comment).
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_slave < 0) return *error = systemError("open slave"), false;
    termios tio{};
    if (::tcgetattr(m_slave, &tio) != 0) return *error = systemError("tcgetattr"), false;
    ::cfmakeraw(&tio);  // no echo by the line discipline, no CR/LF translation
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_lflag |= EXTPROC;  // attribute changes are reported to the master (packet mode)
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    if (::tcsetattr(m_slave, TCSANOW, &tio) != 0) return *error = systemError("tcsetattr"), false;

    int on = 1;
    if (::ioctl(m_master, TIOCPKT, &on) != 0) return *error = systemError("TIOCPKT"), false;
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    m_readNotifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &PtyEndpoint::onReadable);
    m_writeNotifier = new QSocketNotifier(m_master, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &PtyEndpoint::flush);
    return true;
}

bool PtyEndpoint::createLink(const QString& path, QString* error)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isSymLink())
        return *error = QStringLiteral("%1 exists and is not a symbolic link").arg(path), false;
    QDir().mkpath(info.absolutePath());
    // Made beside the target and renamed over it, so the path is never missing.
    const QByteArray target = QFile::encodeName(path);
    const QByteArray temporary = target + ".new" + QByteArray::number(::getpid());
    ::unlink(temporary.constData());
    if (::symlink(QFile::encodeName(m_slaveName).constData(), temporary.constData()) != 0)
        return *error = systemError("symlink"), false;
    if (::rename(temporary.constData(), target.constData()) != 0) {
        *error = systemError("rename");
        ::unlink(temporary.constData());
        return false;
    }
    m_link = path;
    return true;
}

void PtyEndpoint::removeLink()
{
    if (m_link.isEmpty()) return;
    if (QFile::symLinkTarget(m_link) == m_slaveName)
        ::unlink(QFile::encodeName(m_link).constData());
    m_link.clear();
}

qsizetype PtyEndpoint::write(const QByteArray& bytes)
{
    if (m_master < 0) return bytes.size();
    qsizetype dropped = 0;
    if (m_pending.size() + bytes.size() > kMaxPending) {
        dropped = bytes.size();
    } else {
        m_pending += bytes;
    }
    flush();
    return dropped;
}

int PtyEndpoint::waitingForClient() const
{
    int count = 0;
    if (m_slave < 0 || ::ioctl(m_slave, FIONREAD, &count) != 0) return 0;
    return count;
}

void PtyEndpoint::flush()
{
    while (!m_pending.isEmpty()) {
        const ssize_t n = ::write(m_master, m_pending.constData(), static_cast<size_t>(m_pending.size()));
        if (n > 0) {
            m_pending.remove(0, n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break;  // EAGAIN: the terminal's buffer is full until a client reads or flushes
    }
    m_writeNotifier->setEnabled(!m_pending.isEmpty());
}

// A client that clears EXTPROC would make later changes silent: set it again (which is
// reported once more, harmlessly).
void PtyEndpoint::keepExtproc()
{
    termios tio{};
    if (::tcgetattr(m_slave, &tio) != 0 || (tio.c_lflag & EXTPROC)) return;
    tio.c_lflag |= EXTPROC;
    ::tcsetattr(m_slave, TCSANOW, &tio);
}

void PtyEndpoint::onReadable()
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            // Packet mode: a zero byte before data, else one byte of status flags.
            if (buffer[0] == TIOCPKT_DATA) {
                if (n > 1) emit received(QByteArray(buffer + 1, n - 1));
                if (m_master < 0) return;
            } else if (buffer[0] & TIOCPKT_IOCTL) {
                keepExtproc();
                emit attributesSet();
                if (m_master < 0) return;  // closed by a receiver
            }
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) return;
        // EIO or end of file: cannot happen while we hold the slave, but never spin on it.
        m_readNotifier->setEnabled(false);
        QTimer::singleShot(200, this, [this] {
            if (m_readNotifier) m_readNotifier->setEnabled(true);
        });
        return;
    }
}

} // namespace zorvel::sim
