#include "TlsTcpServer.h"

#include <QFile>
#include <QSslSocket>

#include <cstdio>

namespace zorvel::web {

QString TlsTcpServer::useTls(const QString& certificateFile, const QString& keyFile)
{
    QFile cert(certificateFile), key(keyFile);
    if (!cert.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read certificate %1: %2").arg(certificateFile, cert.errorString());
    if (!key.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read key %1: %2").arg(keyFile, key.errorString());
    certificate_ = QSslCertificate(&cert, QSsl::Pem);
    key_ = QSslKey(&key, QSsl::Rsa, QSsl::Pem);
    if (key_.isNull()) {
        key.seek(0);
        key_ = QSslKey(&key, QSsl::Ec, QSsl::Pem);
    }
    if (certificate_.isNull())
        return QStringLiteral("%1 holds no PEM certificate").arg(certificateFile);
    if (key_.isNull())
        return QStringLiteral("%1 holds no PEM RSA or EC private key").arg(keyFile);
    if (!QSslSocket::supportsSsl())
        return QStringLiteral("this Qt has no TLS backend");
    return {};
}

void TlsTcpServer::incomingConnection(qintptr descriptor)
{
    if (!tls()) {
        QTcpServer::incomingConnection(descriptor);
        return;
    }
    auto* socket = new QSslSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    socket->setLocalCertificate(certificate_);
    socket->setPrivateKey(key_);
    socket->setPeerVerifyMode(QSslSocket::VerifyNone);
    const QString peer = socket->peerAddress().toString() + ':' + QString::number(socket->peerPort());
    connect(socket, &QSslSocket::errorOccurred, socket, [socket, peer](QAbstractSocket::SocketError) {
        if (!socket->isEncrypted()) {
            std::fprintf(stderr, "tls handshake with %s failed: %s\n", qPrintable(peer),
                         qPrintable(socket->errorString()));
            std::fflush(stderr);
        }
    });
    // The connection is handed on at once; its readyRead only ever carries decrypted bytes.
    socket->startServerEncryption();
    addPendingConnection(socket);
}

} // namespace zorvel::web
