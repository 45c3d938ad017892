// The window's side of the tray: the icon from start-up to shutdown, start minimised,
// hiding when minimised and coming back on a left click, and the program's own icon.
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QtTest>

#include <set>

#include "Gateway.h"
#include "RecordingNotificationArea.h"
#include "WindowTray.h"
#include "ZorvelIcon.h"
#include "frmMain.h"

using namespace zorvel;

namespace {

// Passes requests to a recording area that outlives the tray.
struct ForwardingArea : NotificationArea {
    explicit ForwardingArea(RecordingNotificationArea& to) : to(to) {}
    bool Shell_NotifyIcon(std::uint32_t message, const NotifyIconData& data) override
    {
        return to.Shell_NotifyIcon(message, data);
    }
    RecordingNotificationArea& to;
};

// What the desktop does for a click on the icon: a mouse move of the window, X = code.
void notify(QWidget& window, int code)
{
    QMouseEvent move(QEvent::MouseMove, QPointF(code, 0), QPointF(code, 0), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &move);
}

struct ShowCounter : QObject {
    bool eventFilter(QObject*, QEvent* event) override
    {
        shows += event->type() == QEvent::Show;
        return false;
    }
    int shows = 0;
};

struct GatewayRun {
    explicit GatewayRun(const QByteArray& extraIni)
    {
        QFile ini(dir.path() + "/zorvel.ini");
        ini.open(QIODevice::WriteOnly);
        ini.write("[Zorvel]\r\nCOM=3\r\nSpeed=9600,n,8,1\r\n" + extraIni);
        ini.close();
        gateway = std::make_unique<Gateway>(dir.path().toStdString());
        gateway->endProgram = [this](int code) { endCodes.push_back(code); };
        gateway->showMessage = [](const std::string&, std::function<void()>) {};
        gateway->makeNotificationArea = [this] { return std::make_unique<ForwardingArea>(area); };
    }
    QTemporaryDir dir;
    RecordingNotificationArea area;
    std::vector<int> endCodes;
    std::unique_ptr<Gateway> gateway;
};

} // namespace

class WindowTrayTest : public QObject {
    Q_OBJECT
private slots:
    void iconFromStartupToShutdown();
    void startMinimisedNeverShowsTheWindow();
    void minimiseHidesAndLeftClickRestores();
    void restoreBeforeTheHideKeepsTheWindow();
    void ownIconHasBothSizesIn16Colours();
};

void WindowTrayTest::iconFromStartupToShutdown()
{
    GatewayRun run("");
    QVERIFY(run.gateway->Form_Load());
    run.gateway->showWindow();
    const auto& requests = run.area.requests;
    QCOMPARE(requests.size(), std::size_t(3));
    QCOMPARE(requests[0].message, NIM_ADD);
    QCOMPARE(requests[0].data.hWnd, std::uintptr_t(run.gateway->window().winId()));
    QCOMPARE(requests[1].data.uFlags, NIF_ICON);
    QCOMPARE(requests[2].data.uFlags, NIF_TIP);
    QCOMPARE(FieldText(requests[2].data.szTip), QStringLiteral("Zorvel"));

    run.gateway->window().close();
    QCOMPARE(requests.size(), std::size_t(4));
    QCOMPARE(requests[3].message, NIM_DELETE);
    QCOMPARE(requests[3].data.hWnd, requests[0].data.hWnd);
    QCOMPARE(run.endCodes, std::vector<int>{0});
}

void WindowTrayTest::startMinimisedNeverShowsTheWindow()
{
    GatewayRun run("StartMinimised=1\r\n");
    ShowCounter counter;
    frmMain& window = run.gateway->window();
    window.installEventFilter(&counter);
    QVERIFY(run.gateway->Form_Load());
    run.gateway->showWindow();
    QTest::qWait(WindowTray::hideDelayMs + 100);
    QCOMPARE(counter.shows, 0);
    QVERIFY(!window.isVisible());
    QCOMPARE(run.area.requests.size(), std::size_t(3)); // the icon is there all the same

    notify(window, 0x205); // a right click changes nothing
    QVERIFY(!window.isVisible());
    notify(window, 0x202);
    QVERIFY(window.isVisible());
    QCOMPARE(window.windowState(), Qt::WindowNoState);
    window.removeEventFilter(&counter);
}

void WindowTrayTest::minimiseHidesAndLeftClickRestores()
{
    QWidget window;
    RecordingNotificationArea area;
    WindowTray tray(window, std::make_unique<ForwardingArea>(area));
    tray.Init(QStringLiteral("Zorvel"));
    window.show();

    for (int round = 0; round < 2; ++round) {
        window.setWindowState(Qt::WindowMinimized);
        QVERIFY(window.isVisible()); // hidden a moment later, not in the same instant
        QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 3 * WindowTray::hideDelayMs);
        notify(window, 0x202);
        QVERIFY(window.isVisible());
        QCOMPARE(window.windowState(), Qt::WindowNoState);
    }
    notify(window, 0x202); // a click while shown leaves it shown and normal
    QVERIFY(window.isVisible());
    QCOMPARE(window.windowState(), Qt::WindowNoState);
}

void WindowTrayTest::restoreBeforeTheHideKeepsTheWindow()
{
    QWidget window;
    RecordingNotificationArea area;
    WindowTray tray(window, std::make_unique<ForwardingArea>(area));
    tray.Init(QStringLiteral("Zorvel"));
    window.show();
    window.setWindowState(Qt::WindowMinimized);
    notify(window, 0x203); // a double click alone does not restore
    notify(window, 0x202);
    QTest::qWait(2 * WindowTray::hideDelayMs);
    QVERIFY(window.isVisible());
    QCOMPARE(window.windowState(), Qt::WindowNoState);
}

void WindowTrayTest::ownIconHasBothSizesIn16Colours()
{
    const QIcon icon = ZorvelIcon();
    const QList<QSize> sizes = icon.availableSizes();
    QVERIFY2(sizes.contains(QSize(32, 32)) && sizes.contains(QSize(16, 16)), "both sizes");
    for (const QSize& size : {QSize(32, 32), QSize(16, 16)}) {
        const QImage image = icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(image.size(), size);
        std::set<QRgb> colours;
        int clear = 0;
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) {
                const QRgb p = image.pixel(x, y);
                if (qAlpha(p) == 0)
                    ++clear;
                else
                    colours.insert(p);
            }
        QVERIFY(colours.size() >= 4 && colours.size() <= 16);
        QVERIFY(clear > 0); // the desktop shows around the picture
    }
}

QTEST_MAIN(WindowTrayTest)
#include "test_window_tray.moc"
