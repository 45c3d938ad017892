// Building the tray icon from a picture: which pixels become transparent, what happens to
// the picture, the icon's size, and the cases that leave the tray as it was.
#include <QPixmap>
#include <QWidget>
#include <QtTest>

#include "RecordingNotificationArea.h"
#include "clsSysTray.h"

using namespace zorvel;

namespace {

QImage picture(QSize size, QRgb background, const QList<QPoint>& spots, QRgb spotColour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(background);
    for (const QPoint& p : spots)
        image.setPixel(p, spotColour);
    return image;
}

// The image the tray was given, at the size it was built.
QImage shownImage(const QIcon& icon)
{
    const QList<QSize> sizes = icon.availableSizes();
    return sizes.isEmpty() ? QImage() : icon.pixmap(sizes.first()).toImage().convertToFormat(QImage::Format_ARGB32);
}

constexpr QRgb white = 0xFFFFFFFF;
constexpr QRgb red = 0xFFFF0000;
constexpr QRgb silver = 0xFFC0C0C0;

} // namespace

class DrawIconTest : public QObject {
    Q_OBJECT
private slots:
    void pixelRules_data();
    void pixelRules();
    void unreadablePictureKeepsThePreviousIcon();
    void eachCallShowsItsOwnIconAndSetIconBringsTheWindowsBack();
};

void DrawIconTest::pixelRules_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<uint>("background");
    QTest::addColumn<QList<QPoint>>("spots");
    QTest::addColumn<uint>("spotColour");
    QTest::addColumn<int>("transparentColour"); // 0x00BBGGRR, negative = none
    QTest::addColumn<QList<QPoint>>("transparent");
    QTest::addColumn<int>("transparentCount");

    const QList<QPoint> inAndOut{{1, 1}, {31, 31}, {35, 5}, {5, 35}, {32, 0}};
    QTest::newRow("no colour (-1): whole picture opaque at its own size")
        << QSize(40, 20) << uint(white) << QList<QPoint>{{1, 1}, {35, 5}} << uint(red) << -1 << QList<QPoint>{} << 0;
    QTest::newRow("top bit set counts as no colour")
        << QSize(32, 32) << uint(white) << QList<QPoint>{{1, 1}} << uint(red) << int(0x80000005) << QList<QPoint>{} << 0;
    QTest::newRow("red only inside the top-left 32 x 32")
        << QSize(40, 40) << uint(white) << inAndOut << uint(red) << 0x0000FF << QList<QPoint>{{1, 1}, {31, 31}} << 2;
    QTest::newRow("colour is blue-green-red, red in the low byte")
        << QSize(32, 32) << uint(white) << QList<QPoint>{{7, 9}} << uint(qRgb(1, 2, 3)) << 0x030201
        << QList<QPoint>{{7, 9}} << 1;
    QTest::newRow("the same bytes the other way round match nothing")
        << QSize(32, 32) << uint(white) << QList<QPoint>{{7, 9}} << uint(qRgb(1, 2, 3)) << 0x010203
        << QList<QPoint>{} << 0;
    QTest::newRow("black is a valid colour")
        << QSize(32, 32) << uint(white) << QList<QPoint>{{0, 0}, {10, 10}} << uint(qRgb(0, 0, 0)) << 0
        << QList<QPoint>{{0, 0}, {10, 10}} << 2;
    QTest::newRow("nothing drawn, background colour: all transparent")
        << QSize(32, 32) << uint(silver) << QList<QPoint>{} << uint(silver) << 0xC0C0C0
        << QList<QPoint>{{0, 0}, {31, 31}} << 1024;
    QTest::newRow("larger picture, background colour: the square only")
        << QSize(48, 40) << uint(silver) << QList<QPoint>{} << uint(silver) << 0xC0C0C0
        << QList<QPoint>{{0, 0}, {31, 31}} << 1024;
    QTest::newRow("smaller picture keeps its size")
        << QSize(16, 16) << uint(white) << QList<QPoint>{{3, 3}} << uint(red) << 0x0000FF << QList<QPoint>{{3, 3}} << 1;
    QTest::newRow("colour not in the picture")
        << QSize(32, 32) << uint(white) << QList<QPoint>{{3, 3}} << uint(red) << 0x00FF00 << QList<QPoint>{} << 0;
}

