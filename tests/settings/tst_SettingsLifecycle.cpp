// The settings file through the main window's start and close. No drive key
// is pressed and nothing is clicked, so no connection is ever attempted.

#include "console/frmMain.h"
#include "help/Version.h"
#include "settings/SettingsFile.h"
#include "settings/frmComm.h"
#include "settings/mdlMain.h"
#include "support/OrdinaryUser.h"
#include "support/WidgetTestCase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QObject>
#include <QPushButton>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <optional>

namespace {

QByteArray fileOf(const QString& port, const QString& host)
{
    return formatSettingsFile(port, host);
}

// Both settings set to something a window must not keep from a previous run.
void makeStale()
{
    mdlMain::RemotePort = SettingValue::fromText(QStringLiteral("stale"));
    mdlMain::RemoteHost = SettingValue::fromText(QStringLiteral("stale"));
}

// While alive, the driver's own settings folder is a fresh one, so that no
// test reads or writes the real one.
class PerUserHome {
public:
    PerUserHome() : m_oldConfigHome(qgetenv("XDG_CONFIG_HOME")), m_oldAppData(qgetenv("APPDATA"))
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.path()));
        qputenv("APPDATA", QFile::encodeName(QDir::toNativeSeparators(m_home.path())));
    }
    ~PerUserHome()
    {
        qputenv("XDG_CONFIG_HOME", m_oldConfigHome);
        qputenv("APPDATA", m_oldAppData);
    }
    QString path() const { return m_home.path(); }
    QString settingsPath() const { return m_home.path() + QStringLiteral("/Velmora/Velmora.ini"); }

private:
    QTemporaryDir m_home;
    QByteArray m_oldConfigHome;
    QByteArray m_oldAppData;
};

} // namespace

class tst_SettingsLifecycle : public WidgetTestCase {
    Q_OBJECT

private slots:
    void firstRunUsesDefaultsAndWritesFile();
    void fileValuesComeBackLowerCased();
    void missingKeysStayEmpty();
    void numberSetWhileOpenIsSavedAsPlainText();
    void unreadableFileIsReportedAndNotOverwritten();
    void saveFailureIsReportedAndWindowStillCloses();
    void fileBesideThatCannotBeReplacedMovesSettingsPerUser_data();
    void fileBesideThatCannotBeReplacedMovesSettingsPerUser();
    void fileWithoutReadPermissionIsKeptUntilSettingsAreSaved();
    void hostBeyondLatin1SurvivesRestart();
    void programFolderWithoutWriteAccessKeepsSettingsPerUser();
    void settingsSavedPerUserOutliveAWritableProgramFolder();
    void fileInAnotherEncoding_data();
    void fileInAnotherEncoding();

private:
    void setUp() override { makeStale(); }
};

void tst_SettingsLifecycle::firstRunUsesDefaultsAndWritesFile()
{
    frmMain w(dir().path());
    QCOMPARE(w.settingsPath(), dir().settingsPath());
    QVERIFY(mdlMain::RemotePort.isNumber());
    QCOMPARE(mdlMain::RemotePort.integerPart(), std::optional<qint64>(1500));
    QCOMPARE(mdlMain::RemoteHost, SettingValue::fromText(mdlMain::DefaultHost()));
    QVERIFY(!dir().settingsExist());

    w.show();
    QVERIFY(w.close());
    QVERIFY(!w.isVisible());
    QCOMPARE(dir().readRaw(), fileOf(QStringLiteral("1500"), mdlMain::DefaultHost()));
    QVERIFY(watcher().seen().isEmpty());
}

void tst_SettingsLifecycle::fileValuesComeBackLowerCased()
{
    dir().writeRaw("  RemoteHOST =  MyCar.LAN  \n'RemoteHost=x\r\nremoteport= 1234 ");
    frmMain w(dir().path());
    QCOMPARE(mdlMain::RemotePort, SettingValue::fromText(QStringLiteral("1234")));
    QCOMPARE(mdlMain::RemoteHost, SettingValue::fromText(QStringLiteral("mycar.lan")));

    w.show();
    QVERIFY(w.close());
    QCOMPARE(dir().readRaw(), fileOf(QStringLiteral("1234"), QStringLiteral("mycar.lan")));
    QVERIFY(watcher().seen().isEmpty());
}

