// The waits for a connection, with every handler running nested inside
// them. Connects are kept pending by dropping their SYN packets, in a
// network namespace this test process makes for itself.
#include "console/frmMain.h"
#include "link/SocketControl.h"
#include "support/PrivateNetwork.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWindow>

namespace {

constexpr int Timeout = 15000;
const QString Loopback = QStringLiteral("127.0.0.1");
const QByteArray FourLineStart = "' Hi y'all! I'm writing this program and I got bored.\r\n";

} // namespace

class tst_LinkWaits : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void keyPressedWhileConnecting();
    void quickTapWhileConnectingEndsOnStop();
    void clickWhileAKeyWaitsClosesAndNothingIsSent();
    void clickWhileAClickWaits();
    void windowClosedWhileAKeyWaits();
    void windowClosedWhileAClickWaits();
    void connectTimeOutThroughTheWindow();

private:
    // Runs what after the given delay, from inside whatever wait is going on.
    void later(int ms, const std::function<void()>& what);

    TempAppDir* m_dir = nullptr;
    ModalWatcher* m_watcher = nullptr;
    LoopbackPeer* m_peer = nullptr;
    std::unique_ptr<frmMain> m_window;
};

void tst_LinkWaits::initTestCase()
{
    const QString problem = PrivateNetwork::enter();
    if (!problem.isEmpty())
        QSKIP(qPrintable(problem));
}

void tst_LinkWaits::init()
{
    m_dir = new TempAppDir;
    m_watcher = new ModalWatcher;
    m_peer = new LoopbackPeer;
    QCOMPARE(PrivateNetwork::dropConnectionsTo(m_peer->port()), QString());
    m_window = openMainWindow(*m_dir, Loopback, m_peer->portText());
}

void tst_LinkWaits::cleanup()
{
    m_window.reset();
    QCOMPARE(PrivateNetwork::removeRules(), QString());
    delete m_peer;
    delete m_watcher;
    delete m_dir;
}

void tst_LinkWaits::later(int ms, const std::function<void()>& what)
{
    QTimer::singleShot(ms, m_window.get(), what);
}

void tst_LinkWaits::keyPressedWhileConnecting()
{
    frmMain& w = *m_window;
    qint16 stateInside = -1;
    int squareInside = -1;
    later(300, [&] {
        stateInside = w.Winsock->State();
        // A nested key finds the socket connecting and sends nothing, but
        // still sets the drive state and repaints.
        QTest::keyPress(w.windowHandle(), Qt::Key_Left);
        squareInside = greenSquare(w);
        // Let the connection through: the SYN is sent again shortly.
        QCOMPARE(PrivateNetwork::removeRules(), QString());
    });
    QTest::keyPress(w.windowHandle(), Qt::Key_Up);

    QCOMPARE(stateInside, SocketState::Connecting);
    QCOMPARE(squareInside, 1);
    QCOMPARE(w.Winsock->State(), SocketState::Connected);
    // The outer press sends the code of its own moment, forward; the grid
    // shows the state after the wait, forward and left.
    QTRY_VERIFY_WITH_TIMEOUT(decodeDriveStream(m_peer->received()).contains(QLatin1Char('2')),
                             Timeout);
    // ...and then the code of the drive state as it is now, last.
    QTRY_VERIFY_WITH_TIMEOUT(QRegularExpression(QStringLiteral("21+$"))
                                 .match(decodeDriveStream(m_peer->received()))
                                 .hasMatch(),
                             Timeout);
    QCOMPARE(greenSquare(w), 1);
    QCOMPARE(w.cmdOpenClose->text(), QStringLiteral("&Close Comm"));
    QCOMPARE(m_peer->connectionCount(), 1);
}

void tst_LinkWaits::quickTapWhileConnectingEndsOnStop()
{
    frmMain& w = *m_window;
    later(300, [&] {
        // The key comes up before the connection is made.
        QTest::keyRelease(w.windowHandle(), Qt::Key_Right);
        QCOMPARE(PrivateNetwork::removeRules(), QString());
    });
    QTest::keyPress(w.windowHandle(), Qt::Key_Right);

    QCOMPARE(w.Winsock->State(), SocketState::Connected);
    QTRY_VERIFY_WITH_TIMEOUT(!m_peer->received().isEmpty(), Timeout);
    // The press's own code goes out (a tick may get in first with the stop),
    // but the car is not left turning right with no key held: the stop is
    // the last word.
    const QString codes = decodeDriveStream(m_peer->received());
    QVERIFY2(codes.contains(QLatin1Char('6')) && codes.endsWith(QLatin1Char('5')),
             qPrintable(codes));
    QCOMPARE(greenSquare(w), 5);
}