void DrawIconTest::pixelRules()
{
    QFETCH(QSize, size);
    QFETCH(uint, background);
    QFETCH(QList<QPoint>, spots);
    QFETCH(uint, spotColour);
    QFETCH(int, transparentColour);
    QFETCH(QList<QPoint>, transparent);
    QFETCH(int, transparentCount);

    QImage pic = picture(size, background, spots, spotColour);
    const QImage before = pic;
    RecordingNotificationArea area;
    clsSysTray tray(area);
    tray.DrawIcon(pic, transparentColour);

    QCOMPARE(area.requests.size(), std::size_t(1));
    QCOMPARE(area.requests[0].message, NIM_MODIFY);
    QCOMPARE(area.requests[0].data.uFlags, NIF_ICON);
    const QImage icon = shownImage(area.requests[0].data.hIcon);
    QCOMPARE(icon.size(), size);

    int count = 0;
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const bool clear = qAlpha(icon.pixel(x, y)) == 0;
            count += clear;
            if (clear) {
                QCOMPARE(pic.pixel(x, y) & 0xFFFFFF, 0u); // blackened in the picture itself
            } else {
                QCOMPARE(qAlpha(icon.pixel(x, y)), 255);
                QCOMPARE(icon.pixel(x, y) & 0xFFFFFF, before.pixel(x, y) & 0xFFFFFF);
                QCOMPARE(pic.pixel(x, y), before.pixel(x, y));
            }
        }
    }
    for (const QPoint& p : transparent)
        QVERIFY2(qAlpha(icon.pixel(p)) == 0, qPrintable(QStringLiteral("(%1, %2) opaque").arg(p.x()).arg(p.y())));
    QCOMPARE(count, transparentCount);
}

void DrawIconTest::unreadablePictureKeepsThePreviousIcon()
{
    QWidget window;
    RecordingNotificationArea area;
    clsSysTray tray(area);
    tray.Init(window, QStringLiteral("Zorvel"));
    const std::size_t sent = area.requests.size();

    for (int colour : {-1, 0xFF}) {
        QImage nothing;
        tray.DrawIcon(nothing, colour);
        QCOMPARE(area.requests.size(), sent); // no request: the tray keeps what it shows
        QVERIFY(tray.record().hIcon.isNull());
    }
}

void DrawIconTest::eachCallShowsItsOwnIconAndSetIconBringsTheWindowsBack()
{
    QWidget window;
    QPixmap own(16, 16);
    own.fill(Qt::blue);
    window.setWindowIcon(QIcon(own));
    RecordingNotificationArea area;
    clsSysTray tray(area);
    tray.Init(window, QStringLiteral("Zorvel"));

    QImage first = picture(QSize(32, 32), white, {}, red);
    QImage second = picture(QSize(32, 32), red, {}, red);
    tray.DrawIcon(first);
    tray.DrawIcon(second, 0xFF);
    const auto& a = area.requests[area.requests.size() - 2].data;
    const auto& b = area.requests.back().data;
    QCOMPARE(a.uFlags, NIF_ICON);
    QCOMPARE(b.uFlags, NIF_ICON);
    QCOMPARE(shownImage(a.hIcon).pixel(5, 5), white);
    QCOMPARE(qAlpha(shownImage(b.hIcon).pixel(5, 5)), 0);

    tray.SetIcon(window);
    QCOMPARE(area.requests.back().data.uFlags, NIF_ICON);
    QCOMPARE(area.requests.back().data.hIcon.cacheKey(), window.windowIcon().cacheKey());
}

QTEST_MAIN(DrawIconTest)
#include "test_draw_icon.moc"