void tst_SettingsLifecycle::missingKeysStayEmpty()
{
    dir().writeRaw("remoteport=2000\r\n");
    frmMain w(dir().path());
    QCOMPARE(mdlMain::RemotePort, SettingValue::fromText(QStringLiteral("2000")));
    QVERIFY(mdlMain::RemoteHost.isEmpty());
    QCOMPARE(mdlMain::RemoteHost.text(), QString());

    w.show();
    QVERIFY(w.close());
    const QByteArray saved = dir().readRaw();
    QVERIFY2(saved.endsWith("\r\nRemotePort=2000\r\nRemoteHost=\r\n"), saved.constData());
    QCOMPARE(saved, fileOf(QStringLiteral("2000"), QString()));
}

void tst_SettingsLifecycle::numberSetWhileOpenIsSavedAsPlainText()
{
    dir().writeSettings(QStringLiteral("car"), QStringLiteral("1500"));
    frmMain w(dir().path());
    // What the settings dialog leaves behind on OK.
    mdlMain::RemotePort = SettingValue::fromNumber(3000);
    mdlMain::RemoteHost = SettingValue::fromText(QStringLiteral("Boat.LAN"));

    w.show();
    QVERIFY(w.close());
    QCOMPARE(dir().readRaw(), fileOf(QStringLiteral("3000"), QStringLiteral("Boat.LAN")));
}

void tst_SettingsLifecycle::unreadableFileIsReportedAndNotOverwritten()
{
    QVERIFY(QDir(dir().path()).mkdir(settingsFileName()));
    frmMain w(dir().path());

    // Something is there, so no defaults: start with nothing read.
    QVERIFY(mdlMain::RemotePort.isEmpty());
    QVERIFY(mdlMain::RemoteHost.isEmpty());
    QCOMPARE(watcher().seen().size(), 1);
    const SeenMessage readMessage = watcher().seen().first();
    QCOMPARE(readMessage.title, QStringLiteral("Velmora v" VELMORA_VERSION));
    QCOMPARE(readMessage.icon, QMessageBox::Information);
    QVERIFY2(readMessage.text.contains(QDir::toNativeSeparators(dir().settingsPath())),
             qPrintable(readMessage.text));
    QVERIFY2(readMessage.text.contains(QStringLiteral("folder")), qPrintable(readMessage.text));

    w.show();
    QVERIFY(w.close());
    QVERIFY(!w.isVisible());
    QCOMPARE(watcher().seen().size(), 1);
    QVERIFY(QFileInfo(dir().settingsPath()).isDir());
}

