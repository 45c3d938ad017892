#include "frmMain.h"
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace zorvel {

frmMain::frmMain(StatusFields& fields, QWidget* parent) : QWidget(parent), fields_(fields)
{
    setWindowTitle("Zorvel");
    lblVersion = new QLabel(this);
    lblCopyright = new QLabel(this);
    txtSendNumber = new QLineEdit(this);
    txtSendMsg = new QLineEdit(this);
    cmdSendText = new QPushButton("Send", this);
    connect(cmdSendText, &QPushButton::clicked, this, &frmMain::sendClicked);
}

void frmMain::closeEvent(QCloseEvent* event)
{
    emit unloadRequested();
    event->accept();
}

} // namespace zorvel
