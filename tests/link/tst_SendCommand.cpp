// Driving the car through the main window against a real server on
// 127.0.0.1: the bytes on the wire, the once-a-second repeat, the status
// label, the button, socket errors and bad settings.
#include "console/frmMain.h"
#include "help/Version.h"
#include "link/SocketControl.h"
#include "settings/mdlMain.h"
#include "support/WidgetTestCase.h"

#include <QAction>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWindow>

class tst_SendCommand : public WidgetTestCase {
    Q_OBJECT

private slots:
    void bytesForEachKey_data();
    void bytesForEachKey();
    void repeatsOnceASecondWhileConnected();
    void sendsNothingWhileNotConnected();
    void heldKeySendsAtRepeatRateWithoutStops();
    void labelAndButtonThroughAConnection();
    void refusedConnect();
    void peerHangsUpThenKeyReconnects();
    void settingsChangeWhileConnectedReconnects();
    void badSettings_data();
    void badSettings();
    void ticksGoOnWhileAMessageBoxIsOpen();
};

void tst_SendCommand::bytesForEachKey_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<char>("code");
    const Qt::KeyboardModifiers none = Qt::NoModifier;
    const Qt::KeyboardModifiers keypad = Qt::KeypadModifier;
    QTest::newRow("Left") << int(Qt::Key_Left) << none << '4';
    QTest::newRow("Right") << int(Qt::Key_Right) << none << '6';
    QTest::newRow("Up") << int(Qt::Key_Up) << none << '2';
    QTest::newRow("Down") << int(Qt::Key_Down) << none << '8';
    QTest::newRow("keypad 1") << int(Qt::Key_1) << keypad << '7';
    QTest::newRow("keypad 2") << int(Qt::Key_2) << keypad << '8';
    QTest::newRow("keypad 3") << int(Qt::Key_3) << keypad << '9';
    QTest::newRow("keypad 4") << int(Qt::Key_4) << keypad << '4';
    QTest::newRow("keypad 5") << int(Qt::Key_5) << keypad << '5';
    QTest::newRow("keypad 6") << int(Qt::Key_6) << keypad << '6';
    QTest::newRow("keypad 7") << int(Qt::Key_7) << keypad << '1';
    QTest::newRow("keypad 8") << int(Qt::Key_8) << keypad << '2';
    QTest::newRow("keypad 9") << int(Qt::Key_9) << keypad << '3';
}

void tst_SendCommand::bytesForEachKey()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(char, code);
    LoopbackPeer peer;
    auto w = openMainWindow(dir(), Loopback, peer.portText());
    const MainControls ui(*w);

    // The key itself opens the connection: no click needed first.
    QTest::keyPress(w->windowHandle(), Qt::Key(key), modifiers);
    QCOMPARE(ui.Winsock->State(), SocketState::Connected);
    QCOMPARE(ui.cmdOpenClose->text(), QStringLiteral("&Close Comm"));
    QCOMPARE(ui.lblWinsock->text(), QStringLiteral("Connected"));
    QTRY_VERIFY_WITH_TIMEOUT(!peer.received().isEmpty(), Timeout);
    QByteArray message(2, '\0');
    message[0] = code;
    QCOMPARE(peer.received().left(2), message);
    QVERIFY2(peer.lastClientPort() >= 10000 && peer.lastClientPort() <= 59999,
             qPrintable(QString::number(peer.lastClientPort())));

    QTest::keyRelease(w->windowHandle(), Qt::Key(key), modifiers);
    QTRY_VERIFY_WITH_TIMEOUT(decodeDriveStream(peer.received()).endsWith(QLatin1Char('5')),
                             Timeout);
    // Copies of a code only ever follow it.
    const QString codes = decodeDriveStream(peer.received());
    QVERIFY2(QRegularExpression(QStringLiteral("^%1+5+$").arg(QLatin1Char(code)))
                 .match(codes)
                 .hasMatch(),
             qPrintable(codes));
    QCOMPARE(peer.connectionCount(), 1);
    QVERIFY(watcher().seen().isEmpty());
}

