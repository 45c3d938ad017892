// The web side failing in the ways real ones do, against the real program: every case
// ends with the exact account of what was stored, what arrived and what was deleted.
// The cases run side by side; each row below reports one of them.
#include <QtTest>

#include "e2e/Scenario.h"

using namespace zorvel::testing;

namespace {

QList<Sms> messages(const QByteArray& tag, int n)
{
    QList<Sms> out;
    for (int i = 0; i < n; ++i)
        out.append({"+1555" + tag + QByteArray::number(i), "26/12/07,09:1" + QByteArray::number(i) + ":40+04",
                    "Tom & Jerry #" + QByteArray::number(i) + " 2+2=4 100% caf\xE9\nline two"});
    return out;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

// A self-signed certificate for 127.0.0.1, made fresh for the run.
bool makeCertificate(Scenario& s)
{
    QProcess openssl;
    openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                              "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout",
                              s.rig->path("key.pem"), "-out", s.rig->path("cert.pem")});
    if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0) {
        s.startError = "openssl could not make a certificate";
        return false;
    }
    s.receiverArgs = {"--tls-cert", s.rig->path("cert.pem"), "--tls-key", s.rig->path("key.pem")};
    s.rig->scheme = "https";
    return true;
}

Scenario* receiverDownAMinute()
{
    auto* s = new Scenario;
    s->name = "receiver down 60 s, then back";
    s->sms = messages("01", 2);
    s->startReceiverAtOnce = false;
    s->limitSeconds = 170;
    s->beforeStart = [](Scenario& c) {
        c.rig->address = QStringLiteral("127.0.0.1:%1").arg(freePort());
    };
    s->steps.append({[](Scenario& c) { return c.seconds() >= 60; }, [](Scenario& c) {
                         // A cycle takes about ten seconds: it kept trying all along.
                         const int lists = c.commands("AT+CMGL");
                         c.notes << QStringLiteral("lists while down %1").arg(lists);
                         if (lists < 4)
                             c.failures << "it stopped retrying while the receiver was down";
                         const QString port = c.rig->address.section(':', 1);
                         if (!c.rig->startReceiver({"--port", port}))
                             c.startError = "the receiver could not listen on the same port again";
                     }});
    return s;
}

Scenario* statusScript(const QString& name, const QByteArray& tag, int n, const QStringList& args)
{
    auto* s = new Scenario;
    s->name = name;
    s->sms = messages(tag, n);
    s->receiverArgs = args;
    return s;
}

Scenario* slowerThanTimeout()
{
    auto* s = new Scenario;
    s->name = "answer 5 s late, time-out 2 s";
    s->sms = messages("04", 2);
    s->env.insert("ZORVEL_HTTP_TIMEOUT_MS", "2000");
    s->timeoutMs = 2000;
    s->beforeStart = [](Scenario& c) {
        writeFile(c.rig->path("web.ctl"), "delay 5000\n");
        c.receiverArgs = {"--control", c.rig->path("web.ctl")};
    };
    // Two late answers, then the receiver is quick again.
    s->steps.append({[](Scenario& c) { return c.requests().size() >= 2; },
                     [](Scenario& c) { writeFile(c.rig->path("web.ctl"), "delay 300\n"); }});
    s->extraChecks = [](Scenario& c) {
        c.notes << QStringLiteral("late 2xx the program gave up on: %1").arg(c.account.lateAnswers);
        return c.account.lateAnswers == 2 ? QStringList() : QStringList{"expected two late answers"};
    };
    return s;
}

// A redirect is no acceptance and is never followed: the SMS stay on the modem, and the
// log names the status, never the Location or the key.
Scenario* redirected()
{
    auto* s = new Scenario;
    s->name = "302 to another path, not followed";
    s->sms = messages("05", 2);
    s->receiverArgs = {"--redirect-to", "/final"};
    s->expectExact = false;
    s->finished = [](Scenario& c) { return c.commands("AT+CMGL") >= 3; };
    s->extraChecks = [](Scenario& c) {
        QStringList wrong;
        int first = 0, final = 0;
        for (const WebRequest& r : c.requests()) {
            first += r.path == "/sms" && r.status == 302;
            final += r.path == "/final";
        }
        c.notes << QStringLiteral("GET /sms %1, GET /final %2").arg(first).arg(final);
        if (final != 0)
            wrong << "the redirect was followed";
        if (first < 2)
            wrong << "fewer than two requests answered 302";
        if (c.account.deleted != 0 || c.account.stillStored != c.sms.size())
            wrong << "an SMS left the modem: " + c.account.summary();
        const QByteArray log = c.rig->gateway.readAllStandardError();
        if (!log.contains("HTTP 302 (redirect not followed)"))
            wrong << "the log does not say the redirect was not followed";
        if (log.contains("final") || log.contains("s3cr"))
            wrong << "the log shows the Location or the key";
        return wrong;
    };
    return s;
}

