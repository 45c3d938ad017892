// The main window: layout, binding to the status record, plain text, and DisplayText.
#include <QAccessible>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include "DisplayText.h"
#include "DisplayWidgets.h"
#include "frmMain.h"

using namespace zorvel;
Q_DECLARE_METATYPE(zorvel::Field)
Q_DECLARE_METATYPE(zorvel::Rgb)
Q_DECLARE_METATYPE(std::string)

namespace {

// Collects what a window repaints: the area in window coordinates and which controls.
class PaintRecorder : public QObject {
public:
    explicit PaintRecorder(QWidget* window) : window(window)
    {
        for (QWidget* w : window->findChildren<QWidget*>())
            w->installEventFilter(this);
    }
    QRegion area;
    QSet<QString> controls;

protected:
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (e->type() != QEvent::Paint)
            return false;
        QWidget* w = static_cast<QWidget*>(o);
        area += static_cast<QPaintEvent*>(e)->region().translated(w->mapTo(window, QPoint()));
        while (w->parentWidget() != window)
            w = w->parentWidget();
        controls.insert(w->objectName());
        return false;
    }

private:
    QWidget* window;
};

// Notes the widgets given to a parent while it is being built, in that order.
class CreationRecorder : public QObject {
public:
    QList<QObject*> children;

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::ChildAdded) {
            QObject* child = static_cast<QChildEvent*>(e)->child();
            if (child->isWidgetType() && !children.contains(child))
                children << child;
        }
        return false;
    }
};

const QStringList displayFields{"txtPDUmode", "txtSYSINFO", "txtIMSI", "txtIMEI", "picS4",
                                "picS5", "picS3", "picS2", "picS1", "txtReady", "txtPhoneNo",
                                "txtCounter", "txtNetName", "txtLastCheck"};

