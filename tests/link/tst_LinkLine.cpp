// The line under the button that tells how the car hears the commands, met
// through the main window. The process first moves into a network namespace
// of its own where it can, so that packets may be dropped.
#include "console/frmMain.h"
#include "link/LinkFigures.h"
#include "link/LinkWatch.h"
#include "link/SocketControl.h"
#include "support/PrivateNetwork.h"
#include "support/WidgetTestCase.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QWindow>

#if defined(Q_OS_WIN)
#include <winsock2.h>
#endif

namespace {

const QRegularExpression Quick(QStringLiteral("^Link \\d+ ms$"));
const QRegularExpression NoAnswer(QStringLiteral("^No answer from the car for (\\d+\\.\\d) s$"));

// Whether the system gives the figures, asked of a connection of the
// test's own. On Windows the call itself answers, not the code under test,
// so that a failure read as figures cannot pass: Wine 8.0 fails it.
bool figuresOffered(qintptr descriptor)
{
#if defined(Q_OS_WIN)
    DWORD version = 0;
    char answer[256] = {};
    DWORD returned = 0;
    return ::WSAIoctl(SOCKET(descriptor), IOC_INOUT | IOC_VENDOR | 39, &version, sizeof version,
                      answer, sizeof answer, &returned, nullptr, nullptr) == 0;
#else
    return readLinkFigures(descriptor).has_value();
#endif
}

// The seconds a "No answer" line tells, or -1 for any other line.
double silentSeconds(const QString& text)
{
    const QRegularExpressionMatch match = NoAnswer.match(text);
    return match.hasMatch() ? match.captured(1).toDouble() : -1;
}

} // namespace

class tst_LinkLine : public WidgetTestCase {
    Q_OBJECT

private slots:
    void initTestCase();

    void lineShowsWhatTheSystemTells();
    void warnsWhileTheCarDoesNotAnswer();
};

void tst_LinkLine::initTestCase()
{
    PrivateNetwork::enter();
}

void tst_LinkLine::lineShowsWhatTheSystemTells()
{
    LoopbackPeer peer;
    QTcpSocket probe;
    probe.connectToHost(Loopback, peer.port());
    QVERIFY(probe.waitForConnected(Timeout));
    const bool offered = figuresOffered(probe.socketDescriptor());
#if defined(Q_OS_LINUX)
    QVERIFY(offered);
#endif
    probe.abort();

    auto w = openMainWindow(dir(), Loopback, peer.portText());
    const MainControls ui(*w);
    auto* line = control<QLabel>(*w, "lblLink");
    QCOMPARE(line->text(), QString());
    QCOMPARE(line->accessibleName(), QStringLiteral("Link to the car"));

    QTest::keyClick(w->windowHandle(), Qt::Key_Down);
    QTRY_VERIFY_WITH_TIMEOUT(decodeDriveStream(peer.received()).contains(QLatin1Char('8')),
                             Timeout);
    QCOMPARE(ui.Winsock->State(), SocketState::Connected);
    if (offered) {
        QTRY_VERIFY_WITH_TIMEOUT(Quick.match(line->text()).hasMatch(), Timeout);
        QCOMPARE(line->accessibleDescription(), line->text());
        QCOMPARE(w->linkWatch()->status().text, line->text());
    } else {
        // The repeat's next send reads the figures again, and still
        // nothing: never a guess.
        QSignalSpy sends(ui.Winsock, &SocketControl::sent);
        QVERIFY(sends.wait(Timeout));
        QCOMPARE(line->text(), QString());
    }

    QTest::mouseClick(ui.cmdOpenClose, Qt::LeftButton);
    QCOMPARE(ui.Winsock->State(), SocketState::Closed);
    QCOMPARE(line->text(), QString());
}

void tst_LinkLine::warnsWhileTheCarDoesNotAnswer()
{
    if (const QString why = PrivateNetwork::enter(); !why.isEmpty())
        QSKIP(qPrintable(why));
    LoopbackPeer peer;
    auto w = openMainWindow(dir(), Loopback, peer.portText());
    const MainControls ui(*w);
    auto* line = control<QLabel>(*w, "lblLink");
    QTest::keyClick(w->windowHandle(), Qt::Key_Down);
    QTRY_VERIFY_WITH_TIMEOUT(Quick.match(line->text()).hasMatch(), Timeout);

    // The car drives out of reach, and the next command goes unanswered.
    QCOMPARE(PrivateNetwork::dropAllTraffic(peer.port()), QString());
    QElapsedTimer clock;
    clock.start();
    QTest::keyPress(w->windowHandle(), Qt::Key_Up);
    QTRY_VERIFY_WITH_TIMEOUT(silentSeconds(line->text()) > 0, Timeout);
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QStringLiteral("%1 ms").arg(clock.elapsed())));
    const double first = silentSeconds(line->text());
    QTRY_VERIFY_WITH_TIMEOUT(silentSeconds(line->text()) > first, 1000);

    // Back in reach before the connection gives up: the line clears by
    // itself, and the driver has nothing to acknowledge.
    QCOMPARE(PrivateNetwork::removeRules(), QString());
    QTRY_VERIFY_WITH_TIMEOUT(Quick.match(line->text()).hasMatch(), 2500);
    QCOMPARE(ui.Winsock->State(), SocketState::Connected);
    QVERIFY(watcher().seen().isEmpty());
    QTest::keyRelease(w->windowHandle(), Qt::Key_Up);
}

QTEST_MAIN(tst_LinkLine)
#include "tst_LinkLine.moc"
