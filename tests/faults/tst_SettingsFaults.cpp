// Faults of the settings file, met through the main window: a disk that is
// full when the program exits, a file of random bytes, and lines a megabyte
// long. The full disk is a tiny tmpfs mounted over the program's folder, in a
// mount namespace of this process's own (needs root; skipped otherwise).
#include "console/frmMain.h"
#include "help/Version.h"
#include "link/SocketControl.h"
#include "settings/SettingsFile.h"
#include "settings/mdlMain.h"
#include "support/ScratchDisk.h"
#include "support/WidgetTestCase.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <utility>

namespace {

// Opening or closing the window may not keep the driver waiting.
constexpr qint64 PromptMs = 3000;

constexpr qsizetype MiB = 1024 * 1024;

// size bytes from a fixed seed, so a failure can be repeated. Unless told to
// keep them, every '=' is replaced: no line can then set anything, least of
// all a host to connect to.
QByteArray randomBytes(qsizetype size, quint32 seed, bool keepEquals)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    generator.fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    if (!keepEquals)
        bytes.replace('=', '+');
    return bytes;
}

QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// Opens the main window on whatever settings file the folder holds, shown and
// active; loadMs receives how long the window took to come up.
std::unique_ptr<frmMain> openOn(const TempAppDir& dir, qint64* loadMs)
{
    QElapsedTimer clock;
    clock.start();
    auto window = openMainWindowOn(dir);
    *loadMs = clock.elapsed();
    return window;
}

// Checks that the settings are what the file's grammar makes of bytes.
bool settingsMatch(const QByteArray& bytes)
{
    const SettingsRead read = parseSettingsFile(bytes);
    return mdlMain::RemoteHost.text() == read.remoteHost.value_or(QString()) &&
           mdlMain::RemotePort.text() == read.remotePort.value_or(QString());
}

} // namespace

class tst_SettingsFaults : public WidgetTestCase {
    Q_OBJECT

private slots:
    void initTestCase();

    void fullDiskAtExit_data();
    void fullDiskAtExit();
    void randomFile_data();
    void randomFile();
    void megabyteLine_data();
    void megabyteLine();

private:
    void tearDown() override;
    // Closes the window and checks that the file then holds exactly the
    // settings, in a form that reads back the same.
    void closeAndCheckSaved(frmMain& window);

    QString m_whyNoMountNamespace;
    QString m_mounted;
};

void tst_SettingsFaults::initTestCase()
{
    m_whyNoMountNamespace = ScratchDisk::enterOwnMountNamespace();
}

void tst_SettingsFaults::tearDown()
{
    // Before the folder goes, or its removal would meet the mount.
    if (!m_mounted.isEmpty())
        QCOMPARE(ScratchDisk::unmount(std::exchange(m_mounted, QString())), QString());
}

void tst_SettingsFaults::closeAndCheckSaved(frmMain& window)
{
    const QString host = mdlMain::RemoteHost.text();
    const QString port = mdlMain::RemotePort.text();
    const qsizetype boxes = watcher().seen().size();
    QElapsedTimer clock;
    clock.start();
    QVERIFY(window.close());
    QVERIFY2(clock.elapsed() < PromptMs, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!window.isVisible());
    QCOMPARE(watcher().seen().size(), boxes);

    const QByteArray saved = dir().readRaw();
    QVERIFY2(saved == formatSettingsFile(port, host),
             qPrintable(QStringLiteral("%1 bytes saved").arg(saved.size())));
    const SettingsRead again = parseSettingsFile(saved);
    QVERIFY(again.remoteHost == host);
    QVERIFY(again.remotePort == port);
}

void tst_SettingsFaults::fullDiskAtExit_data()
{
    QTest::addColumn<qint64>("leaveFree");
    QTest::addColumn<int>("hostLength");
    // 0: the settings as read from the file.
    QTest::newRow("nothing free") << qint64(0) << 0;
    QTest::newRow("a block free, a host too long for it") << qint64(4096) << 100000;
}

void tst_SettingsFaults::fullDiskAtExit()
{
    QFETCH(qint64, leaveFree);
    QFETCH(int, hostLength);
    if (!m_whyNoMountNamespace.isEmpty())
        QSKIP(qPrintable(m_whyNoMountNamespace));
    const QString folder = QDir(dir().path()).absolutePath();
    const QString problem = ScratchDisk::mount(folder, "64k");
    if (!problem.isEmpty())
        QSKIP(qPrintable(problem));
    m_mounted = folder;

    // Written by hand, so that any rewrite would show.
    const QByteArray old = "' my car\r\nREMOTEHOST = 127.0.0.1 \r\nremoteport=1500\r\n";
    dir().writeRaw(old);
    QCOMPARE(ScratchDisk::fill(dir().path() + QStringLiteral("filler"), leaveFree), QString());
    const QStringList before = entries(folder);

    qint64 loadMs = 0;
    auto w = openOn(dir(), &loadMs);
    QCOMPARE(mdlMain::RemoteHost.text(), Loopback);
    QCOMPARE(mdlMain::RemotePort.text(), QStringLiteral("1500"));
    if (hostLength > 0)
        mdlMain::RemoteHost = SettingValue::fromText(QString(hostLength, QLatin1Char('h')));

    QVERIFY(w->close());
    QVERIFY(!w->isVisible());
    QCOMPARE(watcher().seen().size(), 1);
    const SeenMessage box = watcher().seen().first();
    QCOMPARE(box.title, QStringLiteral("Velmora v" VELMORA_VERSION));
    QCOMPARE(box.icon, QMessageBox::Information);
    QVERIFY2(box.text.contains(QDir::toNativeSeparators(dir().settingsPath())),
             qPrintable(box.text));
    // The old file survives whole, and no half-written copy is left beside it.
    QCOMPARE(dir().readRaw(), old);
    QCOMPARE(entries(folder), before);
}

