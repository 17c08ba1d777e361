// The key map and the key translation, without a window.
#include "console/DriveState.h"
#include "console/KeyTranslation.h"

#include <QTest>

namespace {

struct Step {
    quint16 key;
    KeyTransition transition;
};

Step down(quint16 key)
{
    return {key, KeyTransition::Down};
}

Step up(quint16 key)
{
    return {key, KeyTransition::Up};
}

// The drive code after each step, as a string of digits.
QString codesAfter(std::initializer_list<Step> steps)
{
    DriveState state;
    QString codes;
    for (const Step& step : steps) {
        applyDriveKey(state, step.key, step.transition);
        codes += QString::number(driveCode(state));
    }
    return codes;
}

} // namespace

class tst_DriveKeys : public QObject {
    Q_OBJECT

private slots:
    void codeTable();
    void eachKeyDownAndUp_data();
    void eachKeyDownAndUp();
    void lastEventWins();
    void keysThatDoNotDrive();
    void translation_data();
    void translation();
};

void tst_DriveKeys::codeTable()
{
    // Top row forward, left column left: keypad 7 is code 1, keypad 1 code 7.
    for (qint16 throttle = 0; throttle < 3; ++throttle) {
        for (qint16 steering = 0; steering < 3; ++steering)
            QCOMPARE(driveCode({throttle, steering}), throttle * 3 + steering + 1);
    }
    QCOMPARE(driveCode(DriveState{}), 5);
}

void tst_DriveKeys::eachKeyDownAndUp_data()
{
    QTest::addColumn<quint16>("key");
    QTest::addColumn<int>("codeDown");
    QTest::addColumn<int>("codeUp");
    QTest::newRow("Left") << VirtualKey::Left << 4 << 5;
    QTest::newRow("keypad 4") << VirtualKey::Numpad4 << 4 << 5;
    QTest::newRow("Right") << VirtualKey::Right << 6 << 5;
    QTest::newRow("keypad 6") << VirtualKey::Numpad6 << 6 << 5;
    QTest::newRow("Up") << VirtualKey::Up << 2 << 5;
    QTest::newRow("keypad 8") << VirtualKey::Numpad8 << 2 << 5;
    QTest::newRow("Down") << VirtualKey::Down << 8 << 5;
    QTest::newRow("keypad 2") << VirtualKey::Numpad2 << 8 << 5;
    QTest::newRow("keypad 5") << VirtualKey::Numpad5 << 5 << 5;
    QTest::newRow("keypad 7") << VirtualKey::Numpad7 << 1 << 5;
    QTest::newRow("keypad 9") << VirtualKey::Numpad9 << 3 << 5;
    QTest::newRow("keypad 1") << VirtualKey::Numpad1 << 7 << 5;
    QTest::newRow("keypad 3") << VirtualKey::Numpad3 << 9 << 5;
}

void tst_DriveKeys::eachKeyDownAndUp()
{
    QFETCH(quint16, key);
    QFETCH(int, codeDown);
    QFETCH(int, codeUp);
    DriveState state;
    QVERIFY(applyDriveKey(state, key, KeyTransition::Down));
    QCOMPARE(driveCode(state), codeDown);
    QVERIFY(applyDriveKey(state, key, KeyTransition::Up));
    QCOMPARE(driveCode(state), codeUp);
}

void tst_DriveKeys::lastEventWins()
{
    using namespace VirtualKey;
    // Up held, Left pressed, Left released, Up released.
    QCOMPARE(codesAfter({down(Up), down(Left), up(Left), up(Up)}), QStringLiteral("2125"));
    // A single-axis key leaves the other axis alone.
    QCOMPARE(codesAfter({down(Down), down(Right), up(Down)}), QStringLiteral("896"));
    // Left held, Right pressed and released: straight, although Left is held.
    QCOMPARE(codesAfter({down(Left), down(Right), up(Right)}), QStringLiteral("465"));
    // Releasing keypad 9 stops both axes even with an arrow still held.
    QCOMPARE(codesAfter({down(Up), down(Numpad9), up(Numpad9)}), QStringLiteral("235"));
    // Auto-repeat: repeated presses keep the same code.
    QCOMPARE(codesAfter({down(Up), down(Up), down(Up), up(Up)}), QStringLiteral("2225"));
    // Keypad 5 stops everything, on press as on release.
    QCOMPARE(codesAfter({down(Numpad7), down(Numpad5), up(Numpad5)}), QStringLiteral("155"));
}

