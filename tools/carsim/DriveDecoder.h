#pragma once

#include <QByteArrayView>
#include <QList>

// One thing the decoder found in the byte stream from a client.
struct DecoderEvent {
    enum class Kind {
        Message,           // a whole message: code, then 0x00
        NotACode,          // `byte` stood where a code belongs
        MissingTerminator, // `code` was followed by `byte` instead of 0x00
        PartialAtClose,    // the stream ended after `code`, before its 0x00
    };

    Kind kind = Kind::Message;
    int code = 0;
    unsigned char byte = 0;

    bool isMalformed() const { return kind != Kind::Message; }
    bool operator==(const DecoderEvent&) const = default;
};

// Splits a client's byte stream into two-byte drive messages: one ASCII digit
// "1" to "9", then 0x00. Knows nothing about sockets, so the same bytes give
// the same events however they are cut into chunks.
class DriveDecoder {
public:
    QList<DecoderEvent> feed(QByteArrayView bytes);
    // The stream has ended: reports a message that was begun but not
    // finished, and starts afresh.
    QList<DecoderEvent> finish();

    bool isMidMessage() const { return m_pendingCode != 0; }

private:
    void takeByte(unsigned char byte, QList<DecoderEvent>& events);

    // The code waiting for its 0x00, or 0 between messages.
    int m_pendingCode = 0;
};
