#pragma once
#include <QWidget>
#include "StatusFields.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace zorvel {

class frmMain : public QWidget {
    Q_OBJECT
public:
    explicit frmMain(StatusFields& fields, QWidget* parent = nullptr);

    QLabel* lblVersion = nullptr;
    QLabel* lblCopyright = nullptr;
    QLineEdit* txtSendNumber = nullptr;
    QLineEdit* txtSendMsg = nullptr;
    QPushButton* cmdSendText = nullptr;

signals:
    void sendClicked();    // the Send button
    void unloadRequested(); // the window is being closed

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    StatusFields& fields_;
};

} // namespace zorvel