void tst_LinkWaits::clickWhileAKeyWaitsClosesAndNothingIsSent()
{
    frmMain& w = *m_window;
    later(300, [&] { QTest::mouseClick(w.cmdOpenClose, Qt::LeftButton); });
    QTest::keyPress(w.windowHandle(), Qt::Key_Up);

    QCOMPARE(w.Winsock->State(), SocketState::Closed);
    QCOMPARE(w.lblWinsock->text(), QStringLiteral("Closed"));
    QCOMPARE(w.cmdOpenClose->text(), QStringLiteral("&Open Comm"));
    QCOMPARE(greenSquare(w), 2);
    QCOMPARE(PrivateNetwork::removeRules(), QString());
    // Nothing went out, and no tick reconnects by itself.
    QSignalSpy tick(w.tmrRepeat, &QTimer::timeout);
    QVERIFY(tick.wait(Timeout));
    QCOMPARE(m_peer->connectionCount(), 0);
    QCOMPARE(m_peer->received(), QByteArray());
    QVERIFY(m_watcher->seen().isEmpty());
}

void tst_LinkWaits::clickWhileAClickWaits()
{
    frmMain& w = *m_window;
    QString labelInside;
    later(300, [&] {
        labelInside = w.lblWinsock->text();
        QTest::mouseClick(w.cmdOpenClose, Qt::LeftButton);
    });
    QTest::mouseClick(w.cmdOpenClose, Qt::LeftButton);

    QCOMPARE(labelInside, Loopback);
    QCOMPARE(w.Winsock->State(), SocketState::Closed);
    QCOMPARE(w.lblWinsock->text(), QStringLiteral("Closed"));
    QCOMPARE(w.cmdOpenClose->text(), QStringLiteral("&Open Comm"));

    // And the button still works afterwards.
    QCOMPARE(PrivateNetwork::removeRules(), QString());
    QTest::mouseClick(w.cmdOpenClose, Qt::LeftButton);
    QCOMPARE(w.Winsock->State(), SocketState::Connected);
    QCOMPARE(w.cmdOpenClose->text(), QStringLiteral("&Close Comm"));
}

void tst_LinkWaits::windowClosedWhileAKeyWaits()
{
    frmMain& w = *m_window;
    later(300, [&] { QVERIFY(w.close()); });
    QTest::keyPress(w.windowHandle(), Qt::Key_Down);

    QVERIFY(!w.isVisible());
    QCOMPARE(w.Winsock->State(), SocketState::Closed);
    QVERIFY(m_dir->readRaw().startsWith(FourLineStart));
    // Later timer ticks and keys find the window unloaded and do nothing.
    QCOMPARE(PrivateNetwork::removeRules(), QString());
    QTest::keyClick(w.windowHandle(), Qt::Key_Up);
    QSignalSpy tick(w.tmrRepeat, &QTimer::timeout);
    QVERIFY(tick.wait(Timeout) || !w.tmrRepeat->isActive());
    QCOMPARE(m_peer->connectionCount(), 0);
    QCOMPARE(w.Winsock->State(), SocketState::Closed);
}

void tst_LinkWaits::windowClosedWhileAClickWaits()
{
    frmMain& w = *m_window;
    later(300, [&] { QVERIFY(w.close()); });
    QTest::mouseClick(w.cmdOpenClose, Qt::LeftButton);

    QCOMPARE(w.Winsock->State(), SocketState::Closed);
    QVERIFY(m_dir->readRaw().startsWith(FourLineStart));
    QCOMPARE(w.cmdOpenClose->text(), QStringLiteral("&Open Comm"));
    QCOMPARE(m_peer->connectionCount(), 0);
}

void tst_LinkWaits::connectTimeOutThroughTheWindow()
{
    frmMain& w = *m_window;
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(w.cmdOpenClose, Qt::LeftButton);
    const qint64 waited = clock.elapsed();
    QVERIFY2(waited >= 4000 && waited < 9000, qPrintable(QString::number(waited)));

    QCOMPARE(w.Winsock->State(), SocketState::Error);
    QCOMPARE(w.lblWinsock->text(), QStringLiteral("Error"));
    QCOMPARE(w.cmdOpenClose->text(), QStringLiteral("&Open Comm"));
    QTRY_COMPARE_WITH_TIMEOUT(m_watcher->seen().size(), 1, Timeout);
    QVERIFY2(m_watcher->seen().first().text.startsWith(QStringLiteral("Winsock Error #10060\r\n")),
             qPrintable(m_watcher->seen().first().text));
}

QTEST_MAIN(tst_LinkWaits)
#include "tst_LinkWaits.moc"
