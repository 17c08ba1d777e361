#include "tools/carsim/CarsimText.h"
#include "tools/carsim/DriveDecoder.h"

#include <QHostAddress>
#include <QTest>

namespace {

// Bytes as they go on the wire, written with "|" for 0x00 so that rows stay
// readable: wire("2|5|") is 0x32 0x00 0x35 0x00.
QByteArray wire(const char* text)
{
    QByteArray bytes(text);
    bytes.replace('|', '\0');
    return bytes;
}

// Writes events compactly so a table row can state them: "2" a message,
// "x41" byte 0x41 where a code belongs, "3!41" code 3 followed by 0x41
// instead of 0x00, "3~" code 3 cut off by the end of the stream.
QString render(const QList<DecoderEvent>& events)
{
    QStringList parts;
    for (const DecoderEvent& e : events) {
        const QString hex = QStringLiteral("%1").arg(e.byte, 2, 16, QLatin1Char('0'));
        switch (e.kind) {
        case DecoderEvent::Kind::Message:
            parts << QString::number(e.code);
            break;
        case DecoderEvent::Kind::NotACode:
            parts << QLatin1Char('x') + hex;
            break;
        case DecoderEvent::Kind::MissingTerminator:
            parts << QString::number(e.code) + QLatin1Char('!') + hex;
            break;
        case DecoderEvent::Kind::PartialAtClose:
            parts << QString::number(e.code) + QLatin1Char('~');
            break;
        }
    }
    return parts.join(QLatin1Char(' '));
}

// Feeds `bytes` in pieces of the given sizes (the last piece takes the
// rest), then ends the stream.
QList<DecoderEvent> decodeInPieces(const QByteArray& bytes, const QList<qsizetype>& sizes)
{
    DriveDecoder decoder;
    QList<DecoderEvent> events;
    qsizetype at = 0;
    for (const qsizetype size : sizes) {
        events += decoder.feed(QByteArrayView(bytes).sliced(at, qMin(size, bytes.size() - at)));
        at = qMin(at + size, bytes.size());
    }
    events += decoder.feed(QByteArrayView(bytes).sliced(at));
    events += decoder.finish();
    return events;
}

} // namespace

class tst_CarsimDecoder : public QObject {
    Q_OBJECT

private slots:
    void decodesWhateverTheChunks_data();
    void decodesWhateverTheChunks();
    void finishStartsAfresh();
    void eventTexts();
    void timeAndEndpointTexts();
};

void tst_CarsimDecoder::decodesWhateverTheChunks_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");

    QTest::newRow("nothing") << wire("") << "";
    QTest::newRow("one message") << wire("2|") << "2";
    QTest::newRow("all nine codes") << wire("1|2|3|4|5|6|7|8|9|") << "1 2 3 4 5 6 7 8 9";
    QTest::newRow("letter between messages") << wire("2|A5|") << "2 x41 5";
    QTest::newRow("digit 0 is no code") << wire("0|") << "x30 x00";
    QTest::newRow("stray terminator") << wire("|5|") << "x00 5";
    QTest::newRow("high byte") << wire("\xff"
                                       "8|")
                               << "xff 8";
    QTest::newRow("code without terminator, next code kept") << wire("23|") << "2!33 3";
    QTest::newRow("code then junk") << wire("2A5|") << "2!41 x41 5";
    QTest::newRow("text line") << wire("2\n") << "2!0a x0a";
    QTest::newRow("partial at close") << wire("5|3") << "5 3~";
    QTest::newRow("junk then partial") << wire("Z9") << "x5a 9~";
}

void tst_CarsimDecoder::decodesWhateverTheChunks()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);

    QCOMPARE(render(decodeInPieces(bytes, {})), expected);
    QCOMPARE(render(decodeInPieces(bytes, QList<qsizetype>(bytes.size(), 1))), expected);
    for (qsizetype cut = 0; cut <= bytes.size(); ++cut)
        QCOMPARE(render(decodeInPieces(bytes, {cut})), expected);
    QCOMPARE(render(decodeInPieces(bytes, {3, 3, 3, 3})), expected);
}

void tst_CarsimDecoder::finishStartsAfresh()
{
    DriveDecoder decoder;
    QVERIFY(decoder.feed("4").isEmpty());
    QVERIFY(decoder.isMidMessage());
    QCOMPARE(render(decoder.finish()), QStringLiteral("4~"));
    QVERIFY(!decoder.isMidMessage());
    // The next stream's first 0x00 is not the end of the old message.
    QCOMPARE(render(decoder.feed(wire("|6|"))), QStringLiteral("x00 6"));
    QVERIFY(decoder.finish().isEmpty());
}

void tst_CarsimDecoder::eventTexts()
{
    const QStringList words{
        "forward, left",   "forward",       "forward, right", "left, no drive", "stop",
        "right, no drive", "reverse, left", "reverse",        "reverse, right",
    };
    for (int code = 1; code <= 9; ++code) {
        QCOMPARE(motionWords(code), words.at(code - 1));
        QCOMPARE(describeEvent({DecoderEvent::Kind::Message, code, 0}),
                 QString::number(code) + QLatin1Char(' ') + words.at(code - 1));
    }
    for (const int notACode : {0, 10, -1})
        QVERIFY(motionWords(notACode).isEmpty());

    // Bytes are shown in two hex digits, with the character only when it
    // can be printed.
    QCOMPARE(describeEvent({DecoderEvent::Kind::NotACode, 0, 0x0a}),
             QStringLiteral("malformed: byte 0x0a where a code belongs"));
    QCOMPARE(describeEvent({DecoderEvent::Kind::MissingTerminator, 3, '~'}),
             QStringLiteral("malformed: code 3 not followed by 0x00 (got 0x7e '~')"));
}

void tst_CarsimDecoder::timeAndEndpointTexts()
{
    QCOMPARE(stampedLine(QTime(13, 2, 3, 4), QStringLiteral("5 stop")),
             QStringLiteral("13:02:03.004 5 stop"));
    QCOMPARE(endpointText(QHostAddress(QStringLiteral("127.0.0.1")), 1500),
             QStringLiteral("127.0.0.1:1500"));
    QCOMPARE(endpointText(QHostAddress(QStringLiteral("::ffff:127.0.0.1")), 40000),
             QStringLiteral("127.0.0.1:40000"));
    QCOMPARE(endpointText(QHostAddress(QStringLiteral("::1")), 1500), QStringLiteral("[::1]:1500"));
}

QTEST_GUILESS_MAIN(tst_CarsimDecoder)
#include "tst_CarsimDecoder.moc"
