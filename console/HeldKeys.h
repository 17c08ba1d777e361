#pragma once

#include <QList>
#include <QtGlobal>

// The keys held down, by the physical key (the platform's scan code), each
// with the virtual-key code it had when it went down, in the order they went
// down. A key's meaning can change while it is held: with Num Lock on,
// Shift turns keypad 7 into Home. Matching the release to the press by the
// physical key keeps such a release from being lost.
//
// Scan code 0 means the platform did not say which key it was; such keys
// are not remembered and their releases keep the code they arrive with.
class HeldKeys {
public:
    // The code a press stands for: a key already held keeps the code it went
    // down with, so its repeats mean what its first press meant.
    quint16 press(quint32 scanCode, quint16 code);
    // The code the key's press stood for, or `code` when its press was not
    // seen; the key is forgotten.
    quint16 release(quint32 scanCode, quint16 code);

    // Forgets every key that isDown(scanCode, code) says is up now.
    template <typename IsDown> void keepOnly(IsDown isDown)
    {
        m_keys.removeIf([&](const Key& key) { return !isDown(key.scanCode, key.code); });
    }
    void clear() { m_keys.clear(); }
    // The code the held key's press stood for; 0 when it is not held.
    quint16 codeOf(quint32 scanCode) const;
    // The codes of the held keys, oldest press first.
    QList<quint16> codes() const;

private:
    struct Key {
        quint32 scanCode = 0;
        quint16 code = 0;
    };
    QList<Key> m_keys;
};
