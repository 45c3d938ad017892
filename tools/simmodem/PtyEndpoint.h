#pragma once
// The modem's end of a pseudo-terminal. The client opens the slave side (through a
// symbolic link) and closes it after every command; this class keeps its own slave
// descriptor open all the time, so the master never sees a hang-up (a master whose slave
// is closed reads EIO/POLLHUP at once, and a read notifier on it would spin).
//
// The master runs in packet mode and the slave has EXTPROC set, so that every change of
// the terminal's attributes by a client (QSerialPort sets them when it opens the port and
// again when it closes it) reaches the master as a TIOCPKT_IOCTL status: the one sign of a
// client opening the port that the modem's side can see without polling.
#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

namespace zorvel::sim {

class PtyEndpoint : public QObject {
    Q_OBJECT
public:
    explicit PtyEndpoint(QObject* parent = nullptr);
    ~PtyEndpoint() override;

    // Creates the terminal, sets the slave raw (9600 8N1) and starts reading.
    bool open(QString* error);
    // Removes the link and closes the terminal: a client still holding the slave side
    // reads a hang-up, as from a USB modem pulled out. open() makes a new one.
    void close();
    bool isOpen() const { return m_master >= 0; }
    QString slaveName() const { return m_slaveName; }

    // Points `path` at the slave, replacing a symbolic link already there (never a file).
    bool createLink(const QString& path, QString* error);
    // Removes the link if it still points at this terminal.
    void removeLink();

    // Queues bytes for the client; they are written without blocking as the terminal
    // takes them. Returns how many bytes were dropped because too much waits already.
    qsizetype write(const QByteArray& bytes);
    bool writePending() const { return !m_pending.isEmpty(); }
    // Bytes written but not yet read by any client (they wait in the slave's input).
    int waitingForClient() const;

signals:
    void received(const QByteArray& bytes);
    // A client set the terminal's attributes (opening or closing the port).
    void attributesSet();

private:
    void onReadable();
    void flush();
    void keepExtproc();

    int m_master = -1;
    int m_slave = -1;
    QString m_slaveName;
    QString m_link;
    QSocketNotifier* m_readNotifier = nullptr;
    QSocketNotifier* m_writeNotifier = nullptr;
    QByteArray m_pending;
};

} // namespace zorvel::sim
