// The real program closed the ways a driver closes it: File > Exit through
// the access keys, the close box of the window frame, and the window
// manager's close key; and ended the ways a session ends it, by a signal.
// Each way closes the connection, rewrites the settings file beside the
// executable and ends the process with status 0.

#include "e2e/ProgramUnderTest.h"
#include "e2e/VirtualScreen.h"
#include "e2e/WireCodes.h"
#include "support/TestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <csignal>

namespace {

enum class CloseWay { MenuAccessKeys, CloseBox, WindowManagerKey, CloseRequest };

} // namespace

Q_DECLARE_METATYPE(CloseWay)

class tst_E2EExit : public ScreenTestCase {
    Q_OBJECT

private slots:
    void closingSavesAndExits_data();
    void closingSavesAndExits();
    void signalSavesAndExits_data();
    void signalSavesAndExits();
};

void tst_E2EExit::closingSavesAndExits_data()
{
    QTest::addColumn<CloseWay>("way");
    QTest::newRow("File > Exit by Alt+F, E") << CloseWay::MenuAccessKeys;
    QTest::newRow("close box clicked") << CloseWay::CloseBox;
    QTest::newRow("window manager's Alt+F4") << CloseWay::WindowManagerKey;
    QTest::newRow("close request to the window manager") << CloseWay::CloseRequest;
}

void tst_E2EExit::closingSavesAndExits()
{
    QFETCH(CloseWay, way);

    LoopbackPeer peer;
    ProgramUnderTest program(screen());
    QVERIFY2(program.startReady(peer.port()), qPrintable(program.failure()));
    XClient& x = screen().x();

    // Connected when it closes, so that closing has a connection to end.
    QVERIFY(x.key("Right", true));
    QVERIFY2(waitForCodes(peer, QStringLiteral("^6")), qPrintable(codesOf(peer)));
    QVERIFY(x.key("Right", false));
    QVERIFY2(waitForCodes(peer, QStringLiteral("^6+5")), qPrintable(codesOf(peer)));
    QCOMPARE(peer.openConnections(), 1);

    // Dated far back, so that a rewrite shows in the modification time even
    // though the content stays the same.
    const QDateTime longAgo(QDate(2001, 1, 1), QTime(0, 0));
    {
        QFile settings(program.settingsPath());
        QVERIFY(settings.open(QIODevice::ReadWrite));
        QVERIFY(settings.setFileTime(longAgo, QFileDevice::FileModificationTime));
    }

    switch (way) {
    case CloseWay::MenuAccessKeys:
        QVERIFY2(program.openFileMenu(), "the File menu did not open");
        QVERIFY(x.tap("e"));
        break;
    case CloseWay::CloseBox: {
        const QPoint closeBox = x.closeBoxCentre(program.window());
        QVERIFY2(!closeBox.isNull(), "the window frame has no buttons");
        QVERIFY(x.click(closeBox));
        break;
    }
    case CloseWay::WindowManagerKey:
        QVERIFY(x.tapWithAlt("F4"));
        break;
    case CloseWay::CloseRequest:
        x.requestClose(program.window());
        break;
    }

    QVERIFY2(program.waitExit(kE2ETimeoutMs), qPrintable(program.output()));
    QCOMPARE(program.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.process().exitCode(), 0);
    QVERIFY2(QTest::qWaitFor([&] { return peer.openConnections() == 0; }, kE2ETimeoutMs),
             "the connection was left open");

    QCOMPARE(program.settingsFile(), ProgramUnderTest::settingsText(peer.port()));
    const QDateTime written = QFileInfo(program.settingsPath()).lastModified();
    QVERIFY2(written.secsTo(QDateTime::currentDateTimeUtc()) < 60,
             qPrintable(written.toString(Qt::ISODate)));
    // The file went beside the executable, not into the working folder.
    QVERIFY(QDir(program.workingFolder()).isEmpty());
}

void tst_E2EExit::signalSavesAndExits_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM, as at logout or from kill") << SIGTERM;
    QTest::newRow("SIGHUP, as when its terminal closes") << SIGHUP;
    QTest::newRow("SIGINT, as from Ctrl+C") << SIGINT;
}

void tst_E2EExit::signalSavesAndExits()
{
    QFETCH(int, signalNumber);

    LoopbackPeer peer;
    ProgramUnderTest program(screen());
    // As from a shell with job control, where no signal is ignored.
    program.process().setChildProcessModifier(
        [signalNumber] { std::signal(signalNumber, SIG_DFL); });
    QVERIFY2(program.startReady(peer.port()), qPrintable(program.failure()));
    // A host changed in the dialog reaches the file only through the save.
    QVERIFY2(program.setHostInDialog(QStringLiteral("localhost")), qPrintable(program.failure()));
    // Up held when the signal comes: only the program can tell the car to stop.
    QVERIFY(screen().x().key("Up", true));
    QVERIFY2(waitForCodes(peer, QStringLiteral("^2+$")), qPrintable(codesOf(peer)));

    QCOMPARE(::kill(pid_t(program.process().processId()), signalNumber), 0);
    QVERIFY2(program.waitExit(kE2ETimeoutMs), qPrintable(program.output()));
    QCOMPARE(program.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.process().exitCode(), 0);
    QVERIFY2(QTest::qWaitFor([&] { return peer.openConnections() == 0; }, kE2ETimeoutMs),
             "the connection was left open");
    QVERIFY2(waitForCodes(peer, QStringLiteral("^2+5$"), 0), qPrintable(codesOf(peer)));
    QCOMPARE(program.settingsFile(),
             ProgramUnderTest::settingsText(peer.port(), QStringLiteral("localhost")));
}

QTEST_GUILESS_MAIN(tst_E2EExit)
#include "tst_E2EExit.moc"
