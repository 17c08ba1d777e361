#include "console/frmMain.h"

#include "settings/FileSystem.h"
#include "settings/SettingsFile.h"
#include "settings/frmComm.h"
#include "settings/mdlMain.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <optional>

namespace {

// The driver's own settings folder, for a copy installed where its folder
// takes no new files (/usr/bin, Program Files).
QString perUserSettingsFolder()
{
#ifdef Q_OS_WIN
    // %APPDATA%, the folder that roams with the driver's account.
    const QString base = qEnvironmentVariable("APPDATA");
    if (!base.isEmpty())
        return QDir::fromNativeSeparators(base) + QStringLiteral("/Velmora");
#endif
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Velmora");
}

} // namespace

QString frmMain::ChooseSettingsPath() const
{
    // A portable copy keeps its file beside the executable: when the file is
    // already there, or the folder would take it.
    const QString beside = AppDir + settingsFileName();
    if (FileSys->fileExists(beside) || FileSys->canCreateFileIn(AppDir))
        return beside;
    return perUserSettingsFolder() + QLatin1Char('/') + settingsFileName();
}

void frmMain::LoadSettings()
{
    m_settingsPath = ChooseSettingsPath();
    m_keepUnreadSettings = false;
    const QString path = settingsPath();
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
    if (!bytes) {
        // Whatever the file holds is still the driver's: it is not replaced
        // by the empty settings of this run, only by settings saved anew.
        m_keepUnreadSettings = true;
        ShowMessage(QStringLiteral("The settings could not be read from %1.\n\n%2\n\n"
                                   "Velmora leaves the file as it is, unless you save new "
                                   "settings with Settings > COM Port...")
                        .arg(QDir::toNativeSeparators(path), error));
    }
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
        !FileSys->replaceFile(path, contents, &error))
        ShowMessage(QStringLiteral("The settings could not be saved to %1.\n\n%2")
                        .arg(QDir::toNativeSeparators(path), error));
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
    connect(m_comm, &QDialog::accepted, this, [this] { m_keepUnreadSettings = false; });
    m_comm->show();
    m_comm->activateWindow();
}
