// Saving and reading the settings file through FileSystem, with real faults:
// a full disk and a read-only file system, made on a tiny tmpfs mounted in
// this process's own mount namespace (needs root on Linux; skipped otherwise).

#include "settings/FileSystem.h"
#include "settings/SettingsFile.h"
#include "support/ScratchDisk.h"

#include <QDir>
#include <QFile>
#include <QObject>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {

const QByteArray OldContents = formatSettingsFile(QStringLiteral("1500"), QStringLiteral("car"));
const QByteArray NewContents = formatSettingsFile(QStringLiteral("2000"), QStringLiteral("boat"));

QByteArray readAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArrayLiteral("<unreadable>");
    return file.readAll();
}

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}

QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

class tst_SettingsSave : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void replaceWritesNewContentsAndLeavesNoTemporary_data();
    void replaceWritesNewContentsAndLeavesNoTemporary();
    void replaceRefusesWithoutTouchingOldFile_data();
    void replaceRefusesWithoutTouchingOldFile();
    void readFile();
    void fullDiskKeepsOldFile_data();
    void fullDiskKeepsOldFile();
    void readOnlyFileSystemKeepsOldFile();

private:
    // A fresh tmpfs of `size`; its path, or empty after QSKIP/QFAIL.
    QString mountScratch(const char* size);

    QString m_whyNoNamespace;
    std::unique_ptr<QTemporaryDir> m_mountPoint;
};

void tst_SettingsSave::initTestCase()
{
    // Only this (main) thread moves to the new namespace, which is where all
    // file work in this test happens. Mount changes stay private to it and
    // vanish with the process.
    m_whyNoNamespace = ScratchDisk::enterOwnMountNamespace();
}

void tst_SettingsSave::cleanup()
{
    if (m_mountPoint)
        ScratchDisk::unmount(m_mountPoint->path());
    m_mountPoint.reset();
}

QString tst_SettingsSave::mountScratch(const char* size)
{
    if (!m_whyNoNamespace.isEmpty()) {
        QTest::qSkip(qPrintable(m_whyNoNamespace), __FILE__, __LINE__);
        return {};
    }
    m_mountPoint = std::make_unique<QTemporaryDir>();
    if (!m_mountPoint->isValid()) {
        QTest::qFail("cannot make a mount point", __FILE__, __LINE__);
        return {};
    }
    const QString why = ScratchDisk::mount(m_mountPoint->path(), size);
    if (!why.isEmpty()) {
        m_mountPoint.reset();
        QTest::qSkip(qPrintable(why), __FILE__, __LINE__);
        return {};
    }
    return m_mountPoint->path() + QLatin1Char('/');
}

void tst_SettingsSave::replaceWritesNewContentsAndLeavesNoTemporary_data()
{
    QTest::addColumn<bool>("oldFileThere");
    QTest::newRow("first save") << false;
    QTest::newRow("over an old file") << true;
}

void tst_SettingsSave::replaceWritesNewContentsAndLeavesNoTemporary()
{
    QFETCH(bool, oldFileThere);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(settingsFileName());
    if (oldFileThere)
        QVERIFY(writeAll(path, OldContents + OldContents));

    QString error;
    QVERIFY2(FileSystem().replaceFile(path, NewContents, &error), qPrintable(error));
    // Shorter than what was there: nothing of the old file may trail behind.
    QCOMPARE(readAll(path), NewContents);
    QCOMPARE(entries(dir.path()), QStringList{settingsFileName()});
}

void tst_SettingsSave::replaceRefusesWithoutTouchingOldFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("read-only file") << "read-only";
    QTest::newRow("name is a folder") << "folder";
    QTest::newRow("folder missing") << "missing";
    QTest::newRow("held open by another program") << "held";
}

