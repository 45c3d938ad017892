// Zorvel: forwards the SMS a GSM modem receives to a web address, and shows the modem's
// state in one small window.
#include <QApplication>
#include <QDir>
#include <QFont>

#include "Gateway.h"
#include "ZorvelIcon.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zorvel"));
    // The window's icon, which is also the tray icon (and the message boxes' icon).
    QApplication::setWindowIcon(zorvel::ZorvelIcon());
    // The window ends the program itself, also when only a message box is left.
    QApplication::setQuitOnLastWindowClosed(false);
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(11);
    QApplication::setFont(font);

    zorvel::Gateway gateway(QDir::currentPath().toStdString());
    if (gateway.Form_Load())
        gateway.showWindow();
    return QApplication::exec();
}