void tst_DriveKeys::keysThatDoNotDrive()
{
    const quint16 others[] = {0, VirtualKey::Numpad0, 12, 13, 32, 48, 56, 65, 106, 107, 36, 33};
    for (quint16 key : others) {
        DriveState state{Drive::Forward, Drive::Left};
        QVERIFY2(!applyDriveKey(state, key, KeyTransition::Down), qPrintable(QString::number(key)));
        QVERIFY(!applyDriveKey(state, key, KeyTransition::Up));
        QCOMPARE(state, (DriveState{Drive::Forward, Drive::Left}));
    }
}

void tst_DriveKeys::translation_data()
{
    QTest::addColumn<int>("qtKey");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<int>("code");
    const Qt::KeyboardModifiers none = Qt::NoModifier;
    const Qt::KeyboardModifiers keypad = Qt::KeypadModifier;
    QTest::newRow("Left") << int(Qt::Key_Left) << none << 37;
    QTest::newRow("Up") << int(Qt::Key_Up) << none << 38;
    QTest::newRow("Right") << int(Qt::Key_Right) << none << 39;
    QTest::newRow("Down") << int(Qt::Key_Down) << none << 40;
    QTest::newRow("Up with Shift+Ctrl+Alt")
        << int(Qt::Key_Up)
        << Qt::KeyboardModifiers(Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier) << 38;
    // Keypad digits with Num Lock on.
    QTest::newRow("keypad 0") << int(Qt::Key_0) << keypad << 96;
    QTest::newRow("keypad 1") << int(Qt::Key_1) << keypad << 97;
    QTest::newRow("keypad 5") << int(Qt::Key_5) << keypad << 101;
    QTest::newRow("keypad 9") << int(Qt::Key_9) << keypad << 105;
    QTest::newRow("keypad 7 with Shift")
        << int(Qt::Key_7) << Qt::KeyboardModifiers(Qt::KeypadModifier | Qt::ShiftModifier) << 103;
    // The digit row above the letters is not the keypad.
    QTest::newRow("digit row 8") << int(Qt::Key_8) << none << 56;
    QTest::newRow("digit row 0") << int(Qt::Key_0) << none << 48;
    // Num Lock off: the keypad's arrows are arrows, keypad 5 is Clear.
    QTest::newRow("keypad 8, Num Lock off") << int(Qt::Key_Up) << keypad << 38;
    QTest::newRow("keypad 4, Num Lock off") << int(Qt::Key_Left) << keypad << 37;
    QTest::newRow("keypad 5, Num Lock off") << int(Qt::Key_Clear) << keypad << 12;
    QTest::newRow("keypad 3, Num Lock off") << int(Qt::Key_PageDown) << keypad << 34;
    QTest::newRow("keypad plus") << int(Qt::Key_Plus) << keypad << 107;
    QTest::newRow("letter A") << int(Qt::Key_A) << none << 65;
    QTest::newRow("F1") << int(Qt::Key_F1) << none << 112;
    QTest::newRow("plus on the main keyboard") << int(Qt::Key_Plus) << none << 0;
    QTest::newRow("unknown key") << int(Qt::Key_LaunchMail) << none << 0;
}

void tst_DriveKeys::translation()
{
    QFETCH(int, qtKey);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(int, code);
    QCOMPARE(int(toVirtualKey(qtKey, modifiers)), code);
}

QTEST_APPLESS_MAIN(tst_DriveKeys)
#include "tst_DriveKeys.moc"