QString shownText(QWidget* w)
{
    return w->property(qobject_cast<StatusBox*>(w) ? "plainText" : "text").toString();
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

    StatusFields* fields = nullptr;
    frmMain* window = nullptr;
    QWidget* control(const QString& name) { return window->findChild<QWidget*>(name); }

private slots:
    void init()
    {
        fields = new StatusFields;
        window = new frmMain(*fields);
    }
    void cleanup()
    {
        delete window;
        delete fields;
    }

    void controlsAtTheirRectangles_data()
    {
        QTest::addColumn<QRect>("rect");
        // In creation order; pixels = twips / 15. Line1 is drawn one pixel high.
        const std::pair<const char*, QRect> rows[] = {
            {"txtPDUmode", {336, 32, 89, 17}},    {"txtSYSINFO", {336, 64, 209, 17}},
            {"txtIMSI", {224, 48, 113, 17}},      {"txtIMEI", {336, 48, 129, 17}},
            {"txtSignal", {256, 24, 81, 19}},     {"picS4", {512, 16, 17, 33}},
            {"picS5", {528, 8, 17, 41}},          {"picS3", {496, 24, 17, 25}},
            {"picS2", {480, 32, 17, 17}},         {"picS1", {464, 40, 17, 9}},
            {"txtSendMsg", {200, 168, 249, 19}},  {"txtSendNumber", {8, 168, 185, 19}},
            {"cmdSendText", {456, 160, 89, 33}},  {"txtReady", {336, 48, 41, 13}},
            {"txtPhoneNo", {224, 32, 129, 17}},   {"txtCounter", {96, 64, 105, 17}},
            {"txtNetName", {472, 48, 73, 13}},    {"txtLastCheck", {208, 64, 113, 17}},
            {"txtStatus", {0, 0, 553, 89}},       {"Label5", {0, 128, 553, 17}},
            {"Label4", {200, 152, 137, 17}},      {"Label2", {8, 152, 129, 17}},
            {"Line1", {0, 104, 552, 1}},          {"Label1", {0, 112, 545, 17}},
            {"lblVersion", {496, 200, 49, 17}},   {"lblCopyright", {0, 200, 553, 17}},
            {"lblSMSstamp", {64, 88, 209, 17}},   {"Label3", {0, 88, 65, 17}},
            {"lblSMS", {280, 88, 265, 17}},
        };
        for (const auto& [name, rect] : rows)
            QTest::newRow(name) << rect;
    }
    void controlsAtTheirRectangles()
    {
        QFETCH(QRect, rect);
        QWidget* w = control(QTest::currentDataTag());
        QVERIFY(w);
        QCOMPARE(w->geometry(), rect);
    }

    void controlsInCreationOrder()
    {
        CreationRecorder recorder;
        qApp->installEventFilter(&recorder);
        StatusFields record;
        frmMain w(record);
        qApp->removeEventFilter(&recorder);
        QStringList order;
        for (QObject* child : recorder.children)
            if (child->parent() == &w)
                order << child->objectName();
        const QStringList expected = QString(
            "txtPDUmode txtSYSINFO txtIMSI txtIMEI txtSignal picS4 picS5 picS3 picS2 picS1 "
            "txtSendMsg txtSendNumber cmdSendText txtReady txtPhoneNo "
            "txtCounter txtNetName txtLastCheck txtStatus Label5 Label4 Label2 Line1 Label1 "
            "lblVersion lblCopyright lblSMSstamp Label3 lblSMS lblForwardProblem").split(' ');
        QCOMPARE(order, expected);
    }

    void windowFrameAndFixedCaptions()
    {
        QCOMPARE(window->windowTitle(), QString("Zorvel"));
        QCOMPARE(window->lblVersion->text(), QString("V0.00")); // start-up sets the real one
        QCOMPARE(window->lblCopyright->text(), QString());
        QCOMPARE(window->minimumSize(), QSize(552, 215));
        QCOMPARE(window->maximumSize(), QSize(552, 215));
    }

    // Each field is the topmost control at its own centre: nothing (least of all the modem
    // answer behind them) hides it.
    void displayFieldsVisibleAboveStatusBox()
    {
        fields->setVisible(Field::txtSignal, false); // as start-up leaves it
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        for (const QString& name : displayFields) {
            QWidget* w = control(name);
            QCOMPARE(window->childAt(w->geometry().center()), w);
        }
    }

    void captionsFitTheirRectangles_data()
    {
        QTest::addColumn<QString>("text");
        for (const char* fixed : {"Label1", "Label2", "Label3", "Label4", "Label5", "cmdSendText"})
            QTest::newRow(fixed) << QString();
        QTest::newRow("lblVersion") << QString("V 1.24");
        QTest::newRow("lblCopyright") << QString("© 2026 the Zorvel authors");
        QTest::newRow("txtLastCheck") << QString("2026-12-31 23:59:59");
        QTest::newRow("txtPDUmode") << QString("ASCII Mode");
        QTest::newRow("txtReady") << QString("READY");
        QTest::newRow("txtNetName") << QString("No Service");
    }
    void captionsFitTheirRectangles()
    {
        QFETCH(QString, text);
        QWidget* w = control(QTest::currentDataTag());
        if (text.isEmpty())
            text = shownText(w);
        QCOMPARE(QFontInfo(w->font()).family(), QString("Liberation Sans"));
        const QFontMetrics metrics(w->font());
        QVERIFY2(metrics.horizontalAdvance(text) <= w->width(), qPrintable(text));
        QVERIFY(metrics.height() <= w->height());
    }

    void showsRecordAtConstruction()
    {
        QCOMPARE(shownText(control("txtLastCheck")), QString("Starting Zorvel"));
        QCOMPARE(shownText(control("lblSMSstamp")), QString("None"));
        StatusFields record;
        record.setText(Field::txtIMEI, "356938035643809");
        record.setColour(Field::picS2, colours::darkGrey);
        record.setVisible(Field::txtSignal, false);
        frmMain w(record);
        QCOMPARE(w.findChild<DisplayField*>("txtIMEI")->text(), QString("356938035643809"));
        QCOMPARE(w.findChild<QWidget*>("picS2")->palette().color(QPalette::Window),
                 QColor(64, 64, 64));
        QVERIFY(w.findChild<QWidget*>("txtSignal")->isHidden());
    }

    void changeShowsInItsWidgetOnly_data()
    {
        QTest::addColumn<Field>("field");
        QTest::addColumn<std::string>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("txtReady") << Field::txtReady << std::string("BUSY") << "BUSY";
        QTest::newRow("txtStatus") << Field::txtStatus << std::string("AT\r\r\nOK\r\n")
                                   << "AT\nOK\n";
        QTest::newRow("lblSMS") << Field::lblSMS << std::string("caf\xe9") << "café";
    }
    void changeShowsInItsWidgetOnly()
    {
        QFETCH(Field, field);
        QFETCH(std::string, bytes);
        QFETCH(QString, shown);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCoreApplication::processEvents();
        PaintRecorder paints(window);
        fields->setText(field, bytes);
        QCoreApplication::processEvents();
        QWidget* changed = control(QTest::currentDataTag());
        QCOMPARE(shownText(changed), shown);
        // Only pixels of the changed control; neighbours only where they overlap it, and
        // no (opaque) display field for a change beneath or beside it.
        QVERIFY(paints.area.intersects(changed->geometry()));
        QVERIFY((paints.area - changed->geometry()).isEmpty());
        for (const QString& name : displayFields)
            QVERIFY2(name == changed->objectName() || !paints.controls.contains(name),
                     qPrintable(name));
    }

    // A change of colour or a repeated notification must not set the text again.
    void unchangedTextIsNotSetAgain()
    {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCoreApplication::processEvents();
        auto* ready = window->findChild<DisplayField*>("txtReady");
        QSignalSpy textSets(ready, &DisplayField::textChanged);
        fields->setColour(Field::txtReady, colours::red);
        QCOMPARE(textSets.count(), 0);
        QCoreApplication::processEvents();
        PaintRecorder paints(window);
        window->showField(Field::txtReady);
        fields->setText(Field::txtReady, "READY");
        QCoreApplication::processEvents();
        QCOMPARE(textSets.count(), 0);
        QVERIFY(paints.area.isEmpty());
    }

    void colours_data()
    {
        QTest::addColumn<Field>("field");
        QTest::addColumn<Rgb>("colour");
        QTest::addColumn<int>("role");
        QTest::newRow("txtReady") << Field::txtReady << colours::red << int(QPalette::Text);
        QTest::newRow("txtLastCheck") << Field::txtLastCheck << colours::red << int(QPalette::Text);
        QTest::newRow("picS1") << Field::picS1 << colours::darkGrey << int(QPalette::Window);
        QTest::newRow("picS5") << Field::picS5 << colours::white << int(QPalette::Window);
        QTest::newRow("txtStatus") << Field::txtStatus << colours::lightGreen
                                   << int(QPalette::Text);
    }
    void colours()
    {
        QFETCH(Field, field);
        QFETCH(Rgb, colour);
        QFETCH(int, role);
        fields->setColour(field, colour);
        const QPalette palette = control(QTest::currentDataTag())->palette();
        QCOMPARE(palette.color(QPalette::ColorRole(role)), QColor(colour.r, colour.g, colour.b));
        if (role == QPalette::Text)
            QCOMPARE(palette.color(QPalette::Base), QColor(Qt::black));
    }

    void visibilityFollowsRecord()
    {
        QWidget* signal = control("txtSignal");
        QWidget* problem = control("lblForwardProblem");
        QVERIFY(!signal->isHidden());
        QVERIFY(problem->isHidden()); // empty
        fields->setVisible(Field::txtSignal, false);
        fields->setText(Field::lblForwardProblem, "Forwarding failed");
        QVERIFY(signal->isHidden());
        QVERIFY(!problem->isHidden());
        fields->setText(Field::lblForwardProblem, "");
        QVERIFY(problem->isHidden());
    }

    void outsideTextShownLiterally_data()
    {
        QTest::addColumn<Field>("field");
        QTest::newRow("lblSMS") << Field::lblSMS;
        QTest::newRow("lblSMSstamp") << Field::lblSMSstamp;
        QTest::newRow("lblForwardProblem") << Field::lblForwardProblem;
        QTest::newRow("txtStatus") << Field::txtStatus;
    }
    void outsideTextShownLiterally()
    {
        QFETCH(Field, field);
        fields->setText(field, "<img src=x>");
        QWidget* w = control(QTest::currentDataTag());
        if (auto* label = qobject_cast<QLabel*>(w))
            QCOMPARE(label->textFormat(), Qt::PlainText);
        QCOMPARE(shownText(w), QString("<img src=x>"));
    }

    void screenReaderNames()
    {
        QSet<QString> names;
        for (const QString& name : displayFields + QStringList{"txtStatus", "txtSignal"}) {
            const QString accessible = control(name)->accessibleName();
            QVERIFY2(!accessible.isEmpty() && !names.contains(accessible), qPrintable(name));
            names.insert(accessible);
        }
        QCOMPARE(control("txtReady")->accessibleName(), QString("Ready indicator"));
        auto nameOf = [&](const char* name) {
            return QAccessible::queryAccessibleInterface(control(name))->text(QAccessible::Name);
        };
        QCOMPARE(nameOf("txtSendNumber"), QString("Destination Number:"));
        QCOMPARE(nameOf("txtSendMsg"), QString("Message:"));
        fields->setText(Field::lblSMS, "hello");
        QCOMPARE(nameOf("lblSMS"), QString("hello")); // the message itself is read out
    }

    void operatorSignals()
    {
        QSignalSpy sends(window, &frmMain::sendClicked);
        QSignalSpy unloads(window, &frmMain::unloadRequested);
        window->show();
        QTest::mouseClick(window->cmdSendText, Qt::LeftButton);
        QCOMPARE(sends.count(), 1);
        QVERIFY(window->close());
        QCOMPARE(unloads.count(), 1);
    }

    void recordOutlivesWindow()
    {
        delete window;
        window = nullptr;
        fields->setText(Field::txtReady, "BUSY"); // must not reach the deleted window
    }

    void displayText_data()
    {
        QTest::addColumn<std::string>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("ASCII") << std::string("OK\r\n") << "OK\r\n";
        QTest::newRow("empty") << std::string() << "";
        QTest::newRow("UTF-8 e acute") << std::string("caf\xc3\xa9") << "café";
        QTest::newRow("Latin-1 e acute") << std::string("caf\xe9") << "café";
        QTest::newRow("valid then invalid") << std::string("\xc3\xa9 \xe9") << "Ã© é";
        QTest::newRow("cut sequence at end") << std::string("a\xc3") << "aÃ";
        QTest::newRow("overlong slash") << std::string("\xc0\xaf") << "À¯";
        QTest::newRow("NUL bytes kept") << std::string("a\0b\0", 4)
                                        << QString::fromLatin1("a\0b\0", 4);
        QTest::newRow("byte-order mark kept") << std::string("\xef\xbb\xbfx")
                                              << QString(QChar(0xfeff)) + "x";
    }
    void displayText()
    {
        QFETCH(std::string, bytes);
        QFETCH(QString, text);
        QCOMPARE(DisplayText(bytes), text);
    }
};

QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
