#include "help/AppInfo.h"
#include "settings/SettingValue.h"
#include "settings/frmComm.h"
#include "settings/mdlMain.h"
#include "support/WidgetTestCase.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <memory>

namespace {

// How the driver can end the dialog.
enum class Ending { OkClick, EnterInHost, EnterInPort, AltO, CancelClick, Escape, AltC, CloseBox };

void end(frmComm& dialog, Ending how)
{
    const CommControls comm(dialog);
    switch (how) {
    case Ending::OkClick:
        QTest::mouseClick(comm.cmdOK, Qt::LeftButton);
        break;
    case Ending::EnterInHost:
        comm.txtRemoteHost->setFocus();
        QTest::keyClick(comm.txtRemoteHost, Qt::Key_Return);
        break;
    case Ending::EnterInPort:
        comm.txtRemotePort->setFocus();
        QTest::keyClick(comm.txtRemotePort, Qt::Key_Enter);
        break;
    case Ending::AltO:
        QTest::keyClick(dialog.windowHandle(), Qt::Key_O, Qt::AltModifier);
        break;
    case Ending::CancelClick:
        QTest::mouseClick(comm.cmdCancel, Qt::LeftButton);
        break;
    case Ending::Escape:
        comm.txtRemotePort->setFocus();
        QTest::keyClick(comm.txtRemotePort, Qt::Key_Escape);
        break;
    case Ending::AltC:
        QTest::keyClick(dialog.windowHandle(), Qt::Key_C, Qt::AltModifier);
        break;
    case Ending::CloseBox:
        dialog.close();
        break;
    }
}

} // namespace

// Lets a failed comparison show the values.
char* toString(const SettingValue& value)
{
    const QString kind = value.isEmpty()  ? QStringLiteral("empty")
                         : value.isText() ? QStringLiteral("text")
                                          : QStringLiteral("number");
    return QTest::toString(QStringLiteral("%1 \"%2\"").arg(kind, value.text()));
}

class tst_frmComm : public WidgetTestCase {
    Q_OBJECT

private slots:
    void layout_data();
    void layout();
    void windowIsResizableModelessAndSized();
    void tabOrderAndInitialFocus();
    void showsCurrentSettings_data();
    void showsCurrentSettings();
    void okStoresFields_data();
    void okStoresFields();
    void dismissingChangesNothing_data();
    void dismissingChangesNothing();
    void refusedEntries_data();
    void refusedEntries();

private:
    void setUp() override;
    std::unique_ptr<frmComm> openDialog();
};

void tst_frmComm::setUp()
{
    mdlMain::RemoteHost = SettingValue::fromText(QStringLiteral("car.lan"));
    mdlMain::RemotePort = SettingValue::fromText(QStringLiteral("1500"));
}

std::unique_ptr<frmComm> tst_frmComm::openDialog()
{
    auto dialog = std::make_unique<frmComm>();
    if (!activate(*dialog))
        qWarning("the dialog did not become active");
    return dialog;
}

void tst_frmComm::layout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("caption");

    QTest::newRow("lblRemoteHost") << "lblRemoteHost" << QRect(16, 8, 62, 13) << "Remote Host";
    QTest::newRow("txtRemoteHost") << "txtRemoteHost" << QRect(16, 24, 185, 19) << QString();
    QTest::newRow("lblRemotePort") << "lblRemotePort" << QRect(16, 48, 59, 13) << "Remote Port";
    QTest::newRow("txtRemotePort") << "txtRemotePort" << QRect(16, 64, 61, 19) << QString();
    QTest::newRow("cmdOK") << "cmdOK" << QRect(96, 72, 49, 33) << "&OK";
    QTest::newRow("cmdCancel") << "cmdCancel" << QRect(152, 72, 49, 33) << "&Cancel";
}

void tst_frmComm::layout()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, caption);

    const auto dialog = openDialog();
    QWidget* widget = control<QWidget>(*dialog, qPrintable(name));
    QCOMPARE(widget->parentWidget(), dialog.get());
    QVERIFY(widget->isVisible());
    QCOMPARE(widget->geometry(), geometry);
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        QCOMPARE(label->text(), caption);
        QCOMPARE(label->focusPolicy(), Qt::NoFocus);
    }
    if (auto* button = qobject_cast<QPushButton*>(widget))
        QCOMPARE(button->text(), caption);

    // Resizing moves and resizes nothing.
    dialog->resize(400, 300);
    QTRY_COMPARE(dialog->size(), QSize(400, 300));
    QCOMPARE(widget->geometry(), geometry);
}

