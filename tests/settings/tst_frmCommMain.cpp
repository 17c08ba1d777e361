#include "console/frmMain.h"
#include "settings/SettingsFile.h"
#include "settings/frmComm.h"
#include "support/WidgetTestCase.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

// Counts the key presses a widget receives.
class KeyCounter : public QObject {
public:
    explicit KeyCounter(QObject* watched) : QObject(watched) { watched->installEventFilter(this); }
    int presses = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress)
            ++presses;
        return false;
    }
};

QList<frmComm*> openDialogs()
{
    QList<frmComm*> dialogs;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<frmComm*>(widget); dialog && dialog->isVisible())
            dialogs.append(dialog);
    }
    return dialogs;
}

frmComm* openCommDialog(frmMain& window)
{
    control<QAction>(window, "mnuCOMPort")->trigger();
    frmComm* dialog = window.commDialog();
    // A dialog's native window counts as active while its owner is, so ask
    // the application which window really has the keyboard.
    if (dialog && !QTest::qWaitFor([dialog] { return QApplication::activeWindow() == dialog; }))
        qWarning("the settings dialog did not become active");
    return dialog;
}

} // namespace

class tst_frmCommMain : public WidgetTestCase {
    Q_OBJECT

private slots:
    void opensOneModelessDialog();
    void keysTypedIntoDialogDoNotDrive_data();
    void keysTypedIntoDialogDoNotDrive();
    void newSettingsReachTheNextSend_data();
    void newSettingsReachTheNextSend();
    void closingMainWindowWithDialogOpen();
};

void tst_frmCommMain::opensOneModelessDialog()
{
    const auto window = openMainWindow(dir(), QStringLiteral("Car.Lan"), QStringLiteral("1500"));
    QVERIFY(!window->commDialog());

    QPointer<frmComm> dialog = openCommDialog(*window);
    QVERIFY(dialog);
    const CommControls comm(*dialog);
    QCOMPARE(openDialogs(), QList<frmComm*>{dialog});
    // Owned by the main window, yet a window of its own.
    QCOMPARE(dialog->parent(), window.get());
    QVERIFY(dialog->isWindow());
    // The file's values come back lower-cased.
    QCOMPARE(comm.txtRemoteHost->text(), QStringLiteral("car.lan"));
    QCOMPARE(comm.txtRemotePort->text(), QStringLiteral("1500"));
    QCOMPARE(QApplication::focusWidget(), comm.cmdOK);

    // Modeless: nothing blocks the main window and its timer goes on.
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(control<QTimer>(*window, "tmrRepeat")->isActive());
    window->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), window.get());

    // A second choice of the command does nothing at all: no second dialog,
    // and the open one is neither raised nor focused.
    comm.txtRemoteHost->setText(QStringLiteral("edited"));
    control<QAction>(*window, "mnuCOMPort")->trigger();
    QCoreApplication::processEvents();
    QCOMPARE(window->commDialog(), dialog.data());
    QCOMPARE(openDialogs(), QList<frmComm*>{dialog});
    QCOMPARE(QApplication::activeWindow(), window.get());
    QCOMPARE(comm.txtRemoteHost->text(), QStringLiteral("edited"));

    // Closed, it is gone, and the command opens a fresh one.
    dialog->close();
    QTRY_VERIFY(dialog.isNull());
    QVERIFY(!window->commDialog());
    QVERIFY(openDialogs().isEmpty());
    frmComm* again = openCommDialog(*window);
    QVERIFY(again);
    QCOMPARE(control<QLineEdit>(*again, "txtRemoteHost")->text(), QStringLiteral("car.lan"));
    QCOMPARE(openDialogs(), QList<frmComm*>{again});
    QVERIFY(watcher().seen().isEmpty());
}

void tst_frmCommMain::keysTypedIntoDialogDoNotDrive_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<QString>("code"); // what the same key sends from the main window

    QTest::newRow("Up") << int(Qt::Key_Up) << Qt::KeyboardModifiers() << "2";
    QTest::newRow("Left") << int(Qt::Key_Left) << Qt::KeyboardModifiers() << "4";
    QTest::newRow("keypad 7") << int(Qt::Key_7) << Qt::KeyboardModifiers(Qt::KeypadModifier) << "1";
    QTest::newRow("keypad 3") << int(Qt::Key_3) << Qt::KeyboardModifiers(Qt::KeypadModifier) << "9";
}

