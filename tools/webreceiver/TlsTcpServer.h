#pragma once
// A listening socket whose accepted connections speak TLS with the given certificate and
// key; without them it accepts plain TCP. Handshake failures go to standard error (a
// client that does not trust the certificate never sends its request).
#include <QSslCertificate>
#include <QSslKey>
#include <QTcpServer>

namespace zorvel::web {

class TlsTcpServer : public QTcpServer {
    Q_OBJECT
public:
    using QTcpServer::QTcpServer;

    // Reads both PEM files; an error text, or empty.
    QString useTls(const QString& certificateFile, const QString& keyFile);
    bool tls() const { return !certificate_.isNull(); }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    QSslCertificate certificate_;
    QSslKey key_;
};

} // namespace zorvel::web