void tst_frmComm::windowIsResizableModelessAndSized()
{
    const auto dialog = openDialog();
    const CommControls comm(*dialog);
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Velmora - Comm Port Settings"));
    QCOMPARE(dialog->size(), QSize(207, 113));
    QVERIFY(dialog->isWindow());
    QVERIFY(!dialog->isModal());
    QCOMPARE(dialog->windowModality(), Qt::NonModal);
    QVERIFY(dialog->minimumSize() != dialog->maximumSize());
    QVERIFY(!dialog->windowFlags().testFlag(Qt::MSWindowsFixedSizeDialogHint));
    QVERIFY(comm.cmdOK->isDefault());
    QVERIFY(!comm.cmdCancel->isDefault());
}

void tst_frmComm::tabOrderAndInitialFocus()
{
    const auto dialog = openDialog();
    const CommControls comm(*dialog);
    QCOMPARE(QApplication::focusWidget(), comm.cmdOK);

    const QList<QWidget*> order{comm.cmdCancel, comm.txtRemoteHost, comm.txtRemotePort, comm.cmdOK};
    for (QWidget* expected : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), expected);
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), comm.txtRemotePort);
}

void tst_frmComm::showsCurrentSettings_data()
{
    QTest::addColumn<SettingValue>("host");
    QTest::addColumn<SettingValue>("port");
    QTest::addColumn<QString>("hostText");
    QTest::addColumn<QString>("portText");

    QTest::newRow("texts from the file")
        << SettingValue::fromText("car.lan") << SettingValue::fromText("1500") << "car.lan"
        << "1500";
    QTest::newRow("number from an earlier OK")
        << SettingValue::fromText("Car.LAN ") << SettingValue::fromNumber(2000) << "Car.LAN "
        << "2000";
    QTest::newRow("keys missing from the file")
        << SettingValue() << SettingValue() << QString() << QString();
    QTest::newRow("port text that is no number")
        << SettingValue::fromText("car") << SettingValue::fromText("abc") << "car"
        << "abc";
}

void tst_frmComm::showsCurrentSettings()
{
    QFETCH(SettingValue, host);
    QFETCH(SettingValue, port);
    QFETCH(QString, hostText);
    QFETCH(QString, portText);

    mdlMain::RemoteHost = host;
    mdlMain::RemotePort = port;
    const auto dialog = openDialog();
    const CommControls comm(*dialog);
    QCOMPARE(comm.txtRemoteHost->text(), hostText);
    QCOMPARE(comm.txtRemotePort->text(), portText);
    // Merely opening and looking changes nothing.
    QCOMPARE(mdlMain::RemoteHost, host);
    QCOMPARE(mdlMain::RemotePort, port);
}

void tst_frmComm::okStoresFields_data()
{
    QTest::addColumn<Ending>("ending");
    QTest::addColumn<QString>("typedHost");
    QTest::addColumn<QString>("typedPort");
    QTest::addColumn<int>("port");

    QTest::newRow("click") << Ending::OkClick << "127.0.0.7"
                           << "2000" << 2000;
    QTest::newRow("fraction rounds down") << Ending::OkClick << "car"
                                          << "1500.9" << 1500;
    QTest::newRow("host kept as typed") << Ending::OkClick << "My.Car.LAN"
                                        << "80" << 80;
    QTest::newRow("Enter in the host field") << Ending::EnterInHost << "CAR"
                                             << "1" << 1;
    QTest::newRow("Enter in the port field") << Ending::EnterInPort << "car"
                                             << "65535" << 65535;
    QTest::newRow("Alt+O") << Ending::AltO << "car"
                           << " 2001 " << 2001;
}

void tst_frmComm::okStoresFields()
{
    QFETCH(Ending, ending);
    QFETCH(QString, typedHost);
    QFETCH(QString, typedPort);
    QFETCH(int, port);

    const auto dialog = openDialog();
    const CommControls comm(*dialog);
    QSignalSpy accepted(dialog.get(), &QDialog::accepted);
    comm.txtRemoteHost->setText(typedHost);
    comm.txtRemotePort->clear();
    QTest::keyClicks(comm.txtRemotePort, typedPort);

    end(*dialog, ending);

    // An access key shows the button pressed for a moment before it acts.
    QTRY_COMPARE(accepted.count(), 1);
    QVERIFY(!dialog->isVisible());
    QVERIFY(watcher().seen().isEmpty());
    QCOMPARE(mdlMain::RemoteHost, SettingValue::fromText(typedHost));
    // Stored as a whole number, not as the text typed.
    QVERIFY(mdlMain::RemotePort.isNumber());
    QCOMPARE(mdlMain::RemotePort.integerPart(), std::optional<qint64>(port));
    QCOMPARE(mdlMain::RemotePort.text(), QString::number(port));
}

