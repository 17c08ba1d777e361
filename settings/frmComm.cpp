#include "settings/frmComm.h"

#include "help/AppInfo.h"
#include "settings/DialogFont.h"
#include "settings/SettingValue.h"
#include "settings/mdlMain.h"

#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QUrl>
#include <algorithm>

std::optional<int> portFromField(QStringView text)
{
    // Read exactly as the connection reads a port from the settings file, so
    // a value accepted here means the same port there.
    const std::optional<qint64> whole = SettingValue::fromText(text.toString()).integerPart();
    if (!whole || *whole < MinRemotePort || *whole > MaxRemotePort)
        return std::nullopt;
    return static_cast<int>(*whole);
}

HostProblem checkHostField(QStringView text)
{
    for (const QChar c : text) {
        const QChar::Category category = c.category();
        if (category == QChar::Other_Control || category == QChar::Separator_Line ||
            category == QChar::Separator_Paragraph)
            return HostProblem::ControlCharacter;
    }
    if (text.trimmed().isEmpty())
        return HostProblem::Empty;
    if (std::any_of(text.begin(), text.end(), [](QChar c) { return c.isSpace(); }))
        return HostProblem::Space;
    const QString host = text.toString();
    if (QHostAddress().setAddress(host))
        return HostProblem::None;
    if (text.contains(QLatin1StringView("://")))
        return HostProblem::Scheme;
    if (text.contains(QLatin1Char('/')) || text.contains(QLatin1Char('\\')))
        return HostProblem::Path;
    if (text.contains(QLatin1Char(':')) && !text.startsWith(QLatin1Char('[')))
        return HostProblem::Port;
    // The very test the name lookup makes before it asks the resolver: a
    // name without an ASCII form would fail there as "Host not found".
    if (QUrl::toAce(host).isEmpty())
        return HostProblem::NotAHostName;
    return HostProblem::None;
}

QString hostRefusalText(HostProblem problem)
{
    switch (problem) {
    case HostProblem::Empty:
        return QStringLiteral("Remote Host must not be empty: enter the name or address of the "
                              "car's router.");
    case HostProblem::ControlCharacter:
        return QStringLiteral("Remote Host must not contain line breaks, tabs or other control "
                              "characters.");
    case HostProblem::Space:
        return QStringLiteral("Remote Host must not contain spaces, not even before or after the "
                              "name.");
    case HostProblem::Scheme:
        return QStringLiteral("Remote Host takes the name or address alone, without http:// or "
                              "any other scheme before it.");
    case HostProblem::Path:
        return QStringLiteral("Remote Host takes the name or address alone, without a path "
                              "(/ or \\) after it.");
    case HostProblem::Port:
        return QStringLiteral("Remote Host takes the name or address alone, without a port: "
                              "enter the port in Remote Port.");
    case HostProblem::NotAHostName:
        return QStringLiteral("Remote Host is not a host name or IP address: a name holds only "
                              "letters, digits, hyphens and dots, and no part of it begins or "
                              "ends with a hyphen.");
    case HostProblem::None:
        break;
    }
    return {};
}

QString portRefusalText()
{
    return QStringLiteral("Remote Port must be a number from %1 to %2.")
        .arg(MinRemotePort)
        .arg(MaxRemotePort);
}

frmComm::frmComm(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Velmora - Comm Port Settings"));
    setModal(false);
    resize(207, 113);

    // Each control is named, so it can be found by name from outside.
    // Created in tab order so the focus chain starts right even before the
    // explicit order below.
    cmdOK = new QPushButton(QStringLiteral("&OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(96, 72, 49, 33);
    cmdOK->setDefault(true);

    cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setGeometry(152, 72, 49, 33);

    txtRemoteHost = new QLineEdit(this);
    txtRemoteHost->setObjectName(QStringLiteral("txtRemoteHost"));
    txtRemoteHost->setGeometry(16, 24, 185, 19);

    lblRemoteHost = new QLabel(QStringLiteral("Remote Host"), this);
    lblRemoteHost->setObjectName(QStringLiteral("lblRemoteHost"));
    lblRemoteHost->setGeometry(16, 8, 62, 13);

    lblRemotePort = new QLabel(QStringLiteral("Remote Port"), this);
    lblRemotePort->setObjectName(QStringLiteral("lblRemotePort"));
    lblRemotePort->setGeometry(16, 48, 59, 13);

    txtRemotePort = new QLineEdit(this);
    txtRemotePort->setObjectName(QStringLiteral("txtRemotePort"));
    txtRemotePort->setGeometry(16, 64, 61, 19);

    // A screen reader names each field after its label.
    lblRemoteHost->setBuddy(txtRemoteHost);
    lblRemotePort->setBuddy(txtRemotePort);
    // The fixed geometry suits a classic 8-point dialog font; the desktop's
    // own, larger font would cut the labels short.
    setFont(fittingDialogFont(font(), {{lblRemoteHost->text(), lblRemoteHost->width()},
                                       {lblRemotePort->text(), lblRemotePort->width()}}));

    setTabOrder(cmdOK, cmdCancel);
    setTabOrder(cmdCancel, txtRemoteHost);
    setTabOrder(txtRemoteHost, txtRemotePort);

    connect(cmdOK, &QPushButton::clicked, this, &frmComm::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmComm::cmdCancel_Click);

    Form_Load();
    cmdOK->setFocus();
}

void frmComm::Form_Load()
{
    txtRemoteHost->setText(mdlMain::RemoteHost.text());
    txtRemotePort->setText(mdlMain::RemotePort.text());
}

void frmComm::cmdOK_Click()
{
    // Both fields are checked before either setting changes, so a refusal
    // leaves the settings exactly as they were.
    const QString host = txtRemoteHost->text();
    const HostProblem hostProblem = checkHostField(host);
    if (hostProblem != HostProblem::None) {
        Refuse(hostRefusalText(hostProblem), txtRemoteHost);
        return;
    }
    const std::optional<int> port = portFromField(txtRemotePort->text());
    if (!port) {
        Refuse(portRefusalText(), txtRemotePort);
        return;
    }

    mdlMain::RemoteHost = SettingValue::fromText(host);
    mdlMain::RemotePort = SettingValue::fromNumber(*port);
    accept();
}

void frmComm::cmdCancel_Click()
{
    reject();
}

void frmComm::Refuse(const QString& text, QLineEdit* field)
{
    // The box lives on the heap: should the main window close this dialog
    // while the box is up, the dialog takes the box with it, and nothing
    // here may touch either afterwards.
    const QPointer<frmComm> self(this);
    const QPointer<QMessageBox> box =
        new QMessageBox(QMessageBox::Information, applicationTitle(), text, QMessageBox::Ok, this);
    box->exec();
    delete box.data();
    if (self)
        field->setFocus();
}