void tst_SettingsFaults::randomFile_data()
{
    QTest::addColumn<bool>("keepEquals");
    QTest::addColumn<QString>("after");
    QTest::addColumn<quint32>("seed");
    // What follows the random bytes: nothing, or loopback settings.
    QTest::newRow("no line can set anything") << false << "nothing" << 0x5eed0001u;
    QTest::newRow("then loopback settings") << false << "loopback" << 0x5eed0002u;
    QTest::newRow("with '=' kept, host pinned to loopback") << true << "host" << 0x5eed0003u;
}

void tst_SettingsFaults::randomFile()
{
    QFETCH(bool, keepEquals);
    QFETCH(QString, after);
    QFETCH(quint32, seed);
    LoopbackPeer peer;
    QByteArray bytes = randomBytes(10 * MiB, seed, keepEquals);
    // A fresh line, whatever the random bytes ended with; the last line wins.
    if (after == QLatin1String("loopback"))
        bytes += "\nRemotePort=" + peer.portText().toLatin1() + "\r\nRemoteHost=127.0.0.1\r\n";
    else if (after == QLatin1String("host"))
        bytes += "\nRemoteHost=127.0.0.1\r\n";
    dir().writeRaw(bytes);

    qint64 loadMs = 0;
    auto w = openOn(dir(), &loadMs);
    QVERIFY2(loadMs < PromptMs, qPrintable(QStringLiteral("%1 ms").arg(loadMs)));
    QVERIFY(settingsMatch(bytes));

    if (after == QLatin1String("nothing")) {
        // Told that nothing could be read, once; the file is kept as it is.
        QCOMPARE(watcher().seen().size(), 1);
        QVERIFY(mdlMain::RemoteHost.isEmpty());
        QVERIFY(mdlMain::RemotePort.isEmpty());
        QTest::keyClick(w->windowHandle(), Qt::Key_Up);
        QCOMPARE(watcher().seen().size(), 2);
        QVERIFY2(watcher().seen().last().text.contains(QStringLiteral("remote host is empty")),
                 qPrintable(watcher().seen().last().text));
        QCOMPARE(control<SocketControl>(*w, "Winsock")->State(), SocketState::Closed);
        QVERIFY(w->close());
        QCOMPARE(watcher().seen().size(), 2);
        QVERIFY(dir().readRaw() == bytes);
        return;
    }
    QCOMPARE(watcher().seen().size(), 0);
    if (after == QLatin1String("loopback")) {
        // Never a key towards anything but loopback.
        QCOMPARE(mdlMain::RemoteHost.text(), Loopback);
        QCOMPARE(mdlMain::RemotePort.text(), peer.portText());
        QTest::keyClick(w->windowHandle(), Qt::Key_Up);
        QTRY_VERIFY_WITH_TIMEOUT(QRegularExpression(QStringLiteral("^25+$"))
                                     .match(decodeDriveStream(peer.received()))
                                     .hasMatch(),
                                 Timeout);
        QVERIFY(watcher().seen().isEmpty());
    } else {
        QCOMPARE(mdlMain::RemoteHost.text(), Loopback);
    }
    closeAndCheckSaved(*w);
}

void tst_SettingsFaults::megabyteLine_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("port");
    const QByteArray mega(MiB, 'a');
    const QByteArray rest = "\r\nRemotePort=1500\r\nRemoteHost=127.0.0.1\r\n";
    const QString megaHost = QString::fromLatin1(mega);
    const QString p1500 = QStringLiteral("1500");

    QTest::newRow("host value") << "RemotePort=1500\r\nRemoteHost=" + mega + "\r\n"
                                << megaHost << p1500;
    QTest::newRow("host value in capitals, last line without an end")
        << "RemotePort=1500\r\nRemoteHost=" + QByteArray(MiB, 'A') << megaHost << p1500;
    QTest::newRow("port value") << "RemoteHost=127.0.0.1\r\nRemotePort=" + QByteArray(MiB, '9')
                                << Loopback << QString(MiB, QLatin1Char('9'));
    QTest::newRow("line without '='") << mega + rest << Loopback << p1500;
    QTest::newRow("comment full of '='") << "'" + QByteArray(MiB, '=') + rest << Loopback << p1500;
    QTest::newRow("key") << mega + "=car" + rest << Loopback << p1500;
}

void tst_SettingsFaults::megabyteLine()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, host);
    QFETCH(QString, port);
    dir().writeRaw(file);

    qint64 loadMs = 0;
    auto w = openOn(dir(), &loadMs);
    QVERIFY2(loadMs < PromptMs, qPrintable(QStringLiteral("%1 ms").arg(loadMs)));
    QVERIFY2(mdlMain::RemoteHost.text() == host,
             qPrintable(QString::number(mdlMain::RemoteHost.text().size())));
    QVERIFY2(mdlMain::RemotePort.text() == port,
             qPrintable(QString::number(mdlMain::RemotePort.text().size())));
    QVERIFY(watcher().seen().isEmpty());

    // No key is pressed: a host like this is only ever loaded and saved. The
    // window goes on as usual meanwhile.
    QSignalSpy tick(control<QTimer>(*w, "tmrRepeat"), &QTimer::timeout);
    QVERIFY(tick.wait(Timeout));
    QCOMPARE(control<QLabel>(*w, "lblWinsock")->text(), QStringLiteral("Closed"));
    closeAndCheckSaved(*w);
}

QTEST_MAIN(tst_SettingsFaults)
#include "tst_SettingsFaults.moc"
