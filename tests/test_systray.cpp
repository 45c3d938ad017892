// The tray class at the level of the requests it sends, with a notification area that
// records them, and the events it raises for the codes the desktop reports.
#include <QPixmap>
#include <QWidget>
#include <QtTest>

#include "RecordingNotificationArea.h"
#include "TrayEventCodes.h"
#include "clsSysTray.h"

using namespace zorvel;

namespace {

// A text field as it must look: the bytes, one NUL, blanks to the width.
QByteArray filled(const QByteArray& text, int width)
{
    QByteArray field = text + '\0';
    return field + QByteArray(width - field.size(), ' ');
}

template <std::size_t N>
QByteArray bytesOf(const std::array<char, N>& field)
{
    return QByteArray(field.data(), static_cast<int>(N));
}

QIcon redIcon()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::red);
    return QIcon(pixmap);
}

// The names of the events a tray object raises, in order.
struct EventLog {
    explicit EventLog(clsSysTray& tray)
    {
        QObject::connect(&tray, &clsSysTray::LeftClick, [this] { names << "LeftClick"; });
        QObject::connect(&tray, &clsSysTray::RightClick, [this] { names << "RightClick"; });
        QObject::connect(&tray, &clsSysTray::DoubleClick, [this] { names << "DoubleClick"; });
        QObject::connect(&tray, &clsSysTray::BalloonHide, [this] { names << "BalloonHide"; });
        QObject::connect(&tray, &clsSysTray::BalloonTimeOut, [this] { names << "BalloonTimeOut"; });
        QObject::connect(&tray, &clsSysTray::BalloonClicked, [this] { names << "BalloonClicked"; });
    }
    QStringList names;
};

} // namespace

class SysTrayTest : public QObject {
    Q_OBJECT
private slots:
    void initSendsAddIconTipInOrder();
    void tooltipField_data();
    void tooltipField();
    void refusedTooltipIsStillKept();
    void balloonDefaultsAndNoRepeat();
    void balloonFieldsAreCut();
    void balloonTimeout_data();
    void balloonTimeout();
    void releaseDeletesTheIcon();
    void releaseWithoutInit();
    void mouseMoveCodes_data();
    void mouseMoveCodes();
};

void SysTrayTest::initSendsAddIconTipInOrder()
{
    QWidget window;
    window.setWindowIcon(redIcon());
    RecordingNotificationArea area;
    clsSysTray tray(area);
    tray.Init(window, QStringLiteral("Zorvel"));

    QCOMPARE(area.requests.size(), std::size_t(3));
    const auto& add = area.requests[0];
    QCOMPARE(add.message, NIM_ADD);
    QCOMPARE(add.data.uFlags, NIF_MESSAGE);
    QCOMPARE(add.data.cbSize, 488u);
    QCOMPARE(add.data.hWnd, std::uintptr_t(window.winId()));
    QVERIFY(add.data.hWnd != 0);
    QCOMPARE(add.data.uID, 1u);
    QCOMPARE(add.data.uCallbackMessage, 0x200u);

    const auto& icon = area.requests[1];
    QCOMPARE(icon.message, NIM_MODIFY);
    QCOMPARE(icon.data.uFlags, NIF_ICON);
    QCOMPARE(icon.data.hIcon.cacheKey(), window.windowIcon().cacheKey());

    const auto& tip = area.requests[2];
    QCOMPARE(tip.message, NIM_MODIFY);
    QCOMPARE(tip.data.uFlags, NIF_TIP);
    QCOMPARE(bytesOf(tip.data.szTip), filled("Zorvel", 128));
    QCOMPARE(tip.data.hWnd, add.data.hWnd); // every request names the same icon
    QCOMPARE(tip.data.uID, 1u);
}

void SysTrayTest::tooltipField_data()
{
    QTest::addColumn<QString>("tooltip");
    QTest::addColumn<QByteArray>("sent");

    const QString x127(127, QLatin1Char('x'));
    QTest::newRow("127 characters reach the tray whole") << x127 << x127.toLatin1();
    QTest::newRow("128 characters are cut to 127") << x127 + "y" << x127.toLatin1();
    QTest::newRow("300 characters are cut to 127") << QString(300, QLatin1Char('z')) << QByteArray(127, 'z');
    QTest::newRow("empty: no tool tip text") << QString() << QByteArray();
    QTest::newRow("Latin-1 letter kept as its byte") << QStringLiteral("Caf\u00e9") << QByteArray("Caf\xe9");
    QTest::newRow("outside Latin-1 becomes ?") << QStringLiteral("Tel \u260e 1") << QByteArray("Tel ? 1");
    QTest::newRow("a character beyond 16 bits is one ?") << QString::fromUtf8("a\xf0\x9f\x98\x80z")
                                                          << QByteArray("a?z");
    QTest::newRow("cut after conversion") << QString(126, QLatin1Char('x')) + QStringLiteral("\u260e\u260e")
                                          << QByteArray(126, 'x') + '?';
}

