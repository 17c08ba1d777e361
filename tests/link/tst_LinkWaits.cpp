// The waits for a connection, with every handler running nested inside
// them. Connects are kept pending by dropping their SYN packets, in a
// network namespace this test process makes for itself.
#include "console/frmMain.h"
#include "link/SocketControl.h"
#include "support/PrivateNetwork.h"
#include "support/WidgetTestCase.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWindow>

namespace {

const QByteArray FourLineStart = "' Hi y'all! I'm writing this program and I got bored.\r\n";

} // namespace

class tst_LinkWaits : public WidgetTestCase {
    Q_OBJECT

private slots:
    void initTestCase();

    void keyPressedWhileConnecting();
    void quickTapWhileConnectingEndsOnStop();
    void clickWhileAKeyWaitsClosesAndNothingIsSent();
    void clickWhileAClickWaits();
    void windowClosedWhileAKeyWaits();
    void windowClosedWhileAClickWaits();
    void connectTimeOutThroughTheWindow();

private:
    void setUp() override;
    void tearDown() override;
    // Runs what after the given delay, from inside whatever wait is going on.
    void later(int ms, const std::function<void()>& what);

    LoopbackPeer* m_peer = nullptr;
    std::unique_ptr<frmMain> m_window;
};

void tst_LinkWaits::initTestCase()
{
    const QString problem = PrivateNetwork::enter();
    if (!problem.isEmpty())
        QSKIP(qPrintable(problem));
}

void tst_LinkWaits::setUp()
{
    m_peer = new LoopbackPeer;
    QCOMPARE(PrivateNetwork::dropConnectionsTo(m_peer->port()), QString());
    m_window = openMainWindow(dir(), Loopback, m_peer->portText());
}

void tst_LinkWaits::tearDown()
{
    m_window.reset();
    QCOMPARE(PrivateNetwork::removeRules(), QString());
    delete m_peer;
}

void tst_LinkWaits::later(int ms, const std::function<void()>& what)
{
    QTimer::singleShot(ms, m_window.get(), what);
}