void tst_frmComm::dismissingChangesNothing_data()
{
    QTest::addColumn<Ending>("ending");

    QTest::newRow("Cancel") << Ending::CancelClick;
    QTest::newRow("Esc") << Ending::Escape;
    QTest::newRow("Alt+C") << Ending::AltC;
    QTest::newRow("close box") << Ending::CloseBox;
}

void tst_frmComm::dismissingChangesNothing()
{
    QFETCH(Ending, ending);

    const SettingValue host = mdlMain::RemoteHost;
    const SettingValue port = mdlMain::RemotePort;
    const auto dialog = openDialog();
    const CommControls comm(*dialog);
    QSignalSpy accepted(dialog.get(), &QDialog::accepted);
    comm.txtRemoteHost->setText(QStringLiteral("elsewhere"));
    comm.txtRemotePort->setText(QStringLiteral("9999"));

    end(*dialog, ending);

    QTRY_VERIFY(!dialog->isVisible());
    QCOMPARE(accepted.count(), 0);
    QVERIFY(watcher().seen().isEmpty());
    QCOMPARE(mdlMain::RemoteHost, host);
    QCOMPARE(mdlMain::RemotePort, port);
}

void tst_frmComm::refusedEntries_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("hostField"); // which field gets the focus back

    const QString portMessage = QStringLiteral("Remote Port must be a number from 1 to 65535.");
    const QString emptyHost = QStringLiteral(
        "Remote Host must not be empty: enter the name or address of the car's router.");
    const QString controlHost = QStringLiteral(
        "Remote Host must not contain line breaks, tabs or other control characters.");

    QTest::newRow("empty port") << "car"
                                << "" << portMessage << false;
    QTest::newRow("port abc") << "car"
                              << "abc" << portMessage << false;
    QTest::newRow("port 0") << "car"
                            << "0" << portMessage << false;
    QTest::newRow("port -5") << "car"
                             << "-5" << portMessage << false;
    QTest::newRow("port 70000") << "car"
                                << "70000" << portMessage << false;
    QTest::newRow("empty host") << ""
                                << "1500" << emptyHost << true;
    QTest::newRow("host with a line break") << "car\r\nRemotePort=1"
                                            << "1500" << controlHost << true;
    QTest::newRow("host with a port") << "127.0.0.1:1500"
                                      << "1500"
                                      << "Remote Host takes the name or address alone, without "
                                         "a port: enter the port in Remote Port."
                                      << true;
    // Both wrong: the host, the upper field, is named first.
    QTest::newRow("both wrong") << ""
                                << "abc" << emptyHost << true;
}

void tst_frmComm::refusedEntries()
{
    QFETCH(QString, host);
    QFETCH(QString, port);
    QFETCH(QString, message);
    QFETCH(bool, hostField);

    const SettingValue oldHost = mdlMain::RemoteHost;
    const SettingValue oldPort = mdlMain::RemotePort;
    const auto dialog = openDialog();
    const CommControls comm(*dialog);
    QSignalSpy accepted(dialog.get(), &QDialog::accepted);
    comm.txtRemoteHost->setText(host);
    comm.txtRemotePort->setText(port);
    // The field keeps what was set, or the check below would test nothing.
    QCOMPARE(comm.txtRemoteHost->text(), host);

    QTest::mouseClick(comm.cmdOK, Qt::LeftButton);

    QCOMPARE(watcher().seen().size(), 1);
    const SeenMessage& seen = watcher().seen().first();
    QCOMPARE(seen.title, applicationTitle());
    QCOMPARE(seen.text, message);
    QCOMPARE(seen.icon, QMessageBox::Information);
    QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));

    QVERIFY(dialog->isVisible());
    QCOMPARE(accepted.count(), 0);
    QCOMPARE(comm.txtRemoteHost->text(), host);
    QCOMPARE(comm.txtRemotePort->text(), port);
    QCOMPARE(mdlMain::RemoteHost, oldHost);
    QCOMPARE(mdlMain::RemotePort, oldPort);
    QCOMPARE(dialog->focusWidget(), hostField ? comm.txtRemoteHost : comm.txtRemotePort);

    // Put right, the same dialog then takes the entry.
    comm.txtRemoteHost->setText(QStringLiteral("car"));
    comm.txtRemotePort->setText(QStringLiteral("1600"));
    QTest::mouseClick(comm.cmdOK, Qt::LeftButton);
    QCOMPARE(accepted.count(), 1);
    QCOMPARE(watcher().seen().size(), 1);
    QCOMPARE(mdlMain::RemotePort, SettingValue::fromNumber(1600));
}

QTEST_MAIN(tst_frmComm)
#include "tst_frmComm.moc"