void SysTrayTest::tooltipField()
{
    QFETCH(QString, tooltip);
    QFETCH(QByteArray, sent);
    RecordingNotificationArea area;
    clsSysTray tray(area);
    tray.setTooltipText(tooltip);
    QCOMPARE(area.requests.size(), std::size_t(1));
    QCOMPARE(area.requests[0].message, NIM_MODIFY);
    QCOMPARE(area.requests[0].data.uFlags, NIF_TIP);
    QCOMPARE(bytesOf(area.requests[0].data.szTip), filled(sent, 128));
    QCOMPARE(tray.TooltipText(), tooltip); // whole and unconverted
}

void SysTrayTest::refusedTooltipIsStillKept()
{
    RecordingNotificationArea area;
    area.answer = false;
    clsSysTray tray(area);
    tray.setTooltipText(QStringLiteral("Zorvel"));
    QCOMPARE(area.requests.size(), std::size_t(1)); // not retried
    QCOMPARE(area.requests[0].data.hWnd, std::uintptr_t(0)); // before Init: names no icon
    QCOMPARE(tray.TooltipText(), QStringLiteral("Zorvel"));
}

void SysTrayTest::balloonDefaultsAndNoRepeat()
{
    RecordingNotificationArea area;
    clsSysTray tray(area);
    tray.ShowBalloonTip(QStringLiteral("New message"));
    QCOMPARE(area.requests.size(), std::size_t(1));
    const auto& balloon = area.requests[0].data;
    QCOMPARE(area.requests[0].message, NIM_MODIFY);
    QCOMPARE(balloon.uFlags, NIF_INFO);
    QCOMPARE(bytesOf(balloon.szInfo), filled("New message", 256));
    QCOMPARE(bytesOf(balloon.szInfoTitle), filled("", 64));
    QCOMPARE(balloon.uTimeout, 30000u);
    QCOMPARE(balloon.dwInfoFlags, NIIF_NONE);

    tray.setTooltipText(QStringLiteral("Zorvel"));
    const auto& tip = area.requests.back().data;
    QCOMPARE(tip.uFlags, NIF_TIP); // the balloon's text stays in the record but is not sent again
    QCOMPARE(bytesOf(tip.szInfo), filled("New message", 256));
}

void SysTrayTest::balloonFieldsAreCut()
{
    RecordingNotificationArea area;
    clsSysTray tray(area);
    tray.ShowBalloonTip(QString(300, QLatin1Char('m')), NIIF_WARNING, QString(100, QLatin1Char('t')), 5000);
    const auto& balloon = area.requests.at(0).data;
    QCOMPARE(bytesOf(balloon.szInfo), filled(QByteArray(255, 'm'), 256));
    QCOMPARE(bytesOf(balloon.szInfoTitle), filled(QByteArray(63, 't'), 64));
    QCOMPARE(balloon.dwInfoFlags, NIIF_WARNING);
    QCOMPARE(balloon.uTimeout, 5000u);
}

void SysTrayTest::balloonTimeout_data()
{
    QTest::addColumn<QVariant>("timeout");
    QTest::addColumn<bool>("converts");
    QTest::addColumn<quint32>("sent");

    QTest::newRow("number") << QVariant(1500) << true << 1500u;
    QTest::newRow("numeric text") << QVariant(QStringLiteral("2500")) << true << 2500u;
    QTest::newRow("numeric text with blanks") << QVariant(QStringLiteral(" 42 ")) << true << 42u;
    QTest::newRow("2.5 rounds to even") << QVariant(2.5) << true << 2u;
    QTest::newRow("3.5 rounds to even") << QVariant(3.5) << true << 4u;
    QTest::newRow("negative keeps its bits") << QVariant(-1) << true << 0xFFFFFFFFu;
    QTest::newRow("text that is not a number") << QVariant(QStringLiteral("soon")) << false << 0u;
    QTest::newRow("empty text") << QVariant(QString()) << false << 0u;
    QTest::newRow("beyond 32 bits") << QVariant(3.0e10) << false << 0u;
    QTest::newRow("no value") << QVariant() << false << 0u;
}