void tst_SettingsLifecycle::saveFailureIsReportedAndWindowStillCloses()
{
    const QByteArray old = fileOf(QStringLiteral("1500"), QStringLiteral("car"));
    dir().writeRaw(old);
    // A protected file is not replaced, not even by a user who could, and
    // the driver's own folder cannot be made: a file has its name.
    QVERIFY(QFile::setPermissions(dir().settingsPath(), QFileDevice::ReadOwner));
    const PerUserHome home;
    QFile blocker(home.path() + QStringLiteral("/Velmora"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    {
        frmMain w(dir().path());
        QVERIFY(watcher().seen().isEmpty());
        mdlMain::RemotePort = SettingValue::fromNumber(2000);
        w.show();
        QVERIFY(w.close());
        QVERIFY(!w.isVisible());
    }
    QCOMPARE(watcher().seen().size(), 1);
    const SeenMessage& message = watcher().seen().first();
    QCOMPARE(message.title, QStringLiteral("Velmora v" VELMORA_VERSION));
    QCOMPARE(message.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY2(message.text.contains(QDir::toNativeSeparators(home.settingsPath())),
             qPrintable(message.text));
    QVERIFY2(message.text.contains(QStringLiteral("could not be")), qPrintable(message.text));
    QCOMPARE(dir().readRaw(), old);
}

void tst_SettingsLifecycle::fileBesideThatCannotBeReplacedMovesSettingsPerUser_data()
{
    QTest::addColumn<bool>("folderWritable");
    // As after `sudo velmora` from /usr/bin or one elevated run in Program
    // Files: root's file in root's folder, then a driver's run.
    QTest::newRow("another user's file, folder not writable") << false;
    QTest::newRow("file marked read-only") << true;
}

void tst_SettingsLifecycle::fileBesideThatCannotBeReplacedMovesSettingsPerUser()
{
    QFETCH(bool, folderWritable);
    const QByteArray old = fileOf(QStringLiteral("1500"), QStringLiteral("car"));
    dir().writeRaw(old);
    const PerUserHome home;
    QList<SeenMessage> firstExit;
    {
        std::optional<OrdinaryUser> user;
        if (folderWritable) {
            QVERIFY(QFile::setPermissions(dir().settingsPath(), QFileDevice::ReadOwner));
        } else {
#ifndef Q_OS_UNIX
            QSKIP("needs Unix file permissions");
#endif
            QVERIFY(QFile::setPermissions(dir().path(),
                                          QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                              QFileDevice::ReadOther | QFileDevice::ExeOther));
            user.emplace(QStringList{home.path()});
            if (!user->isOrdinary())
                QSKIP("cannot run as an ordinary user");
        }
        {
            frmMain w(dir().path());
            QCOMPARE(mdlMain::RemoteHost.text(), QStringLiteral("car"));
            mdlMain::RemotePort = SettingValue::fromNumber(16000);
            w.show();
            QVERIFY(w.close());
        }
        firstExit = watcher().seen();
        makeStale();
        frmMain w(dir().path());
        QCOMPARE(mdlMain::RemotePort.text(), QStringLiteral("16000"));
        QCOMPARE(mdlMain::RemoteHost.text(), QStringLiteral("car"));
        w.show();
        QVERIFY(w.close());
    }
    // Told once where the settings went; the file beside stays as it was.
    QCOMPARE(firstExit.size(), 1);
    QVERIFY2(firstExit.first().text.contains(QDir::toNativeSeparators(home.settingsPath())),
             qPrintable(firstExit.first().text));
    QCOMPARE(watcher().seen().size(), 1);
    QCOMPARE(dir().readRaw(), old);
}

void tst_SettingsLifecycle::fileWithoutReadPermissionIsKeptUntilSettingsAreSaved()
{
#ifndef Q_OS_UNIX
    QSKIP("needs Unix file permissions");
#endif
    const QByteArray old = fileOf(QStringLiteral("1234"), QStringLiteral("car"));
    dir().writeRaw(old);
    QVERIFY(QFile::setPermissions(dir().settingsPath(), QFileDevice::WriteOwner));
    QByteArray kept;
    QByteArray saved;
    {
        const OrdinaryUser user({dir().path(), dir().settingsPath()});
        if (!user.isOrdinary())
            QSKIP("cannot run as an ordinary user");
        {
            frmMain w(dir().path());
            QCOMPARE(watcher().seen().size(), 1);
            w.show();
            QVERIFY(w.close());
        }
        QVERIFY(QFile::setPermissions(dir().settingsPath(),
                                      QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        kept = dir().readRaw();

        // Settings saved in the dialog are the driver's new choice.
        QVERIFY(QFile::setPermissions(dir().settingsPath(), QFileDevice::WriteOwner));
        frmMain w(dir().path());
        w.show();
        control<QAction>(w, "mnuCOMPort")->trigger();
        QTRY_VERIFY(w.commDialog());
        control<QLineEdit>(*w.commDialog(), "txtRemoteHost")->setText(QStringLiteral("boat"));
        control<QLineEdit>(*w.commDialog(), "txtRemotePort")->setText(QStringLiteral("2000"));
        control<QPushButton>(*w.commDialog(), "cmdOK")->click();
        QVERIFY(w.close());
        saved = dir().readRaw();
    }
    QCOMPARE(kept, old);
    QCOMPARE(saved, fileOf(QStringLiteral("2000"), QStringLiteral("boat")));
}

void tst_SettingsLifecycle::hostBeyondLatin1SurvivesRestart()
{
    dir().writeSettings(QStringLiteral("car"), QStringLiteral("1500"));
    const QString host = QStringLiteral("\u043c\u0430\u0448\u0438\u043d\u0430.local");
    {
        frmMain w(dir().path());
        mdlMain::RemoteHost = SettingValue::fromText(host);
        w.show();
        QVERIFY(w.close());
    }
    const QByteArray saved = dir().readRaw();
    const bool ascii = std::all_of(saved.begin(), saved.end(), [](char c) { return c > 0; });
    QVERIFY2(ascii && !saved.contains('?'), saved.constData());

    makeStale();
    frmMain w(dir().path());
    QCOMPARE(mdlMain::RemoteHost.text(), host);
    QVERIFY(watcher().seen().isEmpty());
}

void tst_SettingsLifecycle::programFolderWithoutWriteAccessKeepsSettingsPerUser()
{
#ifndef Q_OS_UNIX
    QSKIP("needs Unix file permissions");
#endif
    const PerUserHome home;
    QVERIFY(QFile::setPermissions(dir().path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                                    QFileDevice::ReadOther |
                                                    QFileDevice::ExeOther));
    QString firstPath;
    {
        const OrdinaryUser user({home.path()});
        if (!user.isOrdinary())
            QSKIP("cannot run as an ordinary user");
        {
            frmMain w(dir().path());
            firstPath = w.settingsPath();
            mdlMain::RemoteHost = SettingValue::fromText(QStringLiteral("car.lan"));
            w.show();
            QVERIFY(w.close());
        }
        makeStale();
        frmMain w(dir().path());
    }
    QCOMPARE(firstPath, home.settingsPath());
    QCOMPARE(mdlMain::RemoteHost.text(), QStringLiteral("car.lan"));
    QVERIFY(watcher().seen().isEmpty());
    QVERIFY(!dir().settingsExist());
}

void tst_SettingsLifecycle::settingsSavedPerUserOutliveAWritableProgramFolder()
{
    // Saved per user while the program's folder was protected; the file
    // beside the executable is older. The folder now takes new files.
    const PerUserHome home;
    QVERIFY(QDir().mkpath(QFileInfo(home.settingsPath()).absolutePath()));
    QFile perUser(home.settingsPath());
    QVERIFY(perUser.open(QIODevice::WriteOnly));
    QVERIFY(perUser.write(fileOf(QStringLiteral("16000"), QStringLiteral("car"))) > 0);
    perUser.close();
    dir().writeRaw(fileOf(QStringLiteral("1500"), QStringLiteral("old")));
    QFile beside(dir().settingsPath());
    QVERIFY(beside.open(QIODevice::ReadWrite));
    QVERIFY(beside.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                               QFileDevice::FileModificationTime));
    beside.close();
    {
        frmMain w(dir().path());
        QCOMPARE(mdlMain::RemotePort.text(), QStringLiteral("16000"));
        QCOMPARE(mdlMain::RemoteHost.text(), QStringLiteral("car"));
        mdlMain::RemotePort = SettingValue::fromNumber(17000);
        w.show();
        QVERIFY(w.close());
    }
    // Told once where the settings went, and they come back from there.
    QCOMPARE(watcher().seen().size(), 1);
    QVERIFY2(watcher().seen().first().text.contains(QDir::toNativeSeparators(dir().settingsPath())),
             qPrintable(watcher().seen().first().text));
    makeStale();
    frmMain w(dir().path());
    QCOMPARE(mdlMain::RemotePort.text(), QStringLiteral("17000"));
    QCOMPARE(mdlMain::RemoteHost.text(), QStringLiteral("car"));
    QCOMPARE(watcher().seen().size(), 1);
}

void tst_SettingsLifecycle::fileInAnotherEncoding_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("host"); // empty: nothing could be read

    const QString text = QStringLiteral("RemotePort=1500\r\nRemoteHost=Car.LAN\r\n");
    const auto encoded = [&text](QStringConverter::Encoding encoding) {
        QStringEncoder encoder(encoding, QStringConverter::Flag::WriteBom);
        return QByteArray(encoder(text));
    };
    // As Windows PowerShell 5.1's > and Out-File, or Notepad, write them.
    QTest::newRow("UTF-16 LE") << encoded(QStringConverter::Utf16LE) << "car.lan";
    QTest::newRow("UTF-16 BE") << encoded(QStringConverter::Utf16BE) << "car.lan";
    QTest::newRow("UTF-32 LE") << encoded(QStringConverter::Utf32LE) << QString();
    QTest::newRow("comments only") << QByteArray("' my car\r\n") << QString();
}

void tst_SettingsLifecycle::fileInAnotherEncoding()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, host);
    dir().writeRaw(file);
    {
        frmMain w(dir().path());
        QCOMPARE(mdlMain::RemoteHost.text(), host);
        QCOMPARE(mdlMain::RemotePort.text(), host.isEmpty() ? QString() : QStringLiteral("1500"));
        w.show();
        QVERIFY(w.close());
    }
    if (!host.isEmpty()) {
        QVERIFY(watcher().seen().isEmpty());
        QCOMPARE(dir().readRaw(), fileOf(QStringLiteral("1500"), host));
        return;
    }
    // Told once, and the file is the driver's to put right: kept as it was.
    QCOMPARE(watcher().seen().size(), 1);
    QVERIFY2(watcher().seen().first().text.contains(QDir::toNativeSeparators(dir().settingsPath())),
             qPrintable(watcher().seen().first().text));
    QCOMPARE(dir().readRaw(), file);
}

QTEST_MAIN(tst_SettingsLifecycle)
#include "tst_SettingsLifecycle.moc"