void tst_SendCommand::repeatsOnceASecondWhileConnected()
{
    // A change is sent again a few times soon after, so a lost command need
    // not wait for TCP's retransmit timer; each copy carries the code of the
    // moment. Otherwise the link carries one command a second.
    LoopbackPeer peer;
    auto w = openMainWindow(dir(), Loopback, peer.portText());
    QTest::keyPress(w->windowHandle(), Qt::Key_Up);
    QTest::keyRelease(w->windowHandle(), Qt::Key_Up);
    const MainControls ui(*w);
    ui.tmrRepeat->start();
    QSignalSpy ticks(ui.tmrRepeat, &QTimer::timeout);
    QTRY_COMPARE_WITH_TIMEOUT(ticks.count(), 3, Timeout);
    // A new code marks the end of what the release and the ticks sent.
    QTest::keyPress(w->windowHandle(), Qt::Key_Down);
    QTRY_VERIFY_WITH_TIMEOUT(decodeDriveStream(peer.received()).contains(QLatin1Char('8')),
                             Timeout);

    const QString codes = decodeDriveStream(peer.received());
    const QString beforeDown = codes.left(codes.indexOf(QLatin1Char('8')));
    QVERIFY2(QRegularExpression(QStringLiteral("^2+5+$")).match(beforeDown).hasMatch(),
             qPrintable(codes));
    // The release, one to three copies of it, and the three ticks.
    const auto stops = beforeDown.count(QLatin1Char('5'));
    QVERIFY2(stops >= 5 && stops <= 7, qPrintable(codes));
}

