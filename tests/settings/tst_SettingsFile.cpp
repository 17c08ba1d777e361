#include "settings/SettingsFile.h"
#include "settings/mdlMain.h"

#include <QObject>
#include <QRandomGenerator>
#include <QTest>
#include <optional>

using OptText = std::optional<QString>;
Q_DECLARE_METATYPE(OptText)

class tst_SettingsFile : public QObject {
    Q_OBJECT

private slots:
    void grammar_data();
    void grammar();
    void junkNeverCrashes_data();
    void junkNeverCrashes();
    void megabyteLine();
    void writtenBytes();
    void latin1BothWays();
};

void tst_SettingsFile::grammar_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<OptText>("port");
    QTest::addColumn<OptText>("host");

    const OptText unset;
    QTest::newRow("empty file") << QByteArray() << unset << unset;
    QTest::newRow("both keys") << QByteArray("RemotePort=1500\r\nRemoteHost=car\r\n")
                               << OptText("1500") << OptText("car");
    QTest::newRow("mixed case and spaces")
        << QByteArray("  rEmOtEhOsT  =   MyCar.LOCAL   \r\n") << unset << OptText("mycar.local");
    QTest::newRow("apostrophe comment") << QByteArray("'remotehost=evil\r\n") << unset << unset;
    QTest::newRow("space before apostrophe")
        << QByteArray(" 'remotehost=evil\r\n") << unset << unset;
    QTest::newRow("only the port") << QByteArray("remoteport=2000\r\n") << OptText("2000") << unset;
    QTest::newRow("value keeps later equals")
        << QByteArray("RemoteHost=a=b==c \r\n") << unset << OptText("a=b==c");
    QTest::newRow("empty value is set, not unset")
        << QByteArray("RemotePort=\r\nRemoteHost=   \r\n") << OptText("") << OptText("");
    QTest::newRow("last line wins")
        << QByteArray("RemotePort=1\r\nRemoteHost=first\r\nRemotePort=2\r\nRemoteHost=second\r\n")
        << OptText("2") << OptText("second");
    QTest::newRow("order does not matter")
        << QByteArray("RemoteHost=h\r\nRemotePort=9\r\n") << OptText("9") << OptText("h");
    QTest::newRow("LF only") << QByteArray("RemotePort=7\nRemoteHost=h\n") << OptText("7")
                             << OptText("h");
    QTest::newRow("no final line end")
        << QByteArray("RemotePort=7\r\nRemoteHost=h") << OptText("7") << OptText("h");
    QTest::newRow("no final line end after CR")
        << QByteArray("RemoteHost=h\r") << unset << OptText("h");
    QTest::newRow("tabs are not trimmed")
        << QByteArray("RemoteHost=\thost\t\r\n\tRemotePort=1\r\n") << unset << OptText("\thost\t");
    QTest::newRow("lone CR stays in the value")
        << QByteArray("RemoteHost=a\rb\r\n") << unset << OptText("a\rb");
    QTest::newRow("unknown key and no equals")
        << QByteArray("Remote Host=x\r\nRemotePort 5\r\nport=3\r\n") << unset << unset;
    QTest::newRow("written file's comments")
        << formatSettingsFile("1500", "car") << OptText("1500") << OptText("car");
    QTest::newRow("UTF-8 byte-order mark before the first key")
        << QByteArray("\xEF\xBB\xBFRemotePort=1500\r\nRemoteHost=car\r\n") << OptText("1500")
        << OptText("car");
    QTest::newRow("blank lines") << QByteArray("\r\n\n\r\nRemotePort=4\r\n\r\n") << OptText("4")
                                 << unset;
    static const char withNuls[] = "RemoteHost=a\0b\r\nRemote\0Port=1\r\n";
    QTest::newRow("NUL bytes") << QByteArray(withNuls, sizeof withNuls - 1) << unset
                               << OptText(QString::fromLatin1("a\0b", 3));
}

void tst_SettingsFile::grammar()
{
    QFETCH(QByteArray, file);
    QFETCH(OptText, port);
    QFETCH(OptText, host);
    const SettingsRead read = parseSettingsFile(file);
    QCOMPARE(read.remotePort, port);
    QCOMPARE(read.remoteHost, host);
}

void tst_SettingsFile::junkNeverCrashes_data()
{
    QTest::addColumn<quint32>("seed");
    for (quint32 seed : {1u, 2u, 3u, 42u, 1234u})
        QTest::addRow("seed %u", seed) << seed;
}

void tst_SettingsFile::junkNeverCrashes()
{
    QFETCH(quint32, seed);
    QRandomGenerator random(seed);
    QByteArray junk(64 * 1024, '\0');
    for (char& byte : junk)
        byte = char(random.bounded(256));
    // Junk around a real setting must not disturb it.
    junk.append("\nRemoteHost=found\n");
    const SettingsRead read = parseSettingsFile(junk);
    QCOMPARE(read.remoteHost, OptText("found"));
}

void tst_SettingsFile::megabyteLine()
{
    QByteArray file = "RemoteHost=" + QByteArray(1024 * 1024, 'A') + "\r\nRemotePort=1500";
    const SettingsRead read = parseSettingsFile(file);
    QVERIFY(read.remoteHost);
    QCOMPARE(read.remoteHost->size(), 1024 * 1024);
    QCOMPARE(read.remoteHost->front(), QLatin1Char('a'));
    QCOMPARE(read.remotePort, OptText("1500"));
}

void tst_SettingsFile::writtenBytes()
{
    // The default host is written as any other; nothing here connects.
    QCOMPARE(formatSettingsFile(QStringLiteral("1500"), mdlMain::DefaultHost()),
             QByteArray("' Hi y'all! I'm writing this program and I got bored.\r\n"
                        "' So i'm writing this 2-line blurb. The end. (Make that 4-line.)\r\n"
                        "RemotePort=1500\r\n"
                        "RemoteHost=") +
                 mdlMain::DefaultHost().toLatin1() + "\r\n");
}

void tst_SettingsFile::latin1BothWays()
{
    const QString host = QString::fromUtf8("Caf\u00e9-\u00c5se");
    const QByteArray bytes = formatSettingsFile(QStringLiteral("1"), host);
    // One byte per character, no byte-order mark.
    QVERIFY(bytes.contains("RemoteHost=Caf\xe9-\xc5se\r\n"));
    QVERIFY(!bytes.startsWith("\xef\xbb\xbf"));
    QCOMPARE(parseSettingsFile(bytes).remoteHost, OptText(QString::fromUtf8("caf\u00e9-\u00e5se")));
}

QTEST_GUILESS_MAIN(tst_SettingsFile)
#include "tst_SettingsFile.moc"
