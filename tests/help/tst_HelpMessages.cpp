#include "console/frmMain.h"
#include "help/Version.h"
#include "support/WidgetTestCase.h"

#include <QAction>
#include <QTest>

class tst_HelpMessages : public WidgetTestCase {
    Q_OBJECT

private slots:
    void menuShowsMessage_data();
    void menuShowsMessage();
};

void tst_HelpMessages::menuShowsMessage_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("text");

    QTest::newRow("How to use")
        << "mnuHowToUse"
        << "This program is intended for use with the WiFi Krellan.\r\n"
           "Use the Settings menu to configure the program, then use the arrow or numpad keys to "
           "drive the car.\r\n"
           "\r\n"
           "This program can drive any router that supports OpenWrt and is running the gatrix "
           "program, available at https://velmora.example.org/ .";
    QTest::newRow("About") << "mnuAbout"
                           << "WiFi Krellan Driver v" VELMORA_VERSION "\r\n"
                              "Created by the Velmora developers\r\n"
                              "For more information, visit: https://velmora.example.org/";
}

void tst_HelpMessages::menuShowsMessage()
{
    QFETCH(QString, item);
    QFETCH(QString, text);

    const auto window = openMainWindow(dir(), Loopback, QStringLiteral("1500"));
    QAction* action = control<QAction>(*window, qPrintable(item));

    // The box is modal: the command returns only once the box is closed.
    action->trigger();
    QCOMPARE(watcher().seen().size(), 1);
    QVERIFY(!watcher().isBoxOpen());

    const SeenMessage& seen = watcher().seen().first();
    QCOMPARE(seen.title, QStringLiteral("Velmora v" VELMORA_VERSION));
    QCOMPARE(seen.icon, QMessageBox::Information);
    QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(seen.text, text);
}

QTEST_MAIN(tst_HelpMessages)
#include "tst_HelpMessages.moc"
