#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// The small modeless window that edits the remote host and port.
class frmComm : public QDialog {
    Q_OBJECT

public:
    explicit frmComm(QWidget* parent = nullptr);

    QLabel* lblRemoteHost;
    QLineEdit* txtRemoteHost;
    QLabel* lblRemotePort;
    QLineEdit* txtRemotePort;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

private:
    void cmdOK_Click();
};
