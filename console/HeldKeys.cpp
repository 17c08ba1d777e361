#include "console/HeldKeys.h"

quint16 HeldKeys::press(quint32 scanCode, quint16 code)
{
    if (scanCode == 0)
        return code;
    for (const Key& key : std::as_const(m_keys)) {
        if (key.scanCode == scanCode)
            return key.code;
    }
    m_keys.append({scanCode, code});
    return code;
}

quint16 HeldKeys::release(quint32 scanCode, quint16 code)
{
    if (scanCode == 0)
        return code;
    for (qsizetype i = 0; i < m_keys.size(); ++i) {
        if (m_keys.at(i).scanCode == scanCode)
            return m_keys.takeAt(i).code;
    }
    return code;
}

quint16 HeldKeys::codeOf(quint32 scanCode) const
{
    for (const Key& key : m_keys) {
        if (key.scanCode == scanCode)
            return key.code;
    }
    return 0;
}

QList<quint16> HeldKeys::codes() const
{
    QList<quint16> result;
    result.reserve(m_keys.size());
    for (const Key& key : m_keys)
        result.append(key.code);
    return result;
}