void tst_frmCommMain::keysTypedIntoDialogDoNotDrive()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(QString, code);

    LoopbackPeer peer;
    const auto window = openMainWindow(dir(), Loopback, peer.portText());
    frmComm* dialog = openCommDialog(*window);
    QVERIFY(dialog);
    const CommControls comm(*dialog);

    // The keys reach the dialog's text box, both through the dialog's
    // window and straight at the box, and drive nothing while held.
    comm.txtRemotePort->setFocus();
    const KeyCounter* counter = new KeyCounter(comm.txtRemotePort);
    sendKey(*dialog, QEvent::KeyPress, key, modifiers);
    QCOMPARE(window->throttle(), qint16(1));
    QCOMPARE(window->steering(), qint16(1));
    sendKey(*dialog, QEvent::KeyRelease, key, modifiers);
    QTest::keyPress(comm.txtRemotePort, Qt::Key(key), modifiers);
    QCOMPARE(window->throttle(), qint16(1));
    QCOMPARE(window->steering(), qint16(1));
    QTest::keyRelease(comm.txtRemotePort, Qt::Key(key), modifiers);
    QCOMPARE(counter->presses, 2);
    QCOMPARE(peer.connectionCount(), 0);

    // Once the main window is active again the same key drives, and its
    // command is the first that ever reaches the car.
    window->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), window.get());
    QVERIFY(dialog->isVisible());
    sendKey(*window, QEvent::KeyPress, key, modifiers);
    QVERIFY(window->throttle() != 1 || window->steering() != 1);
    QTRY_VERIFY_WITH_TIMEOUT(!peer.received().isEmpty(), 5000);
    QCOMPARE(decodeDriveStream(peer.received()).left(1), code);
    QCOMPARE(peer.connectionCount(), 1);
    sendKey(*window, QEvent::KeyRelease, key, modifiers);
    QVERIFY(watcher().seen().isEmpty());
}

void tst_frmCommMain::newSettingsReachTheNextSend_data()
{
    QTest::addColumn<bool>("confirm");

    QTest::newRow("OK moves to the new port") << true;
    QTest::newRow("Cancel stays") << false;
}

void tst_frmCommMain::newSettingsReachTheNextSend()
{
    QFETCH(bool, confirm);

    LoopbackPeer first;
    LoopbackPeer second;
    const auto window = openMainWindow(dir(), Loopback, first.portText());

    sendKey(*window, QEvent::KeyPress, Qt::Key_Up);
    sendKey(*window, QEvent::KeyRelease, Qt::Key_Up);
    QTRY_VERIFY_WITH_TIMEOUT(QRegularExpression(QStringLiteral("^25+$"))
                                 .match(decodeDriveStream(first.received()))
                                 .hasMatch(),
                             5000);
    QCOMPARE(first.openConnections(), 1);

    frmComm* dialog = openCommDialog(*window);
    QVERIFY(dialog);
    const CommControls comm(*dialog);
    comm.txtRemotePort->setText(second.portText() + QStringLiteral(".7"));
    QTest::mouseClick(confirm ? comm.cmdOK : comm.cmdCancel, Qt::LeftButton);
    QTRY_VERIFY(!window->commDialog());
    // Nothing is applied at once: the connection stays until the next send.
    QCOMPARE(first.openConnections(), 1);

    // The next timer tick sends again.
    first.clearReceived();
    if (confirm) {
        QTRY_VERIFY_WITH_TIMEOUT(!second.received().isEmpty(), 5000);
        QCOMPARE(decodeDriveStream(second.received()).left(1), QStringLiteral("5"));
        QCOMPARE(second.connectionCount(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(first.openConnections(), 0, 5000);
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(!first.received().isEmpty(), 5000);
        QCOMPARE(decodeDriveStream(first.received()).left(1), QStringLiteral("5"));
        QCOMPARE(first.connectionCount(), 1);
        QCOMPARE(second.connectionCount(), 0);
    }
    QVERIFY(watcher().seen().isEmpty());
}

void tst_frmCommMain::closingMainWindowWithDialogOpen()
{
    auto window = openMainWindow(dir(), QStringLiteral("car.lan"), QStringLiteral("1500"));

    frmComm* dialog = openCommDialog(*window);
    QVERIFY(dialog);
    const CommControls comm(*dialog);
    comm.txtRemoteHost->setText(QStringLiteral("Car.Example"));
    comm.txtRemotePort->setText(QStringLiteral("2000.5"));
    QTest::mouseClick(comm.cmdOK, Qt::LeftButton);
    QTRY_VERIFY(!window->commDialog());

    // Edits in a dialog that is still open when the program closes are
    // dropped, as if cancelled.
    const QPointer<frmComm> open = openCommDialog(*window);
    QVERIFY(open);
    control<QLineEdit>(*open, "txtRemoteHost")->setText(QStringLiteral("unsaved"));
    control<QLineEdit>(*open, "txtRemotePort")->setText(QStringLiteral("9"));
    QSignalSpy accepted(open.data(), &QDialog::accepted);

    QVERIFY(window->close());
    QCoreApplication::processEvents();
    QVERIFY(open.isNull());
    QCOMPARE(accepted.count(), 0);
    QVERIFY(openDialogs().isEmpty());
    QCOMPARE(dir().readRaw(),
             formatSettingsFile(QStringLiteral("2000"), QStringLiteral("Car.Example")));

    // Written once: neither the dialog's end nor the window's destruction
    // writes the file again.
    QVERIFY(QFile::remove(dir().settingsPath()));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    window.reset();
    QCoreApplication::processEvents();
    QVERIFY(!dir().settingsExist());
    QVERIFY(watcher().seen().isEmpty());
}

QTEST_MAIN(tst_frmCommMain)
#include "tst_frmCommMain.moc"
