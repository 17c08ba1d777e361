#include "settings/SettingValue.h"

SettingValue SettingValue::fromText(const QString& text)
{
    SettingValue v;
    v.m_value = text;
    return v;
}

SettingValue SettingValue::fromNumber(double number)
{
    SettingValue v;
    v.m_value = number;
    return v;
}

QString SettingValue::text() const
{
    return {};
}

std::optional<qint64> SettingValue::integerPart() const
{
    return {};
}

std::optional<double> parseDecimal(QStringView)
{
    return {};
}
