// The window's read-only texts: selecting with the mouse, the keys or the context menu
// and copying to the clipboard; nothing can be typed in; a screen reader reads them as
// read-only text; a selection is painted where the glyphs are.
#include <QAccessible>
#include <QClipboard>
#include <QMenu>
#include <QtTest>
#include "DisplayWidgets.h"
#include "frmMain.h"

using namespace zorvel;
Q_DECLARE_METATYPE(zorvel::Field)
Q_DECLARE_METATYPE(std::string)

namespace {

// Opens the field's context menu and triggers one of its actions.
void triggerFromMenu(ReadOnlyText* text, const char* action)
{
    QContextMenuEvent event(QContextMenuEvent::Mouse, text->rect().center(),
                            text->mapToGlobal(text->rect().center()));
    QCoreApplication::sendEvent(text, &event);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    QVERIFY(menu);
    auto* item = menu->findChild<QAction*>(action);
    QVERIFY(item && item->isEnabled());
    item->trigger();
    menu->close();
}

} // namespace

class ReadOnlyTextTest : public QObject {
    Q_OBJECT

    StatusFields* fields = nullptr;
    frmMain* window = nullptr;
    ReadOnlyText* control(const QString& name) { return window->findChild<ReadOnlyText*>(name); }

private slots:
    void init()
    {
        fields = new StatusFields;
        fields->setText(Field::txtIMEI, "356938035643809");
        fields->setText(Field::txtPhoneNo, "+15550001234");
        fields->setText(Field::txtStatus, "AT+CSQ\r\r\n+CSQ: 23,99\r\n\r\nOK\r\n");
        window = new frmMain(*fields);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QGuiApplication::clipboard()->clear();
    }
    void cleanup()
    {
        delete window;
        delete fields;
    }

    void selectAndCopy_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("gesture");
        QTest::addColumn<QString>("copied");
        QTest::newRow("double click") << "txtIMEI" << "double click" << "356938035643809";
        QTest::newRow("double click, line") << "txtStatus" << "double click" << "AT+CSQ";
        QTest::newRow("drag, sign kept") << "txtPhoneNo" << "drag" << "+15550001234";
        QTest::newRow("Ctrl+A") << "txtStatus" << "Ctrl+A" << "AT+CSQ\n+CSQ: 23,99\n\nOK\n";
        QTest::newRow("menu") << "txtIMEI" << "menu" << "356938035643809";
    }
    void selectAndCopy()
    {
        QFETCH(QString, name);
        QFETCH(QString, gesture);
        QFETCH(QString, copied);
        ReadOnlyText* text = control(name);
        const QPoint firstLine(text->width() / 2, text->isMultiLine() ? 8 : text->height() / 2);
        if (gesture == "double click") {
            QTest::mouseDClick(text, Qt::LeftButton, {}, firstLine);
        } else if (gesture == "drag") {
            QTest::mousePress(text, Qt::LeftButton, {}, QPoint(0, firstLine.y()));
            QTest::mouseMove(text, QPoint(text->width() - 1, firstLine.y()));
            QTest::mouseRelease(text, Qt::LeftButton, {}, QPoint(text->width() - 1, firstLine.y()));
        } else if (gesture == "Ctrl+A") {
            QTest::keyClick(text, Qt::Key_A, Qt::ControlModifier);
        } else {
            triggerFromMenu(text, "select-all");
            triggerFromMenu(text, "edit-copy");
            QCOMPARE(QGuiApplication::clipboard()->text(), copied);
            return;
        }
        QCOMPARE(text->selectedText(), copied);
        QTest::keyClick(text, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), copied);
    }

    // Typing, deleting and pasting change nothing; a new text drops the selection.
    void notEditable()
    {
        QGuiApplication::clipboard()->setText("pasted");
        auto* imei = static_cast<DisplayField*>(control("txtIMEI"));
        imei->setFocus();
        imei->selectAll();
        QTest::keyClicks(imei, "12ab");
        for (int key : {Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_Return})
            QTest::keyClick(imei, Qt::Key(key));
        QTest::keyClick(imei, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(imei->text(), QString("356938035643809"));
        QVERIFY(!QAccessible::queryAccessibleInterface(imei)->editableTextInterface());
        fields->setText(Field::txtIMEI, "356938035643810");
        QVERIFY(!imei->hasSelectedText());
    }

    void screenReader_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("purpose");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("multiLine");
        QTest::newRow("txtIMEI") << "txtIMEI" << "IMEI" << "356938035643809" << false;
        QTest::newRow("txtStatus") << "txtStatus" << "Modem answer"
                                   << "AT+CSQ\n+CSQ: 23,99\n\nOK\n" << true;
    }
    void screenReader()
    {
        QFETCH(QString, name);
        QFETCH(QString, purpose);
        QFETCH(QString, text);
        QFETCH(bool, multiLine);
        ReadOnlyText* widget = control(name);
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
        QCOMPARE(face->role(), QAccessible::EditableText);
        QVERIFY(face->state().readOnly);
        QVERIFY(!face->state().editable);
        QVERIFY(face->state().selectableText);
        QCOMPARE(bool(face->state().multiLine), multiLine);
        QCOMPARE(face->text(QAccessible::Name), purpose);
        QCOMPARE(face->text(QAccessible::Value), text);
        QAccessibleTextInterface* textFace = face->textInterface();
        QVERIFY(textFace);
        QCOMPARE(textFace->characterCount(), int(text.size()));
        QCOMPARE(textFace->text(0, textFace->characterCount()), text);
        // A character is found again at its own box, on screen.
        const int middle = 8;
        QCOMPARE(textFace->offsetAtPoint(textFace->characterRect(middle).center()), middle);
        textFace->setSelection(0, 2, 5);
        QCOMPARE(widget->selectedText(), text.mid(2, 3));
    }

    // With a selection coloured like the rest, the picture must not change: the selected
    // glyphs stand exactly where the unselected ones did.
    void selectionPaintedOverTheGlyphs_data()
    {
        QTest::addColumn<Field>("field");
        QTest::addColumn<std::string>("bytes");
        QTest::newRow("txtCounter") << Field::txtCounter << std::string("Msgs: 1234");
        // The second line is too long for the box and wraps.
        QTest::newRow("txtStatus")
            << Field::txtStatus
            << std::string("+CMGL: 1,\"REC UNREAD\",\"+15550003333\",,\"26/12/07,09:16:40+04\"\r\n"
                           "Your balance is low: top up before the end of the month to keep "
                           "your number and your bundles, or call us free of charge on 555\r\n");
    }
    void selectionPaintedOverTheGlyphs()
    {
        QFETCH(Field, field);
        QFETCH(std::string, bytes);
        fields->setText(field, bytes);
        ReadOnlyText* text = control(QTest::currentDataTag());
        const QImage plain = text->grab().toImage();
        const QPalette shown = text->palette();
        QPalette palette = shown;
        palette.setColor(QPalette::Highlight, palette.color(QPalette::Base));
        palette.setColor(QPalette::HighlightedText, palette.color(QPalette::Text));
        text->setPalette(palette);
        text->selectAll();
        QCOMPARE(text->grab().toImage(), plain);
        text->setPalette(shown);
        QVERIFY(text->grab().toImage() != plain); // and a real selection shows
    }
};

QTEST_MAIN(ReadOnlyTextTest)
#include "test_readonly_text.moc"
