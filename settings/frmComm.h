#pragma once

#include <QDialog>
#include <QString>
#include <QStringView>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

// The ports a TCP connection can use.
constexpr int MinRemotePort = 1;
constexpr int MaxRemotePort = 65535;

// The port field read as a decimal number and rounded down; nothing when it
// is not a number or falls outside MinRemotePort..MaxRemotePort.
std::optional<int> portFromField(QStringView text);

enum class HostProblem {
    None,
    Empty,
    ControlCharacter,
    Space,
    Scheme,
    Path,
    Port,
    NotAHostName,
};

// Why the host field cannot be stored. A blank host can never connect, and a
// line break or other control character would add lines of its own to the
// settings file. The rest can never be looked up: the field takes an IP
// address (IPv4 or IPv6) or a host name alone, and a name beyond ASCII only
// when it has an ASCII (IDNA) form, the form it is looked up and saved in.
HostProblem checkHostField(QStringView text);

// The messages that refuse a field on OK.
QString hostRefusalText(HostProblem problem);
QString portRefusalText();

// The small modeless window that edits the remote host and port. It shows
// the settings as they are when it is built; only OK changes them, and only
// when both fields hold usable values. Closing it any other way (Cancel, Esc,
// the close box, or close() from the program) changes nothing.
class frmComm : public QDialog {
    Q_OBJECT

public:
    explicit frmComm(QWidget* parent = nullptr);

private:
    void Form_Load();
    void cmdOK_Click();
    void cmdCancel_Click();
    // Shows why a field was refused and puts the driver back in it.
    void Refuse(const QString& text, QLineEdit* field);

    QLabel* lblRemoteHost = nullptr;
    QLineEdit* txtRemoteHost = nullptr;
    QLabel* lblRemotePort = nullptr;
    QLineEdit* txtRemotePort = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;
};