void SysTrayTest::balloonTimeout()
{
    QFETCH(QVariant, timeout);
    QFETCH(bool, converts);
    QFETCH(quint32, sent);
    RecordingNotificationArea area;
    clsSysTray tray(area);
    bool raised = false;
    try {
        tray.ShowBalloonTip(QStringLiteral("text"), NIIF_INFO, QStringLiteral("title"), timeout);
    } catch (const TimeoutConversionError&) {
        raised = true;
    }
    QCOMPARE(raised, !converts);
    if (converts) {
        QCOMPARE(area.requests.size(), std::size_t(1));
        QCOMPARE(area.requests[0].data.uTimeout, sent);
    } else {
        QVERIFY(area.requests.empty()); // nothing sent...
        QCOMPARE(FieldText(tray.record().szInfo), QStringLiteral("text")); // ...text and title already set
        QCOMPARE(FieldText(tray.record().szInfoTitle), QStringLiteral("title"));
    }
}

void SysTrayTest::releaseDeletesTheIcon()
{
    QWidget window;
    RecordingNotificationArea area;
    {
        clsSysTray tray(area);
        tray.Init(window, QStringLiteral("Zorvel"));
    }
    QCOMPARE(area.requests.size(), std::size_t(4));
    const auto& end = area.requests.back();
    QCOMPARE(end.message, NIM_DELETE);
    QCOMPARE(end.data.hWnd, std::uintptr_t(window.winId()));
    QCOMPARE(end.data.uID, 1u);
    QCOMPARE(end.data.uFlags, NIF_TIP); // left as the last request set it
}

void SysTrayTest::releaseWithoutInit()
{
    RecordingNotificationArea area;
    { clsSysTray tray(area); }
    QCOMPARE(area.requests.size(), std::size_t(1));
    QCOMPARE(area.requests[0].message, NIM_DELETE);
    QCOMPARE(area.requests[0].data.hWnd, std::uintptr_t(0));
    QCOMPARE(area.requests[0].data.cbSize, 0u);
}

void SysTrayTest::mouseMoveCodes_data()
{
    QTest::addColumn<QList<int>>("codes");
    QTest::addColumn<QStringList>("events");

    QTest::newRow("0x202 left release") << QList<int>{0x202} << QStringList{"LeftClick"};
    QTest::newRow("0x203 left double click") << QList<int>{0x203} << QStringList{"DoubleClick"};
    QTest::newRow("0x205 right release") << QList<int>{0x205} << QStringList{"RightClick"};
    QTest::newRow("0x403 balloon hidden") << QList<int>{0x403} << QStringList{"BalloonHide"};
    QTest::newRow("0x404 balloon timed out") << QList<int>{0x404} << QStringList{"BalloonTimeOut"};
    QTest::newRow("0x405 balloon clicked") << QList<int>{0x405} << QStringList{"BalloonClicked"};
    QTest::newRow("codes that raise nothing")
        << QList<int>{0x200, 0x201, 0x204, 0x206, 0x207, 0x208, 0x209, 0x402, 0, -1, 0x10202, 514 + 65536}
        << QStringList{};
    QTest::newRow("left double click: up, double, up")
        << QList<int>{0x201, 0x202, 0x203, 0x202} << QStringList{"LeftClick", "DoubleClick", "LeftClick"};
    QTest::newRow("right press held, then released") << QList<int>{0x204, 0x200, 0x200, 0x205}
                                                     << QStringList{"RightClick"};
    // What Qt reports, through the one translation into codes.
    QTest::newRow("Qt Trigger") << QList<int>{CodeForActivation(QSystemTrayIcon::Trigger)} << QStringList{"LeftClick"};
    QTest::newRow("Qt Trigger, DoubleClick")
        << QList<int>{CodeForActivation(QSystemTrayIcon::Trigger), CodeForActivation(QSystemTrayIcon::DoubleClick)}
        << QStringList{"LeftClick", "DoubleClick"};
    QTest::newRow("Qt Context") << QList<int>{CodeForActivation(QSystemTrayIcon::Context)} << QStringList{"RightClick"};
    QTest::newRow("Qt MiddleClick, Unknown")
        << QList<int>{CodeForActivation(QSystemTrayIcon::MiddleClick), CodeForActivation(QSystemTrayIcon::Unknown)}
        << QStringList{};
    QTest::newRow("Qt balloon clicked, timed out, replaced")
        << QList<int>{CodeForBalloonEnd(BalloonEnd::Clicked), CodeForBalloonEnd(BalloonEnd::TimedOut),
                      CodeForBalloonEnd(BalloonEnd::Replaced)}
        << QStringList{"BalloonClicked", "BalloonTimeOut", "BalloonHide"};
}

void SysTrayTest::mouseMoveCodes()
{
    QFETCH(QList<int>, codes);
    QFETCH(QStringList, events);
    QWidget window;
    RecordingNotificationArea area;
    clsSysTray tray(area);
    EventLog log(tray);
    for (int code : codes)
        tray.MouseMove(0, code, window);
    QCOMPARE(log.names, events);
    QCOMPARE(area.requests.size(), std::size_t(0)); // events send nothing to the tray
}

QTEST_MAIN(SysTrayTest)
#include "test_systray.moc"
