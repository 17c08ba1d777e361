#include "console/frmMain.h"

#include "camera/CameraControl.h"
#include "settings/FileSystem.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsLocation.h"
#include "settings/frmComm.h"
#include "settings/mdlMain.h"

#include <QDir>
#include <QFileInfo>
#include <optional>

void frmMain::LoadSettings()
{
    const SettingsLocation location =
        chooseSettingsLocation(*FileSys, AppDir, perUserSettingsFolder());
    m_settingsPath = location.savePath;
    m_settingsReadPath = location.readPath;
    m_keepUnreadSettings = false;
    const QString path = location.readPath;
    if (!FileSys->fileExists(path)) {
        mdlMain::RemotePort = SettingValue::fromNumber(mdlMain::DefaultPort);
        mdlMain::RemoteHost = SettingValue::fromText(mdlMain::DefaultHost());
        return;
    }

    // A file is there, so the defaults are not used: a key the file lacks
    // leaves its setting empty, and a file that cannot be read leaves both so.
    SettingsRead read;
    QString error;
    const std::optional<QByteArray> bytes = FileSys->readFile(path, &error);
    if (bytes)
        read = parseSettingsFile(*bytes);
    mdlMain::RemotePort =
        read.remotePort ? SettingValue::fromText(*read.remotePort) : SettingValue();
    mdlMain::RemoteHost =
        read.remoteHost ? SettingValue::fromText(*read.remoteHost) : SettingValue();
    // Text that sets neither key is no less the driver's than a file that
    // cannot be opened: perhaps another encoding, or a hand-made file.
    if (bytes && (read.remotePort || read.remoteHost || !read.holdsText))
        return;
    if (bytes)
        error = QStringLiteral("It holds no RemotePort or RemoteHost line that Velmora can read.");
    // Whatever the file holds is still the driver's: it is not replaced by
    // the empty settings of this run, only by settings saved anew.
    m_keepUnreadSettings = true;
    ShowMessage(QStringLiteral("The settings could not be read from %1.\n\n%2\n\n"
                               "Velmora leaves the file as it is, unless you save new "
                               "settings with Settings > COM Port...")
                    .arg(QDir::toNativeSeparators(path), error));
}

void frmMain::SaveSettings()
{
    if (m_keepUnreadSettings)
        return;
    const QString path = settingsPath();
    const QByteArray contents =
        formatSettingsFile(mdlMain::RemotePort.text(), mdlMain::RemoteHost.text());
    QString error;
    if (!FileSys->makeFolder(QFileInfo(path).absolutePath(), &error) ||
        !FileSys->replaceFile(path, contents, &error)) {
        ShowMessage(QStringLiteral("The settings could not be saved to %1.\n\n%2")
                        .arg(QDir::toNativeSeparators(path), error));
        return;
    }
    // Said once: from the next start on, this is the file that is read.
    if (m_settingsReadPath != path) {
        const QString text =
            path == AppDir + settingsFileName()
                ? QStringLiteral("Velmora can save its settings beside the program again, so it "
                                 "saved them to %2 instead of %1 and reads them from there from "
                                 "now on.")
                : QStringLiteral("Velmora cannot save its settings in %1, so it saved them to "
                                 "%2 and reads them from there from now on.");
        ShowMessage(
            text.arg(QDir::toNativeSeparators(m_settingsReadPath), QDir::toNativeSeparators(path)));
        m_settingsReadPath = path;
    }
}

void frmMain::mnuCOMPort_Click()
{
    // One dialog at a time; choosing the command again leaves the open one
    // exactly where it is, not even raised.
    if (m_comm)
        return;
    // Parented so the main window owns it, yet a window of its own; it is
    // gone as soon as it closes.
    m_comm = new frmComm(this);
    m_comm->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_comm, &QDialog::accepted, this, [this] {
        m_keepUnreadSettings = false;
        // The camera's default address follows the remote host.
        m_camera->SettingsChanged();
    });
    m_comm->show();
    m_comm->activateWindow();
}
