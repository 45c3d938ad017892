#pragma once
// The gateway's one window: shows the status record and forwards the operator's input.
#include <QWidget>
#include <array>
#include <optional>
#include <string>
#include "StatusFields.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace zorvel {

class frmMain : public QWidget {
    Q_OBJECT
public:
    // Shows the record's current state and follows its changes (the window takes the
    // record's onChanged for as long as it lives).
    explicit frmMain(StatusFields& fields, QWidget* parent = nullptr);
    ~frmMain() override;

    // Brings the field's widget up to date with the record, touching only what differs.
    // Public so that another listener on the record can pass changes on.
    void showField(Field field);

    QLabel* lblVersion = nullptr;
    QLabel* lblCopyright = nullptr;
    QLineEdit* txtSendNumber = nullptr;
    QLineEdit* txtSendMsg = nullptr;
    QPushButton* cmdSendText = nullptr;

signals:
    void sendClicked();     // the Send button
    void unloadRequested(); // the window is being closed

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void connectInput();
    QWidget* child(const QString& name) const;

    // What a field's widget shows now, to skip updates that would change nothing.
    struct Shown {
        std::string text;
        Rgb colour;
        bool visible = true;
    };
    static constexpr std::size_t fieldCount = static_cast<std::size_t>(Field::Count);

    StatusFields& fields_;
    std::array<QWidget*, fieldCount> fieldWidgets_{};
    std::array<std::optional<Shown>, fieldCount> shown_{};
};

} // namespace zorvel
