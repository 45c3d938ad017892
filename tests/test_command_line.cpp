// The command line as main() hands it over, before any application object exists.
#include <QtTest>

#include "CommandLine.h"

using zorvel::CommandLine;
using Action = zorvel::CommandLine::Action;

class CommandLineTest : public QObject {
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void outboxActions_data();
    void outboxActions();
    void helpNamesTheProgramAndEveryOption();
};

void CommandLineTest::parse_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("noWindow");
    QTest::addColumn<QString>("error");
    const int run = int(Action::Run), help = int(Action::Help), version = int(Action::Version),
              pending = int(Action::Pending), error = int(Action::Error);
    QTest::newRow("nothing: as always") << QStringList{} << run << "" << false << "";
    QTest::newRow("no window") << QStringList{"--no-window"} << run << "" << true << "";
    QTest::newRow("folder and no window") << QStringList{"--folder", "/srv/z", "--no-window"}
                                          << run << "/srv/z" << true << "";
    QTest::newRow("folder with =") << QStringList{"--folder=rel/dir"} << run << "rel/dir" << false << "";
    QTest::newRow("help") << QStringList{"--help"} << help << "" << false << "";
    QTest::newRow("-h") << QStringList{"-h", "--no-window"} << help << "" << false << "";
    QTest::newRow("version") << QStringList{"--version"} << version << "" << false << "";
    QTest::newRow("pending") << QStringList{"--pending"} << pending << "" << false << "";
    QTest::newRow("pending in a folder") << QStringList{"--folder", "/srv/z", "--pending"} << pending
                                         << "/srv/z" << false << "";
    QTest::newRow("pending, empty folder") << QStringList{"--pending", "--folder="} << error << ""
                                           << false << "The value of '--folder' is empty.";
    QTest::newRow("unknown option") << QStringList{"--no-windows"} << error << "" << false
                                    << "Unknown option 'no-windows'.";
    QTest::newRow("unknown beside help") << QStringList{"--help", "--bogus"} << error << "" << false
                                         << "Unknown option 'bogus'.";
    QTest::newRow("folder without value") << QStringList{"--folder"} << error << "" << false
                                          << "Missing value after '--folder'.";
    QTest::newRow("empty folder") << QStringList{"--folder="} << error << "" << false
                                  << "The value of '--folder' is empty.";
    QTest::newRow("stray argument") << QStringList{"/srv/z"} << error << "" << false
                                    << "Unexpected argument '/srv/z'.";
    // Qt's own options are not taken: QT_QPA_PLATFORM and the like do that job.
    QTest::newRow("Qt option") << QStringList{"-platform", "offscreen"} << error << "" << false
                               << "Unknown options: p, l, a, t, f, o, r, m.";
}

void CommandLineTest::parse()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, action);
    QFETCH(QString, folder);
    QFETCH(bool, noWindow);
    QFETCH(QString, error);
    const CommandLine parsed = zorvel::ParseCommandLine(QStringList{"zorvel"} + arguments);
    QCOMPARE(int(parsed.action), action);
    QCOMPARE(parsed.error, error);
    if (parsed.action == Action::Run || parsed.action == Action::Pending) {
        QCOMPARE(parsed.folder, folder);
        QCOMPARE(parsed.noWindow, noWindow);
    }
}

void CommandLineTest::outboxActions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("taken"); // Send: "number|text"; Resend: the id; Error: the error
    const int send = int(Action::Send), outbox = int(Action::Outbox), resend = int(Action::Resend),
              error = int(Action::Error);
    QTest::newRow("send") << QStringList{"--send", "+49 170", "Hi there"} << send << "+49 170|Hi there";
    QTest::newRow("send, text first") << QStringList{"Hi", "--send", "0170"} << send << "0170|Hi";
    QTest::newRow("send from standard input") << QStringList{"--send", "0170", "-"} << send << "0170|-";
    QTest::newRow("send, a text after --") << QStringList{"--send", "0170", "--", "--outbox"} << send
                                           << "0170|--outbox";
    QTest::newRow("send, an empty text") << QStringList{"--send", "0170", ""} << send << "0170|";
    QTest::newRow("send without text") << QStringList{"--send", "0170"} << error
        << "'--send' needs the text after the number ('-' to read it from standard input).";
    QTest::newRow("send without number") << QStringList{"--send"} << error << "Missing value after '--send'.";
    QTest::newRow("send, two texts") << QStringList{"--send", "0170", "a", "b"} << error
                                     << "Unexpected argument 'b'.";
    QTest::newRow("a text not in the system's encoding") << QStringList{"--send", "0170", QString(QChar(0xFFFD))}
        << error << "The number or text of '--send' holds bytes that are not text in this system's encoding.";
    QTest::newRow("outbox") << QStringList{"--outbox", "--folder", "/srv/z"} << outbox << "";
    QTest::newRow("outbox with a stray argument") << QStringList{"--outbox", "x"} << error
                                                  << "Unexpected argument 'x'.";
    QTest::newRow("resend") << QStringList{"--resend", "web-17"} << resend << "web-17";
    QTest::newRow("resend without id") << QStringList{"--resend"} << error << "Missing value after '--resend'.";
    QTest::newRow("two actions") << QStringList{"--outbox", "--pending"} << error
                                 << "Use only one of '--pending', '--send', '--outbox' and '--resend'.";
    QTest::newRow("resend and send") << QStringList{"--resend", "a", "--send", "1", "x"} << error
                                     << "Use only one of '--pending', '--send', '--outbox' and '--resend'.";
}

void CommandLineTest::outboxActions()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, action);
    QFETCH(QString, taken);
    const CommandLine parsed = zorvel::ParseCommandLine(QStringList{"zorvel"} + arguments);
    QCOMPARE(int(parsed.action), action);
    if (parsed.action == Action::Error)
        QCOMPARE(parsed.error, taken);
    else if (parsed.action == Action::Send)
        QCOMPARE(parsed.recipient + "|" + parsed.text, taken);
    else if (parsed.action == Action::Resend)
        QCOMPARE(parsed.id, taken);
}

void CommandLineTest::helpNamesTheProgramAndEveryOption()
{
    const QString help = zorvel::CommandLineHelp(QStringLiteral("zorvel"));
    QVERIFY2(help.startsWith("Usage: zorvel [options]\n"), qPrintable(help));
    for (const char* option : {"--help", "--version", "--folder <DIR>", "--no-window", "--pending",
                               "--send <NUMBER>", "--outbox", "--resend <ID>"})
        QVERIFY2(help.contains(QLatin1String(option)), option);
    // What a service manager or a script acts on.
    for (const char* code : {"\n  0   closed", "\n  1   the port", "\n  2   a mistake", "\n  65  zorvel.sqlite", "\n  78  zorvel.ini"})
        QVERIFY2(help.contains(QLatin1String(code)), qPrintable(help));
}

QTEST_APPLESS_MAIN(CommandLineTest)
#include "test_command_line.moc"