void tst_SendCommand::sendsNothingWhileNotConnected()
{
    LoopbackPeer peer;
    auto w = openMainWindow(dir(), Loopback, peer.portText());
    const MainControls ui(*w);
    QSignalSpy ticks(ui.tmrRepeat, &QTimer::timeout);
    QTRY_COMPARE_WITH_TIMEOUT(ticks.count(), 2, Timeout);
    QCOMPARE(peer.connectionCount(), 0);
    QCOMPARE(ui.Winsock->State(), SocketState::Closed);

    // Connected once, then closed with the button: the ticks stop sending.
    QTest::keyClick(w->windowHandle(), Qt::Key_Left);
    QTRY_COMPARE_WITH_TIMEOUT(driveChanges(peer.received()), QStringLiteral("45"), Timeout);
    QTest::mouseClick(ui.cmdOpenClose, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(peer.openConnections(), 0, Timeout);
    peer.clearReceived();
    ticks.clear();
    QTRY_COMPARE_WITH_TIMEOUT(ticks.count(), 2, Timeout);
    QCOMPARE(peer.received(), QByteArray());
    QCOMPARE(peer.connectionCount(), 1);
}

void tst_SendCommand::heldKeySendsAtRepeatRateWithoutStops()
{
    LoopbackPeer peer;
    auto w = openMainWindow(dir(), Loopback, peer.portText());
    QSignalSpy ticks(control<QTimer>(*w, "tmrRepeat"), &QTimer::timeout);
    sendKey(*w, QEvent::KeyPress, Qt::Key_Up);
    for (int i = 0; i < 20; ++i) {
        sendKey(*w, QEvent::KeyRelease, Qt::Key_Up, {}, true);
        sendKey(*w, QEvent::KeyPress, Qt::Key_Up, {}, true);
    }
    QTRY_VERIFY_WITH_TIMEOUT(peer.received().size() >= 42, Timeout);
    // One message per press, all forward; not one stop in between. Besides
    // the presses only the change's three quick copies and the ticks send.
    const QString codes = decodeDriveStream(peer.received());
    QVERIFY2(QRegularExpression(QStringLiteral("^2+$")).match(codes).hasMatch(), qPrintable(codes));
    QVERIFY2(codes.size() <= 21 + 3 + ticks.count(), qPrintable(codes));
    sendKey(*w, QEvent::KeyRelease, Qt::Key_Up);
    QTRY_VERIFY_WITH_TIMEOUT(decodeDriveStream(peer.received()).endsWith(QLatin1Char('5')),
                             Timeout);
}

void tst_SendCommand::labelAndButtonThroughAConnection()
{
    LoopbackPeer peer;
    auto w = openMainWindow(dir(), Loopback, peer.portText());
    const MainControls ui(*w);
    QCOMPARE(ui.lblWinsock->text(), QString());
    QSignalSpy ticks(ui.tmrRepeat, &QTimer::timeout);
    QVERIFY(ticks.wait(Timeout));
    QCOMPARE(ui.lblWinsock->text(), QStringLiteral("Closed"));

    // While the click connects, the label names the host.
    QStringList labelWhileConnecting;
    connect(ui.Winsock, &SocketControl::stateChanged, this,
            [&] { labelWhileConnecting << ui.lblWinsock->text(); });
    QTest::mouseClick(ui.cmdOpenClose, Qt::LeftButton);
    QVERIFY(!labelWhileConnecting.isEmpty());
    QCOMPARE(labelWhileConnecting.first(), Loopback);
    QCOMPARE(ui.lblWinsock->text(), QStringLiteral("Connected"));
    QCOMPARE(ui.cmdOpenClose->text(), QStringLiteral("&Close Comm"));
    QCOMPARE(ui.Winsock->RemoteHost(), Loopback);
    QCOMPARE(ui.Winsock->RemotePort(), qint32(peer.port()));
    QTRY_COMPARE_WITH_TIMEOUT(peer.connectionCount(), 1, Timeout);

    // Connected, the ticks send the stop code.
    QTRY_COMPARE_WITH_TIMEOUT(decodeDriveStream(peer.received()), QStringLiteral("5"), Timeout);

    QTest::mouseClick(ui.cmdOpenClose, Qt::LeftButton);
    QCOMPARE(ui.lblWinsock->text(), QStringLiteral("Closed"));
    QCOMPARE(ui.cmdOpenClose->text(), QStringLiteral("&Open Comm"));
    QTRY_COMPARE_WITH_TIMEOUT(peer.openConnections(), 0, Timeout);
}

void tst_SendCommand::refusedConnect()
{
    LoopbackPeer peer;
    peer.stopListening();
    auto w = openMainWindow(dir(), Loopback, QString::number(peer.port()));
    const MainControls ui(*w);
    QTest::keyPress(w->windowHandle(), Qt::Key_Left);
    QTRY_COMPARE_WITH_TIMEOUT(watcher().seen().size(), 1, Timeout);
    const SeenMessage box = watcher().seen().first();
    QCOMPARE(box.title, QStringLiteral("Velmora v" VELMORA_VERSION));
    QCOMPARE(box.icon, QMessageBox::Information);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY2(box.text.startsWith(QStringLiteral("Winsock Error #10061\r\n")), qPrintable(box.text));
    QVERIFY(box.text.endsWith(QStringLiteral("\r\nSource: Winsock")));
    QCOMPARE(box.text.count(QStringLiteral("\r\n")), 2);
    // Offscreen has no window manager to hand the focus back after the box.
    QVERIFY(activate(*w));

    QCOMPARE(ui.Winsock->State(), SocketState::Error);
    QCOMPARE(ui.cmdOpenClose->text(), QStringLiteral("&Open Comm"));
    QSignalSpy ticks(ui.tmrRepeat, &QTimer::timeout);
    QVERIFY(ticks.wait(Timeout));
    QCOMPARE(ui.lblWinsock->text(), QStringLiteral("Error"));

    // With the settings unchanged, keys do nothing until the button closes
    // the socket: no new attempt, no new message.
    QVERIFY(peer.listenAgain());
    QTest::keyClick(w->windowHandle(), Qt::Key_Up);
    QVERIFY(ticks.wait(Timeout));
    QCOMPARE(peer.connectionCount(), 0);
    QCOMPARE(watcher().seen().size(), 1);
    QCOMPARE(ui.Winsock->State(), SocketState::Error);

    QTest::mouseClick(ui.cmdOpenClose, Qt::LeftButton);
    QCOMPARE(ui.lblWinsock->text(), QStringLiteral("Closed"));
    QCOMPARE(ui.cmdOpenClose->text(), QStringLiteral("&Open Comm"));
    QTest::mouseClick(ui.cmdOpenClose, Qt::LeftButton);
    QCOMPARE(ui.lblWinsock->text(), QStringLiteral("Connected"));
    QCOMPARE(ui.cmdOpenClose->text(), QStringLiteral("&Close Comm"));
    QTRY_COMPARE_WITH_TIMEOUT(peer.connectionCount(), 1, Timeout);
    QCOMPARE(peer.received(), QByteArray());
}

void tst_SendCommand::peerHangsUpThenKeyReconnects()
{
    LoopbackPeer peer;
    auto w = openMainWindow(dir(), Loopback, peer.portText());
    const MainControls ui(*w);
    QTest::keyClick(w->windowHandle(), Qt::Key_Down);
    QTRY_COMPARE_WITH_TIMEOUT(driveChanges(peer.received()), QStringLiteral("85"), Timeout);
    peer.closeClients();
    QTRY_COMPARE_WITH_TIMEOUT(ui.Winsock->State(), SocketState::Closed, Timeout);
    QTRY_COMPARE_WITH_TIMEOUT(ui.lblWinsock->text(), QStringLiteral("Closed"), Timeout);
    // No error message for a server that simply hung up.
    QVERIFY(watcher().seen().isEmpty());
    // The caption is left alone; the next key connects again by itself.
    QCOMPARE(ui.cmdOpenClose->text(), QStringLiteral("&Close Comm"));
    QTest::keyPress(w->windowHandle(), Qt::Key_Right);
    QTRY_COMPARE_WITH_TIMEOUT(peer.connectionCount(), 2, Timeout);
    QTRY_COMPARE_WITH_TIMEOUT(driveChanges(peer.received()), QStringLiteral("856"), Timeout);
}

void tst_SendCommand::settingsChangeWhileConnectedReconnects()
{
    LoopbackPeer first;
    LoopbackPeer second;
    auto w = openMainWindow(dir(), Loopback, first.portText());
    const MainControls ui(*w);
    QTest::keyPress(w->windowHandle(), Qt::Key_Up);
    QTRY_COMPARE_WITH_TIMEOUT(driveChanges(first.received()), QStringLiteral("2"), Timeout);

    // What the settings dialog's OK does.
    mdlMain::RemotePort = SettingValue::fromNumber(second.port());
    QElapsedTimer clock;
    clock.start();
    QTRY_COMPARE_WITH_TIMEOUT(first.openConnections(), 0, Timeout);
    QTRY_COMPARE_WITH_TIMEOUT(driveChanges(second.received()), QStringLiteral("2"), Timeout);
    // Within about a tick.
    QVERIFY2(clock.elapsed() < 2500, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(ui.Winsock->RemotePort(), qint32(second.port()));
    QVERIFY(ui.Winsock->LocalPort() >= 10000 && ui.Winsock->LocalPort() <= 59999);
}

void tst_SendCommand::badSettings_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("named");
    QTest::newRow("port not a number") << Loopback << "abc"
                                       << "\"abc\"";
    QTest::newRow("port empty") << Loopback << ""
                                << "remote port is empty";
    QTest::newRow("port zero") << Loopback << "0"
                               << "\"0\"";
    QTest::newRow("port too big") << Loopback << "70000"
                                  << "\"70000\"";
    QTest::newRow("port negative") << Loopback << "-5"
                                   << "\"-5\"";
    QTest::newRow("host empty") << ""
                                << "1500"
                                << "remote host is empty";
}

void tst_SendCommand::badSettings()
{
    QFETCH(QString, host);
    QFETCH(QString, port);
    QFETCH(QString, named);
    LoopbackPeer peer;
    auto w = openMainWindow(dir(), host, port);
    const MainControls ui(*w);

    // A held key with auto-repeat: one message, not one per repeat.
    sendKey(*w, QEvent::KeyPress, Qt::Key_Up);
    for (int i = 0; i < 5; ++i)
        sendKey(*w, QEvent::KeyPress, Qt::Key_Up, {}, true);
    sendKey(*w, QEvent::KeyRelease, Qt::Key_Up);
    QCOMPARE(watcher().seen().size(), 1);
    const SeenMessage box = watcher().seen().first();
    QCOMPARE(box.title, QStringLiteral("Velmora v" VELMORA_VERSION));
    QCOMPARE(box.icon, QMessageBox::Information);
    QVERIFY2(box.text.contains(named), qPrintable(box.text));
    QVERIFY(box.text.contains(QStringLiteral("Settings > COM Port...")));
    QCOMPARE(ui.Winsock->State(), SocketState::Closed);

    // The button asks to connect outright, so it always answers.
    QTest::mouseClick(ui.cmdOpenClose, Qt::LeftButton);
    QCOMPARE(watcher().seen().size(), 2);
    QCOMPARE(ui.Winsock->State(), SocketState::Closed);
    QCOMPARE(ui.cmdOpenClose->text(), QStringLiteral("&Open Comm"));
    // Offscreen has no window manager to hand the focus back after the box.
    QVERIFY(activate(*w));

    // Still usable: with the settings mended, the next key drives.
    mdlMain::RemoteHost = SettingValue::fromText(Loopback);
    mdlMain::RemotePort = SettingValue::fromNumber(peer.port());
    QTest::keyPress(w->windowHandle(), Qt::Key_Down);
    QTRY_COMPARE_WITH_TIMEOUT(driveChanges(peer.received()), QStringLiteral("8"), Timeout);
    QCOMPARE(peer.connectionCount(), 1);
}

void tst_SendCommand::ticksGoOnWhileAMessageBoxIsOpen()
{
    LoopbackPeer peer;
    auto w = openMainWindow(dir(), Loopback, peer.portText());
    const MainControls ui(*w);
    QTest::mouseClick(ui.cmdOpenClose, Qt::LeftButton);
    QCOMPARE(ui.Winsock->State(), SocketState::Connected);

    watcher().setHoldOpen(true);
    QTimer::singleShot(0, w.get(), [&] {
        QTRY_COMPARE_WITH_TIMEOUT(decodeDriveStream(peer.received()), QStringLiteral("55"),
                                  Timeout);
        QVERIFY(watcher().isBoxOpen());
        watcher().closeOpenBoxes();
    });
    control<QAction>(*w, "mnuAbout")->trigger();
    QCOMPARE(watcher().seen().size(), 1);
}

QTEST_MAIN(tst_SendCommand)
#include "tst_SendCommand.moc"