void tst_LinkWaits::keyPressedWhileConnecting()
{
    frmMain& w = *m_window;
    const MainControls ui(w);
    qint16 stateInside = -1;
    int squareInside = -1;
    later(300, [&] {
        stateInside = ui.Winsock->State();
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
    QCOMPARE(ui.Winsock->State(), SocketState::Connected);
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
    QCOMPARE(ui.cmdOpenClose->text(), QStringLiteral("&Close Comm"));
    QCOMPARE(m_peer->connectionCount(), 1);
}

void tst_LinkWaits::quickTapWhileConnectingEndsOnStop()
{
    frmMain& w = *m_window;
    // Without the once-a-second send, every stop after the first is a quick
    // copy, which the correction needs as much as any change on a lossy link.
    control<QTimer>(w, "tmrRepeat")->stop();
    later(300, [&] {
        // The key comes up before the connection is made.
        QTest::keyRelease(w.windowHandle(), Qt::Key_Right);
        QCOMPARE(PrivateNetwork::removeRules(), QString());
    });
    QTest::keyPress(w.windowHandle(), Qt::Key_Right);

    QCOMPARE(control<SocketControl>(w, "Winsock")->State(), SocketState::Connected);
    // The press's own code goes out, but the car is not left turning right
    // with no key held: the stop is the last word, sent again three times.
    QTRY_COMPARE_WITH_TIMEOUT(decodeDriveStream(m_peer->received()), QStringLiteral("65555"),
                              Timeout);
    QCOMPARE(greenSquare(w), 5);
}

void tst_LinkWaits::clickWhileAKeyWaitsClosesAndNothingIsSent()
{
    frmMain& w = *m_window;
    const MainControls ui(w);
    later(300, [&] { QTest::mouseClick(ui.cmdOpenClose, Qt::LeftButton); });
    QTest::keyPress(w.windowHandle(), Qt::Key_Up);

    QCOMPARE(ui.Winsock->State(), SocketState::Closed);
    QCOMPARE(ui.lblWinsock->text(), QStringLiteral("Closed"));
    QCOMPARE(ui.cmdOpenClose->text(), QStringLiteral("&Open Comm"));
    QCOMPARE(greenSquare(w), 2);
    QCOMPARE(PrivateNetwork::removeRules(), QString());
    // Nothing went out, and no tick reconnects by itself.
    QSignalSpy tick(ui.tmrRepeat, &QTimer::timeout);
    QVERIFY(tick.wait(Timeout));
    QCOMPARE(m_peer->connectionCount(), 0);
    QCOMPARE(m_peer->received(), QByteArray());
    QVERIFY(watcher().seen().isEmpty());
}

void tst_LinkWaits::clickWhileAClickWaits()
{
    frmMain& w = *m_window;
    const MainControls ui(w);
    QString labelInside;
    later(300, [&] {
        labelInside = ui.lblWinsock->text();
        QTest::mouseClick(ui.cmdOpenClose, Qt::LeftButton);
    });
    QTest::mouseClick(ui.cmdOpenClose, Qt::LeftButton);

    QCOMPARE(labelInside, Loopback);
    QCOMPARE(ui.Winsock->State(), SocketState::Closed);
    QCOMPARE(ui.lblWinsock->text(), QStringLiteral("Closed"));
    QCOMPARE(ui.cmdOpenClose->text(), QStringLiteral("&Open Comm"));

    // And the button still works afterwards.
    QCOMPARE(PrivateNetwork::removeRules(), QString());
    QTest::mouseClick(ui.cmdOpenClose, Qt::LeftButton);
    QCOMPARE(ui.Winsock->State(), SocketState::Connected);
    QCOMPARE(ui.cmdOpenClose->text(), QStringLiteral("&Close Comm"));
}

void tst_LinkWaits::windowClosedWhileAKeyWaits()
{
    frmMain& w = *m_window;
    const MainControls ui(w);
    later(300, [&] { QVERIFY(w.close()); });
    QTest::keyPress(w.windowHandle(), Qt::Key_Down);

    QVERIFY(!w.isVisible());
    QCOMPARE(ui.Winsock->State(), SocketState::Closed);
    QVERIFY(dir().readRaw().startsWith(FourLineStart));
    // Later timer ticks and keys find the window unloaded and do nothing.
    QCOMPARE(PrivateNetwork::removeRules(), QString());
    QTest::keyClick(w.windowHandle(), Qt::Key_Up);
    QSignalSpy tick(ui.tmrRepeat, &QTimer::timeout);
    QVERIFY(tick.wait(Timeout) || !ui.tmrRepeat->isActive());
    QCOMPARE(m_peer->connectionCount(), 0);
    QCOMPARE(ui.Winsock->State(), SocketState::Closed);
}

void tst_LinkWaits::windowClosedWhileAClickWaits()
{
    frmMain& w = *m_window;
    const MainControls ui(w);
    later(300, [&] { QVERIFY(w.close()); });
    QTest::mouseClick(ui.cmdOpenClose, Qt::LeftButton);

    QCOMPARE(ui.Winsock->State(), SocketState::Closed);
    QVERIFY(dir().readRaw().startsWith(FourLineStart));
    QCOMPARE(ui.cmdOpenClose->text(), QStringLiteral("&Open Comm"));
    QCOMPARE(m_peer->connectionCount(), 0);
}

void tst_LinkWaits::connectTimeOutThroughTheWindow()
{
    frmMain& w = *m_window;
    const MainControls ui(w);
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(ui.cmdOpenClose, Qt::LeftButton);
    const qint64 waited = clock.elapsed();
    QVERIFY2(waited >= 4000 && waited < 9000, qPrintable(QString::number(waited)));

    QCOMPARE(ui.Winsock->State(), SocketState::Error);
    QCOMPARE(ui.lblWinsock->text(), QStringLiteral("Error"));
    QCOMPARE(ui.cmdOpenClose->text(), QStringLiteral("&Open Comm"));
    QTRY_COMPARE_WITH_TIMEOUT(watcher().seen().size(), 1, Timeout);
    QVERIFY2(watcher().seen().first().text.startsWith(QStringLiteral("Winsock Error #10060\r\n")),
             qPrintable(watcher().seen().first().text));
}

QTEST_MAIN(tst_LinkWaits)
#include "tst_LinkWaits.moc"
