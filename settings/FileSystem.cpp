#include "settings/FileSystem.h"

bool FileSystem::fileExists(const QString&) const
{
    return false;
}

std::optional<QByteArray> FileSystem::readFile(const QString&, QString*) const
{
    return {};
}

bool FileSystem::replaceFile(const QString&, const QByteArray&, QString*) const
{
    return false;
}