Scenario* https(bool trusted)
{
    auto* s = new Scenario;
    s->name = trusted ? "https, certificate trusted" : "https, certificate not trusted";
    s->sms = messages(trusted ? "06" : "07", 2);
    s->beforeStart = [trusted](Scenario& c) {
        if (!makeCertificate(c))
            return;
        // Trusted: the test's certificate is added to the system's; untrusted: only the
        // system's certificates, which do not know it.
        if (trusted)
            c.env.insert("ZORVEL_EXTRA_CA_FILE", c.rig->path("cert.pem"));
    };
    if (!trusted) {
        s->expectExact = false;
        s->finished = [](Scenario& c) { return c.commands("AT+CMGL") >= 3; };
        s->extraChecks = [](Scenario& c) {
            QStringList wrong;
            const QByteArray err = c.rig->receiver.readAllStandardError();
            c.notes << QStringLiteral("refused handshakes %1").arg(err.count("tls handshake"));
            if (!c.requests().isEmpty())
                wrong << "a request reached a host whose certificate is not trusted";
            if (c.account.deleted != 0 || c.account.stillStored != c.sms.size())
                wrong << "an SMS left the modem: " + c.account.summary();
            if (!err.contains("tls handshake"))
                wrong << "the program never tried the https address";
            return wrong;
        };
    }
    return s;
}

// PHP's own query parser, as most receiving applications use it.
Scenario* phpReceiver()
{
    auto* s = new Scenario;
    s->name = "PHP $_GET, awkward bytes";
    s->sms = {{"+49 &=#%\xE9", "26/12/07,09:16:40+04", "Tom & Jerry = 2+2 #1 100% caf\xE9 ?x=y"},
              {"+1555&0802", "26/12/07,23:59:59-08", "caf\xC3\xA9 \xE2\x82\xAC" "5 a=b&c=d\nsecond line #end"},
              {"Bank+Co", "26/12/08,00:00:01+00", "%20 is not a blank; + is not one either"}};
    s->startReceiverAtOnce = false;
    s->rig->key = "k+&=#% \xE9\xC3\xA9;x";
    s->beforeStart = [](Scenario& c) {
        const quint16 port = freePort();
        c.rig->address = QStringLiteral("127.0.0.1:%1").arg(port);
        auto php = std::make_unique<QProcess>();
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("ZORVEL_PHP_LOG", c.rig->path("php.jsonl"));
        php->setProcessEnvironment(env);
        php->setWorkingDirectory(ZORVEL_SOURCE_DIR "/tests/e2e/php");
        php->start("php", {"-S", c.rig->address, "router.php"});
        c.helpers.push_back(std::move(php));
        for (int i = 0; i < 50; ++i) {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, port);
            if (probe.waitForConnected(200))
                return;
            QTest::qWait(100);
        }
        c.startError = "php -S did not start (is php-cli installed?)";
    };
    s->requestSource = [](const Scenario& c) {
        QList<WebRequest> out;
        QFile log(c.rig->path("php.jsonl"));
        if (!log.open(QIODevice::ReadOnly))
            return out;
        for (const QByteArray& line : log.readAll().split('\n')) {
            if (line.isEmpty())
                continue;
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            const QJsonObject get = o.value("get").toObject();
            const auto value = [&](const char* name) {
                return QByteArray::fromHex(get.value(name).toString().toLatin1());
            };
            out.append({qint64(o.value("ms").toDouble()), 200, 0, o.value("path").toString().toLatin1(),
                        value("key"), value("sender"), value("time"), value("message"), {}});
        }
        return out;
    };
    return s;
}

} // namespace

class FaultsWeb : public QObject {
    Q_OBJECT
    Cases cases_;

private slots:
    void initTestCase()
    {
        for (Scenario* s : {receiverDownAMinute(),
                            statusScript("HTTP 500 and 503", "02", 3,
                                         {"--status-script", "500,503,500,200,500,200"}),
                            statusScript("connection reset, no answer", "03", 2, {"--reset-first", "2"}),
                            slowerThanTimeout(), redirected(), https(true), https(false), phpReceiver()})
            cases_.emplace_back(s);
        runAndReport(cases_);
    }

    void account_data() { addAccountRows(cases_); }
    void account()
    {
        QFETCH(int, which);
        verifyAccount(*cases_[which]);
    }
};

QTEST_GUILESS_MAIN(FaultsWeb)
#include "test_faults_web.moc"