void tst_SettingsSave::replaceRefusesWithoutTouchingOldFile()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString path = dir.filePath(settingsFileName());
    if (kind == QLatin1String("read-only")) {
        QVERIFY(writeAll(path, OldContents));
        // Root may write anyway, but a file the user protected stays as it is.
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    } else if (kind == QLatin1String("folder")) {
        QVERIFY(QDir(dir.path()).mkdir(settingsFileName()));
        QVERIFY(writeAll(path + QStringLiteral("/inside"), OldContents));
    } else if (kind == QLatin1String("missing")) {
        path = dir.filePath(QStringLiteral("no-such-folder/") + settingsFileName());
    } else {
#ifndef Q_OS_WIN
        QSKIP("only Windows keeps an open file from being replaced");
#endif
        QVERIFY(writeAll(path, OldContents));
    }
    // Windows refuses the rename over a file that is open without leave to
    // delete it, as an editor holds it; who holds it makes no difference.
    QFile holder(path);
    if (kind == QLatin1String("held"))
        QVERIFY(holder.open(QIODevice::ReadOnly));
    const QStringList before = entries(dir.path());

    QString error;
    QVERIFY(!FileSystem().replaceFile(path, NewContents, &error));
    QVERIFY2(!error.trimmed().isEmpty(), "a failure must say why");
    QCOMPARE(entries(dir.path()), before);
    if (kind == QLatin1String("read-only") || kind == QLatin1String("held"))
        QCOMPARE(readAll(path), OldContents);
    if (kind == QLatin1String("folder"))
        QCOMPARE(readAll(path + QStringLiteral("/inside")), OldContents);
}

void tst_SettingsSave::readFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const FileSystem fs;
    const QString path = dir.filePath(settingsFileName());
    QString error;

    QVERIFY(!fs.fileExists(path));
    QVERIFY(!fs.readFile(path, &error));
    QVERIFY(!error.isEmpty());

    QByteArray binary = OldContents;
    binary.append('\0').append("\xff\r\n");
    QVERIFY(writeAll(path, binary));
    QVERIFY(fs.fileExists(path));
    error.clear();
    QCOMPARE(fs.readFile(path, &error), std::optional<QByteArray>(binary));
    QVERIFY(error.isEmpty());

    // A folder under the settings file's name is there, but cannot be read.
    QVERIFY(QFile::remove(path));
    QVERIFY(QDir(dir.path()).mkdir(settingsFileName()));
    QVERIFY(fs.fileExists(path));
    QVERIFY(!fs.readFile(path, &error));
    QVERIFY(!error.isEmpty());
}

void tst_SettingsSave::fullDiskKeepsOldFile_data()
{
    QTest::addColumn<qint64>("leaveFree");
    QTest::addColumn<int>("newSize");

    // A small file sits in the write buffer until it is flushed, which is
    // where a full disk must be noticed.
    QTest::newRow("nothing free, settings-sized") << qint64(0) << 0;
    QTest::newRow("one block free, file fits the buffer") << qint64(4096) << 6000;
    QTest::newRow("one block free, file beyond the buffer") << qint64(4096) << 20000;
    QTest::newRow("nothing free, beyond the buffer") << qint64(0) << 200000;
}

void tst_SettingsSave::fullDiskKeepsOldFile()
{
    QFETCH(qint64, leaveFree);
    QFETCH(int, newSize);
    const QString dir = mountScratch("64k");
    if (dir.isEmpty())
        return;
    const QString path = dir + settingsFileName();
    QVERIFY(writeAll(path, OldContents));
    QCOMPARE(ScratchDisk::fill(dir + QStringLiteral("filler"), leaveFree), QString());
    const QStringList before = entries(dir);

    QByteArray contents = NewContents;
    if (newSize > 0)
        contents = formatSettingsFile(QStringLiteral("1"), QString(newSize, QLatin1Char('h')));

    QString error;
    QVERIFY(!FileSystem().replaceFile(path, contents, &error));
    QVERIFY2(!error.trimmed().isEmpty(), "a full disk must be reported with a reason");
    QCOMPARE(readAll(path), OldContents);
    // No half-written temporary file is left to fill the disk further.
    QCOMPARE(entries(dir), before);
}

void tst_SettingsSave::readOnlyFileSystemKeepsOldFile()
{
    const QString dir = mountScratch("64k");
    if (dir.isEmpty())
        return;
    const QString path = dir + settingsFileName();
    QVERIFY(writeAll(path, OldContents));
    QCOMPARE(ScratchDisk::makeReadOnly(m_mountPoint->path()), QString());

    QString error;
    QVERIFY(!FileSystem().replaceFile(path, NewContents, &error));
    QVERIFY2(!error.trimmed().isEmpty(), "a read-only file system must be reported with a reason");
    QCOMPARE(readAll(path), OldContents);
    QCOMPARE(entries(dir), QStringList{settingsFileName()});
    // Reading still works there.
    QCOMPARE(FileSystem().readFile(path, &error), std::optional<QByteArray>(OldContents));
}

QTEST_GUILESS_MAIN(tst_SettingsSave)
#include "tst_SettingsSave.moc"
