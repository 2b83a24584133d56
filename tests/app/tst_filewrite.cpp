// Writing a file whole or not at all: a full disk, a missing folder or a
// folder in the way leave no partial file and keep what was there before.

#include "app/filewrite.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

// Caps the size of the files this process may write, as a full disk does.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_signal = std::signal(SIGXFSZ, SIG_IGN); // the write fails instead of the process
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        m_active = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_signal);
    }
    bool active() const { return m_active; }

private:
    rlimit m_saved{};
    void (*m_signal)(int) = nullptr;
    bool m_active = false;
};

QByteArray bytesOf(int size, char seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char(seed + i * 7);
    return bytes;
}

} // namespace

class TestFileWrite : public QObject
{
    Q_OBJECT
private slots:
    void wholeOrNothing_data()
    {
        QTest::addColumn<QString>("target");    // relative to a fresh folder
        QTest::addColumn<QByteArray>("before"); // what the target holds first; null: nothing
        QTest::addColumn<int>("limit");         // bytes a file may have; 0: no limit
        QTest::addColumn<QString>("reason");    // empty: the write succeeds
        const QByteArray none;
        QTest::newRow("new file") << "a.png" << none << 0 << QString();
        QTest::newRow("replaces an earlier file") << "a.png" << bytesOf(50000, 3) << 0 << QString();
        QTest::newRow("empty file") << "empty.png" << none << 0 << QString();
        QTest::newRow("disk full before the last bytes")
            << "a.png" << none << 9000 << "the file is too large for the disk";
        QTest::newRow("disk full keeps the earlier file")
            << "a.png" << bytesOf(500, 9) << 9000 << "the file is too large for the disk";
        QTest::newRow("missing folder")
            << "missing/a.png" << none << 0 << "the folder does not exist; choose another output directory";
        QTest::newRow("folder in the way") << "folder" << none << 0 << "a folder of that name is in the way";
    }
    void wholeOrNothing()
    {
        QFETCH(QString, target);
        QFETCH(QByteArray, before);
        QFETCH(int, limit);
        QFETCH(QString, reason);
        QTemporaryDir directory;
        QVERIFY(QDir(directory.path()).mkdir("folder"));
        const QString path = directory.filePath(target);
        if (!before.isNull()) {
            QFile earlier(path);
            QVERIFY(earlier.open(QIODevice::WriteOnly));
            QCOMPARE(earlier.write(before), qint64(before.size()));
        }
        const QByteArray bytes = target == "empty.png" ? QByteArray("") : bytesOf(20000, 1);
        const QStringList filesBefore =
            QDir(directory.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);

        QString why = "untouched";
        bool written = false;
        {
            FileSizeLimit cap(limit > 0 ? rlim_t(limit) : RLIM_INFINITY);
            QVERIFY(cap.active());
            written = writeFileAtomically(path, bytes, &why);
        }
        QCOMPARE(written, reason.isEmpty());
        if (written) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), bytes);
            // Readable as any file the user writes, not kept to the owner.
            QVERIFY(file.permissions() & QFileDevice::ReadGroup);
            QCOMPARE(why, QString("untouched"));
        } else {
            QCOMPARE(why, reason);
            if (before.isNull()) {
                QVERIFY(!QFileInfo(path).isFile());
            } else {
                QFile file(path);
                QVERIFY(file.open(QIODevice::ReadOnly));
                QCOMPARE(file.readAll(), before);
            }
        }
        // No temporary file is left behind, hidden or not.
        QStringList expected = filesBefore;
        if (written && before.isNull())
            expected << QFileInfo(path).fileName();
        expected.sort();
        QCOMPARE(QDir(directory.path())
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
                 expected);
    }
};

QTEST_GUILESS_MAIN(TestFileWrite)
#include "tst_filewrite.moc"
