#include "frmMain.h"
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include "DisplayText.h"
#include "DisplayWidgets.h"
#include "WindowControls.h"
#include "WindowLayout.h"

namespace zorvel {

namespace {

std::size_t slot(Field field) { return static_cast<std::size_t>(field); }

void showText(QWidget* widget, const std::string& bytes)
{
    QString text = DisplayText(bytes);
    if (auto* box = qobject_cast<StatusBox*>(widget)) {
        box->setPlainText(text);
    } else if (auto* field = qobject_cast<DisplayField*>(widget)) {
        field->setText(text);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(text);
    }
}

void showColour(QWidget* widget, Rgb colour)
{
    if (qobject_cast<QLabel*>(widget))
        return; // labels keep the colour of the layout
    if (qobject_cast<DisplayField*>(widget) || qobject_cast<StatusBox*>(widget)) {
        setTextColour(widget, colour);
        return;
    }
    setFillColour(widget, colour);
    // A screen reader cannot see the colour; tell it whether the bar is lit.
    widget->setAccessibleDescription(colour == colours::white ? QStringLiteral("lit")
                                                              : QStringLiteral("off"));
}

} // namespace

frmMain::frmMain(StatusFields& fields, QWidget* parent) : QWidget(parent), fields_(fields)
{
    setWindowTitle(QStringLiteral("Zorvel"));
    setFont(windowFont());
    // The controls never move, so the window keeps the size they were laid out for.
    setFixedSize(clientWidthTwips / twipsPerPixel, clientHeightTwips / twipsPerPixel);
    createControls();
    connectInput();
    for (std::size_t i = 0; i < fieldCount; ++i)
        showField(static_cast<Field>(i));
    fields_.onChanged = [this](Field field) { showField(field); };
}

frmMain::~frmMain()
{
    fields_.onChanged = nullptr;
}

QWidget* frmMain::child(const QString& name) const
{
    return findChild<QWidget*>(name, Qt::FindDirectChildrenOnly);
}

void frmMain::createControls()
{
    QWidget* statusBox = nullptr;
    for (const ControlDef& def : windowControls()) {
        QWidget* widget = createControl(def, this);
        if (def.field)
            fieldWidgets_[slot(*def.field)] = widget;
        if (def.kind == ControlKind::StatusBox)
            statusBox = widget;
    }
    // The modem answer is the background of the status band: every display field and
    // signal bar inside its rectangle must stay visible above it.
    if (statusBox)
        statusBox->lower();
    // Both are left-aligned and overlap by 17 pixels: the own number is short enough to
    // lose its tail, "ASCII Mode" would lose its start.
    child(QStringLiteral("txtPhoneNo"))->stackUnder(child(QStringLiteral("txtPDUmode")));
    // The forwarding note covers the tail of the last message instead of mixing with it.
    child(QStringLiteral("lblForwardProblem"))->setAutoFillBackground(true);

    lblVersion = findChild<QLabel*>(QStringLiteral("lblVersion"));
    lblCopyright = findChild<QLabel*>(QStringLiteral("lblCopyright"));
    txtSendNumber = findChild<QLineEdit*>(QStringLiteral("txtSendNumber"));
    txtSendMsg = findChild<QLineEdit*>(QStringLiteral("txtSendMsg"));
    cmdSendText = findChild<QPushButton*>(QStringLiteral("cmdSendText"));
}

void frmMain::connectInput()
{
    // Screen readers name an input box after its caption.
    findChild<QLabel*>(QStringLiteral("Label2"))->setBuddy(txtSendNumber);
    findChild<QLabel*>(QStringLiteral("Label4"))->setBuddy(txtSendMsg);
    // The operator's order, not the creation order (the message box was created first).
    setTabOrder(txtSendNumber, txtSendMsg);
    setTabOrder(txtSendMsg, cmdSendText);
    connect(cmdSendText, &QPushButton::clicked, this, &frmMain::sendClicked);
}

void frmMain::showField(Field field)
{
    QWidget* widget = fieldWidgets_[slot(field)];
    if (!widget)
        return;
    const std::string& text = fields_.text(field);
    const Rgb colour = fields_.colour(field);
    bool visible = fields_.visible(field);
    if (field == Field::lblForwardProblem)
        visible = visible && !text.empty(); // it covers part of the last message: only when needed

    std::optional<Shown>& shown = shown_[slot(field)];
    if (!shown || shown->text != text)
        showText(widget, text);
    if (!shown || shown->colour != colour)
        showColour(widget, colour);
    if (!shown || shown->visible != visible)
        widget->setVisible(visible);
    shown = Shown{text, colour, visible};
}

void frmMain::closeEvent(QCloseEvent* event)
{
    emit unloadRequested();
    event->accept();
}

} // namespace zorvel
