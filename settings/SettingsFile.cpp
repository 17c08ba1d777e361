#include "settings/SettingsFile.h"

SettingsRead parseSettingsFile(const QByteArray&)
{
    return {};
}

QByteArray formatSettingsFile(const QString&, const QString&)
{
    return {};
}
