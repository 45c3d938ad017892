#include "Gateway.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>

#include "ExitCodes.h"
#include "LogCategories.h"
#include "QtNotificationArea.h"
#include "SignalWatcher.h"
#include "TypedLatin1.h"
#include "Version.h"
#include "WindowTray.h"
#include "frmMain.h"

namespace zorvel {

namespace {
const char* const copyrightText = "\u00a9 2026 the Zorvel authors";
} // namespace

Gateway::Gateway(std::string workFolder)
    : link_(std::move(workFolder)), window_(std::make_unique<frmMain>(link_.fields()))
{
    endProgram = [](int code) { QCoreApplication::exit(code); };
    showMessage = [this](const std::string& text, std::function<void()> afterOk) {
        auto* box = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("Zorvel"),
                                    QString::fromStdString(text), QMessageBox::Ok);
        box->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(box, &QMessageBox::finished, this, [afterOk] { afterOk(); });
        box->open();
    };
    makeNotificationArea = [] { return std::make_unique<QtNotificationArea>(); };
    // Both failures end the program once the operator has read the message.
    link_.onFatal = [this](const std::string& text, int code) {
        showMessage(text, [this, code] { end(code); });
    };
    connect(window_.get(), &frmMain::unloadRequested, this, &Gateway::Form_Unload);
    connect(window_.get(), &frmMain::sendClicked, this, [this] {
        if (link_.sendsThroughOutbox())
            link_.queueTyped(window_->txtSendNumber->text().toStdString(),
                             window_->txtSendMsg->text().toStdString());
        else
            link_.sendClicked();
    });
}

Gateway::~Gateway() = default;

bool Gateway::Form_Load()
{
    tray_ = std::make_unique<WindowTray>(*window_, makeNotificationArea());
    QCoreApplication::processEvents(); // one pass of waiting events before the timer exists
    tray_->Init(QStringLiteral("Zorvel"));
    window_->lblCopyright->setText(QString::fromUtf8(copyrightText));
    window_->lblVersion->setText(QString::fromLatin1(versionText));

    if (!link_.loadConfiguration())
        return false;
    startMinimised_ = link_.config().StartMinimised == "1";
    link_.start([this] {
        // Read when the send step runs, exactly as typed; Latin-1 on the line.
        return OutgoingInput{TypedLatin1(window_->txtSendNumber->text()),
                             TypedLatin1(window_->txtSendMsg->text())};
    });
    return true;
}

void Gateway::showWindow()
{
    // Started minimised, the window is never shown, not even for a moment: only the tray
    // icon is there, and a left click on it brings the window up.
    if (!startMinimised_)
        window_->show();
}

void Gateway::Form_Unload()
{
    if (ended_)
        return;
    link_.stop();
    tray_.reset(); // removes the tray icon
    end(exitcode::ended);
}

void Gateway::endOnSignal(int signalNumber)
{
    qCInfo(lcApp, "%s received", qPrintable(SignalName(signalNumber)));
    Form_Unload();
}

void Gateway::end(int code)
{
    ended_ = true;
    qCInfo(lcApp, "ended with exit code %d", code);
    endProgram(code);
}

} // namespace zorvel
