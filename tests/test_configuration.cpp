// The configuration reader: INI rules, the port number conversion, the normalised
// values, the start-up failure text and the warning about a file others may open.
#include <QtTest>

#include <sys/stat.h>

#include "ByteEscape.h"
#include "Configuration.h"
#include "IniFile.h"
#include "GatewayService.h"
#include "PortNumber.h"

using namespace zorvel;

namespace {

QStringList configWarnings;

void keepConfigWarnings(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtWarningMsg && QByteArray(context.category) == "zorvel.config")
        configWarnings << text;
}

} // namespace

class ConfigurationTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    std::string folder() const { return dir_.path().toStdString(); }
    std::string iniPath() const { return folder() + "/zorvel.ini"; }
    void writeIni(const QByteArray& content)
    {
        QFile file(QString::fromStdString(iniPath()));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(content), content.size());
    }

private slots:
    void init() { QFile::remove(QString::fromStdString(iniPath())); }

    void readerRules_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QByteArray>("value");
        const QByteArray x300(300, 'x');
        auto row = [](const char* name, QByteArray file, QByteArray key, bool found, QByteArray value) {
            QTest::newRow(name) << file << key << found << value;
        };
        row("names ignore case", "[zORVEL]\ncom=3\n", "COM", true, "3");
        row("blanks around key and value", "[Zorvel]\n \tCOM \t=\t 3 \t\n", "COM", true, "3");
        row("blanks in header", "[ Zorvel ] ; main\nCOM=3\n", "COM", true, "3");
        row("double quotes keep inner blanks", "[Zorvel]\nKey= \" s k \" \n", "Key", true, " s k ");
        row("single quotes", "[Zorvel]\nKey='sk'\n", "Key", true, "sk");
        row("one pair of quotes only", "[Zorvel]\nKey=\"\"sk\"\"\n", "Key", true, "\"sk\"");
        row("unmatched quotes kept", "[Zorvel]\nKey=\"sk'\n", "Key", true, "\"sk'");
        row("lone quote kept", "[Zorvel]\nKey=\"\n", "Key", true, "\"");
        row("comment lines", "[Zorvel]\n;COM=1\n \t; COM=2\nCOM=3\n", "COM", true, "3");
        row("semicolon in value kept", "[Zorvel]\nDest=a;b ; c\n", "Dest", true, "a;b ; c");
        row("equals sign in value", "[Zorvel]\nDest=http://h/p?a=b\n", "Dest", true, "http://h/p?a=b");
        row("first key wins", "[Zorvel]\nCOM=1\ncom=2\n", "COM", true, "1");
        row("first section wins", "[Zorvel]\nCOM=1\n[Other]\nCOM=9\n[ZORVEL]\nCOM=2\n", "COM", true, "1");
        row("later same section unseen", "[Zorvel]\nCOM=1\n[Zorvel]\nSpeed=9600\n", "Speed", false, "");
        row("line without = ignored", "[Zorvel]\nCOM\nCOM=4\n", "COM", true, "4");
        row("cut to 254", "[Zorvel]\nDest=" + x300 + "\n", "Dest", true, x300.left(254));
        row("255 cut to 254", "[Zorvel]\nDest=" + x300.left(255), "Dest", true, x300.left(254));
        row("254 kept", "[Zorvel]\nDest=" + x300.left(254), "Dest", true, x300.left(254));
        row("cut after quotes dropped", "[Zorvel]\nDest=\"" + x300 + "\"\n", "Dest", true, x300.left(254));
        row("CR LF", "[Zorvel]\r\nCOM=3\r\nSpeed=9600,n,8,1\r\n", "Speed", true, "9600,n,8,1");
        row("byte-order mark", "\xEF\xBB\xBF[Zorvel]\nCOM=3\n", "COM", true, "3");
        row("bytes unchanged", "[Zorvel]\nKey=\xC3\xA9\xFF\\n%\n", "Key", true, "\xC3\xA9\xFF\\n%");
        row("empty value", "[Zorvel]\nCOM=\n", "COM", true, "");
        row("blank value", "[Zorvel]\nCOM= \t\n", "COM", true, "");
        row("empty quoted value", "[Zorvel]\nKey=\"\"\n", "Key", true, "");
        row("missing key", "[Zorvel]\nSpeed=9600\n", "COM", false, "");
        row("missing section", "[Other]\nCOM=3\n", "COM", false, "");
        row("key before any section", "COM=3\n[Zorvel]\n", "COM", false, "");
        row("header without bracket ignored", "[Zorvel\nCOM=3\n", "COM", false, "");
    }
    void readerRules()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, key);
        QFETCH(bool, found);
        QFETCH(QByteArray, value);
        writeIni(file);
        const IniFile ini = IniFile::Load(iniPath());
        QCOMPARE(ini.status(), IniFile::Status::Read);
        const std::optional<std::string> got = ini.Value("Zorvel", key.toStdString());
        QCOMPARE(got.has_value(), found);
        if (found)
            QCOMPARE(QByteArray::fromStdString(*got), value);
    }

    void fileMissingOrUnreadable()
    {
        const IniFile missing = IniFile::Load(iniPath());
        QCOMPARE(missing.status(), IniFile::Status::Missing);
        QVERIFY(!missing.Value("Zorvel", "COM"));
        QCOMPARE(IniFile::Load(folder()).status(), IniFile::Status::Unreadable); // a folder
    }

    void portNumber_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("port");
        auto ok = [](const char* text, int port) { QTest::newRow(*text ? text : "empty") << QByteArray(text) << true << port; };
        auto bad = [](const char* text) { QTest::newRow(*text ? text : "empty") << QByteArray(text) << false << 0; };
        ok("3", 3); ok("2.5", 2); ok("3.5", 4); ok("-2.5", -2); ok("2.51", 3); ok("2.49", 2);
        ok("2.500", 2); ok(" 7 ", 7); ok("\t7\t", 7); ok("-3", -3); ok("+4", 4); ok("0003", 3);
        ok("32767", 32767); ok("32767.4", 32767); ok("-32768", -32768); ok("-32768.5", -32768);
        bad("32767.5"); bad("40000"); bad("-32769"); bad("99999999999999999999");
        bad("COM3"); bad("1e3"); bad(""); bad("  "); bad("0x3"); bad("3,5"); bad("3 3");
        bad("- 3"); bad("+"); bad("3."); bad(".5"); bad("3a");
    }
    void portNumber()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, valid);
        QFETCH(int, port);
        const std::optional<std::int16_t> got = ParsePortNumber(text.toStdString());
        QCOMPARE(got.has_value(), valid);
        if (valid)
            QCOMPARE(int(*got), port);
    }

    void wholeFile()
    {
        const QByteArray longDest = "http://example.org/" + QByteArray(281, 'd');
        writeIni("; gateway\r\n[Zorvel]\r\nCOM = 3\r\nSpeed=9600,n,8,1\r\nDest=" + longDest
                 + "\r\nKey=k\r\nStartMinimised=1\r\nPDUmode=1\r\n");
        const ConfigurationResult r = LoadConfiguration(folder());
        QVERIFY2(r.config, r.error.c_str());
        QCOMPARE(r.config->iniPath, iniPath());
        QCOMPARE(r.config->COMport, std::int16_t(3));
        QCOMPARE(r.config->COMspeed, std::string("9600,n,8,1"));
        QCOMPARE(r.config->Dest, longDest.left(254).toStdString());
        QCOMPARE(r.config->SecKey, std::string("k")); // a short value after a long one
        QCOMPARE(r.config->StartMinimised, std::string("1"));
        QCOMPARE(r.config->PDUmode, std::string("1"));
    }

    void valueEndsAtNul()
    {
        writeIni(QByteArray("[Zorvel]\nCOM=3\nKey=ab\0cd\n", 25));
        const ConfigurationResult r = LoadConfiguration(folder());
        QVERIFY2(r.config, r.error.c_str());
        QCOMPARE(r.config->SecKey, std::string("ab"));
    }

    void normalisedValues_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QByteArray>("pduMode");
        QTest::addColumn<QByteArray>("startMinimised");
        auto row = [](const char* v, const char* pdu) {
            QTest::newRow(*v ? v : "empty") << "PDUmode=" + QByteArray(v) + "\nStartMinimised=" + v + "\n" << QByteArray(pdu) << QByteArray(v);
        };
        row("1", "1"); row("01", "0"); row("2", "0"); row("yes", "0"); row("1.0", "0"); row("", "0");
        QTest::newRow("blanks and quotes dropped") << QByteArray("PDUmode = '1' \nStartMinimised=\" 1\"\n")
                                                   << QByteArray("1") << QByteArray(" 1");
        QTest::newRow("missing") << QByteArray() << QByteArray("0") << QByteArray("");
    }
    void normalisedValues()
    {
        QFETCH(QByteArray, lines);
        QFETCH(QByteArray, pduMode);
        QFETCH(QByteArray, startMinimised);
        writeIni("[Zorvel]\nCOM=3\n" + lines);
        const ConfigurationResult r = LoadConfiguration(folder());
        QVERIFY2(r.config, r.error.c_str());
        QCOMPARE(QByteArray::fromStdString(r.config->PDUmode), pduMode);
        QCOMPARE(QByteArray::fromStdString(r.config->StartMinimised), startMinimised);
    }

    // Decode and MultipartWait: absent means today's behaviour; a wait that is not whole
    // minutes stops start-up with the file, key and value.
    void decodingKeys_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<bool>("decode");
        QTest::addColumn<int>("wait"); // -1: start-up fails
        QTest::newRow("absent") << QByteArray() << false << 10;
        QTest::newRow("decode") << QByteArray("Decode=1\nMultipartWait=30\n") << true << 30;
        QTest::newRow("decode yes") << QByteArray("Decode=yes\n") << false << 10;
        QTest::newRow("no waiting") << QByteArray("MultipartWait=0\n") << false << 0;
        QTest::newRow("a week") << QByteArray("MultipartWait=10080\n") << false << 10080;
        QTest::newRow("over a week") << QByteArray("MultipartWait=10081\n") << false << -1;
        QTest::newRow("unit") << QByteArray("MultipartWait=10min\n") << false << -1;
        QTest::newRow("negative") << QByteArray("MultipartWait=-5\n") << false << -1;
        QTest::newRow("empty") << QByteArray("MultipartWait=\n") << false << -1;
    }
    void decodingKeys()
    {
        QFETCH(QByteArray, lines);
        QFETCH(bool, decode);
        QFETCH(int, wait);
        writeIni("[Zorvel]\nCOM=3\n" + lines);
        const ConfigurationResult r = LoadConfiguration(folder());
        if (wait < 0) {
            QVERIFY(!r.config);
            const QByteArray error = QByteArray::fromStdString(r.error);
            QVERIFY2(error.contains(QByteArray::fromStdString(iniPath())), error);
            QVERIFY2(error.contains("Key: MultipartWait"), error);
            const QByteArray value = lines.mid(14).chopped(1);
            QVERIFY2(error.contains("Value found: \"" + value + "\""), error);
            return;
        }
        QVERIFY2(r.config, r.error.c_str());
        QCOMPARE(r.config->Decode, decode);
        QCOMPARE(r.config->MultipartWait, wait);
    }

    // Link, PIN, Storage: each optional; a wrong value names file and key, never a PIN.
    void linkKeys_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QByteArray>("settled"); // "fast askPin pin storage", or "error <key>"
        QTest::newRow("absent") << QByteArray() << QByteArray("0 0  ");
        QTest::newRow("design") << QByteArray("Link=design\n") << QByteArray("0 0  ");
        QTest::newRow("fast") << QByteArray("Link=fast\n") << QByteArray("1 0  ");
        QTest::newRow("Fast") << QByteArray("Link=Fast\n") << QByteArray("error Link");
        QTest::newRow("empty PIN line asks") << QByteArray("PIN=\n") << QByteArray("0 1  ");
        QTest::newRow("PIN") << QByteArray("PIN=0042\n") << QByteArray("0 1 0042 ");
        QTest::newRow("PIN of 3 digits") << QByteArray("PIN=987\n") << QByteArray("error PIN");
        QTest::newRow("PIN with a quote") << QByteArray("PIN=98\"76\n") << QByteArray("error PIN");
        QTest::newRow("storage") << QByteArray("Storage=MT\n") << QByteArray("0 0  MT");
        QTest::newRow("storage in lower case") << QByteArray("Storage=sm\n") << QByteArray("error Storage");
        QTest::newRow("storage with a quote") << QByteArray("Storage=SM\",\"ME\n") << QByteArray("error Storage");
    }
    void linkKeys()
    {
        QFETCH(QByteArray, lines);
        QFETCH(QByteArray, settled);
        writeIni("[Zorvel]\nCOM=3\n" + lines);
        const ConfigurationResult r = LoadConfiguration(folder());
        if (settled.startsWith("error")) {
            QVERIFY(!r.config);
            const QByteArray error = QByteArray::fromStdString(r.error);
            QVERIFY2(error.contains(QByteArray::fromStdString(iniPath())), error);
            QVERIFY2(error.contains("Key: " + settled.mid(6)), error);
            if (lines.startsWith("PIN="))
                QVERIFY2(!error.contains(lines.mid(4).chopped(1)), error);
            return;
        }
        QVERIFY2(r.config, r.error.c_str());
        const Configuration& c = *r.config;
        QCOMPARE(QByteArray::fromStdString(std::to_string(c.FastLink) + " " + std::to_string(c.AskPin) +
                                           " " + c.PIN + " " + c.Storage),
                 settled);
    }

    // Dest: an address that would be sent as something else than written stops start-up.
    void destChecked_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("problem"); // empty: accepted
        const QByteArray fragment = "which holds a '#'", blank = "which holds a blank or a control character";
        const QByteArray notHttp = "which is not an http or https address", noHost = "which names no host";
        const QByteArray invalid = "which is not a valid web address";
        auto row = [](const char* name, QByteArray line, QByteArray problem) { QTest::newRow(name) << line << problem; };
        row("fragment", "Dest=http://h/in#top", fragment);
        row("blank inside quotes", "Dest=\"http://h/a b\"", blank);
        row("tab", "Dest=http://h/a\tb", blank);
        row("control byte", "Dest=http://h/a\x01b", blank);
        row("ftp", "Dest=ftp://h/in", notHttp);
        row("no scheme", "Dest=example.org/in", notHttp);
        row("no host", "Dest=http:///in", noHost);
        row("bad percent", "Dest=http://h/%zz", invalid);
        row("Latin-1 byte", "Dest=http://h/caf\xE9", "which is not UTF-8 text");
        row("plain", "Dest=http://127.0.0.1:8080/sms", "");
        row("query ending in &", "Dest=https://example.org/in.php?src=modem&", "");
        row("user and password", "Dest=https://user:pw@example.org/in", "");
        row("international", "Dest=http://ex\xC3\xA4mple.org/caf%C3%A9", "");
        row("empty", "Dest=", "");
        row("missing", "", "");
    }
    void destChecked()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, problem);
        writeIni("[Zorvel]\nCOM=3\n" + line + "\n");
        const ConfigurationResult r = LoadConfiguration(folder());
        if (problem.isEmpty()) {
            QVERIFY2(r.config, r.error.c_str());
            QCOMPARE(QByteArray::fromStdString(r.config->Dest), line.mid(5).replace("\"", ""));
            return;
        }
        QVERIFY(!r.config);
        const QByteArray error = QByteArray::fromStdString(r.error);
        QVERIFY2(error.contains(QByteArray::fromStdString(iniPath())), error);
        QVERIFY2(error.contains("Section: [Zorvel]\nKey: Dest\n"), error);
        // The value as it is, escaped: the message stays one line per item.
        const QByteArray value = line.mid(5).replace("\"", "");
        const QByteArray shown = QByteArray::fromStdString(EscapeBytes(value.toStdString()));
        QVERIFY2(error.contains("Value found: \"" + shown + "\", " + problem), error);
        QVERIFY2(error.contains("Expected: an http or https address"), error);
        QCOMPARE(error.count('\n'), 6);
    }

    void startupFailure_data()
    {
        QTest::addColumn<bool>("writeFile");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("valueShown");
        QTest::newRow("no file") << false << QByteArray() << QByteArray("none, the file does not exist");
        QTest::newRow("no section") << true << QByteArray("[Other]\nCOM=3\n") << QByteArray("no section [Zorvel]");
        QTest::newRow("no key") << true << QByteArray("[Zorvel]\nSpeed=9600,n,8,1\n") << QByteArray("the key is missing");
        QTest::newRow("COM3") << true << QByteArray("[Zorvel]\nCOM=COM3\n") << QByteArray("\"COM3\"");
        QTest::newRow("out of range") << true << QByteArray("[Zorvel]\nCOM=40000\n") << QByteArray("\"40000\"");
        QTest::newRow("empty") << true << QByteArray("[Zorvel]\nCOM=\n") << QByteArray("Value found: \"\"");
    }
    void startupFailure()
    {
        QFETCH(bool, writeFile);
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, valueShown);
        if (writeFile)
            writeIni(file);
        const ConfigurationResult r = LoadConfiguration(folder());
        QVERIFY(!r.config);
        const QByteArray error = QByteArray::fromStdString(r.error);
        QVERIFY2(error.contains(QByteArray::fromStdString(iniPath())), error);
        QVERIFY2(error.contains("Key: COM"), error);
        QVERIFY2(error.contains(valueShown), error);
        QVERIFY2(error.contains("such as 3"), error);
    }

    void fileOpenToOthersWarns_data()
    {
        QTest::addColumn<QString>("subfolder");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("warning"); // %1 the file, %2 as a shell reads it
        QTest::newRow("owner only") << "" << 0600 << "";
        QTest::newRow("group may read") << "" << 0640
            << "%1 can be read by other users (mode 0640), and it holds the key: chmod 600 %2";
        QTest::newRow("as a plain copy makes it") << "" << 0644
            << "%1 can be read by other users (mode 0644), and it holds the key: chmod 600 %2";
        QTest::newRow("others may change it") << "" << 0602
            << "%1 can be changed by other users (mode 0602), and it holds the key: chmod 600 %2";
        QTest::newRow("a folder name the shell would split") << "/it's mine" << 0666
            << "%1 can be read and changed by other users (mode 0666), and it holds the key: chmod 600 %2";
    }
    void fileOpenToOthersWarns()
    {
        QFETCH(QString, subfolder);
        QFETCH(int, mode);
        QFETCH(QString, warning);
        const QString folder = dir_.path() + subfolder;
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + "/zorvel.ini";
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[Zorvel]\nCOM=3\nKey=k\n");
        file.close();
        QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0);

        configWarnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler(keepConfigWarnings);
        GatewayService link(folder.toStdString());
        const bool loaded = link.loadConfiguration();
        qInstallMessageHandler(previous);
        QVERIFY(loaded);
        const QString shellWord = subfolder.isEmpty() ? path : "'" + dir_.path() + "/it'\\''s mine/zorvel.ini'";
        QCOMPARE(configWarnings, warning.isEmpty() ? QStringList() : QStringList{warning.arg(path, shellWord)});
    }
};

QTEST_GUILESS_MAIN(ConfigurationTest)
#include "test_configuration.moc"
