#pragma once

#include <QDialog>

class QLineEdit;

// The small window that edits the camera's address. Only OK changes it, and
// only to an address that can work; an empty one stands for the car's own
// camera. Closing it any other way changes nothing.
class frmCameraUrl : public QDialog {
    Q_OBJECT

public:
    // url: the address as kept (may be empty); defaultUrl: what empty means.
    frmCameraUrl(const QString& url, const QString& defaultUrl, QWidget* parent = nullptr);

    // The address as accepted, trimmed.
    QString url() const;

private:
    void cmdOK_Click();

    QLineEdit* txtCameraUrl = nullptr;
};
