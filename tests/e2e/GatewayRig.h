#pragma once
// The real program in a folder of its own, with the project's simulated modem as COM3 and
// the local web receiver as its destination; the test reads both helpers' logs.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "e2e/Account.h"

namespace zorvel::testing {

struct Received {
    QByteArray key, sender, time, message;
    int status = 0;
};

class GatewayRig {
public:
    QTemporaryDir dir;
    QProcess modem, receiver, gateway;
    QString address;
    // What the program's zorvel.ini names: Dest is scheme://address + destPath.
    QByteArray key = "s3cr+t &key";
    QByteArray scheme = "http", destPath = "/sms";
    QStringList gatewayArgs;  // the program's command line, say {"--no-window"}

    QString path(const QString& name) const { return dir.path() + "/" + name; }
    static QString tool(const QString& name) { return QStringLiteral(ZORVEL_BUILD_DIR "/") + name; }

    ~GatewayRig()
    {
        for (QProcess* p : {&gateway, &modem, &receiver}) {
            if (p->state() != QProcess::NotRunning) {
                p->terminate();
                if (!p->waitForFinished(3000))
                    p->kill();
                p->waitForFinished(3000);
            }
        }
    }

    bool startReceiver(const QStringList& extra = {})
    {
        receiver.setProcessChannelMode(QProcess::SeparateChannels);
        receiver.start(tool("zorvel-webreceiver"),
                       QStringList{"--port", "0", "--log", path("received.jsonl")} + extra);
        if (!receiver.waitForReadyRead(5000))
            return false;
        const QByteArray line = receiver.readLine().trimmed();
        address = QString::fromLatin1(line.mid(line.indexOf("127.0.0.1")));
        return !address.isEmpty();
    }

    bool startModem(const QByteArray& store, const QStringList& extra = {})
    {
        QDir().mkpath(path("ports"));
        QDir().mkpath(path("inbox"));
        QFile file(path("store.txt"));
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write(store);
        file.close();
        modem.start(tool("zorvel-simmodem"),
                    QStringList{"--link", path("ports/com3"), "--store", path("store.txt"), "--inbox",
                                path("inbox"), "--log", path("modem.log")} + extra);
        for (int i = 0; i < 50 && !QFile::exists(path("ports/com3")); ++i)
            QTest::qWait(100);
        return QFile::exists(path("ports/com3"));
    }

    bool startGateway(const QByteArray& extraIni = {}, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
    {
        QFile ini(path("zorvel.ini"));
        if (!ini.open(QIODevice::WriteOnly))
            return false;
        ini.write("[Zorvel]\r\nCOM=3\r\nSpeed=9600,n,8,1\r\nDest=" + scheme + "://" + address.toLatin1()
                  + destPath + "\r\nKey=" + key + "\r\n" + extraIni);
        ini.close();
        gateway.setWorkingDirectory(dir.path());
        gateway.setProcessEnvironment(env);
        gateway.start(tool("zorvel"), gatewayArgs);
        return gateway.waitForStarted(5000);
    }

    QList<Received> received() const
    {
        QList<Received> out;
        for (const WebRequest& r : readReceiverLog(path("received.jsonl")))
            out.append({r.key, r.sender, r.time, r.message, r.status});
        return out;
    }

    // Lines of the modem's log whose kind is `kind` (RX, STORE, SENT, ...).
    QList<QByteArray> modemLog(const QByteArray& kind) const
    {
        QList<QByteArray> out;
        QFile log(path("modem.log"));
        if (!log.open(QIODevice::ReadOnly))
            return out;
        for (const QByteArray& line : log.readAll().split('\n')) {
            const int space = line.indexOf(' ');
            if (space > 0 && line.mid(space + 1).startsWith(kind + ' '))
                out.append(line.mid(space + 2 + kind.size()));
        }
        return out;
    }
};

} // namespace zorvel::testing
