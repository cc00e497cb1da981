#include "TestFiles.h"
#include "storage/SaveFile.h"

#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool save(const QString& path, const QByteArray& bytes) {
    SaveFile file(path.toStdString());
    if (!file.open())
        return false;
    file.stream().write(bytes.constData(), bytes.size());
    return file.commit();
}

mode_t modeOf(const QString& path) {
    struct stat st {};
    ::lstat(path.toLocal8Bit().constData(), &st);
    return st.st_mode;
}

// Sets the umask for one test and puts the old one back.
class Umask {
public:
    explicit Umask(mode_t mask) : m_old(::umask(mask)) {}
    ~Umask() { ::umask(m_old); }

private:
    mode_t m_old;
};

} // namespace

// Replacing a file only once the new one is complete.
class TestSaveFile : public QObject {
    Q_OBJECT
private slots:
    void newFile();
    void replacingKeepsPermissions_data();
    void replacingKeepsPermissions();
    void linkStaysALink();
    void uncommittedSaveChangesNothing();
    void failurePartWayKeepsOldFile();
    void refusedTargets();
    void readOnlyFileIsNotReplaced();
    void writableFileInLockedFolderIsWrittenInPlace_data();
    void writableFileInLockedFolderIsWrittenInPlace();
    void devicesAreWrittenStraight();
};

void TestSaveFile::newFile() {
    QTemporaryDir dir;
    const Umask mask(022);
    const QString path = dir.filePath("new.bbk");
    const QByteArray bytes = QByteArray(100000, 'x') + "end";
    QVERIFY(save(path, bytes));
    QCOMPARE(TestFiles::read(path), bytes);
    QCOMPARE(modeOf(path) & 07777, mode_t(0644));
    QCOMPARE(TestFiles::entries(dir.path()), QStringList{"new.bbk"});
}

void TestSaveFile::replacingKeepsPermissions_data() {
    QTest::addColumn<int>("mode");
    QTest::newRow("owner only") << 0600;
    QTest::newRow("group may read") << 0640;
    QTest::newRow("others may read") << 0604;
    QTest::newRow("everyone may write") << 0666;
}

void TestSaveFile::replacingKeepsPermissions() {
    QFETCH(int, mode);
    QTemporaryDir dir;
    const Umask mask(077); // a new file would get 0600; the old file's bits must win
    const QString path = dir.filePath("bank.bbk");
    QVERIFY(TestFiles::write(path, "old"));
    QVERIFY(::chmod(path.toLocal8Bit().constData(), mode_t(mode)) == 0);
    QVERIFY(save(path, "new"));
    QCOMPARE(TestFiles::read(path), QByteArray("new"));
    QCOMPARE(int(modeOf(path) & 07777), mode);
}

void TestSaveFile::linkStaysALink() {
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("banks"));
    const QString real = dir.filePath("banks/live.bbk");
    const QString link = dir.filePath("live.bbk");
    QVERIFY(TestFiles::write(real, "old"));
    QVERIFY(QFile::link(real, link));
    QVERIFY(save(link, "new"));
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(TestFiles::read(real), QByteArray("new"));
    QCOMPARE(TestFiles::entries(dir.filePath("banks")), QStringList{"live.bbk"});
}

void TestSaveFile::uncommittedSaveChangesNothing() {
    QTemporaryDir dir;
    const QString path = dir.filePath("bank.bbk");
    QVERIFY(TestFiles::write(path, "old"));
    {
        SaveFile file(path.toStdString());
        QVERIFY(file.open());
        file.stream() << "new content";
        file.stream().flush();
    }
    QCOMPARE(TestFiles::read(path), QByteArray("old"));
    QCOMPARE(TestFiles::entries(dir.path()), QStringList{"bank.bbk"});
}

void TestSaveFile::failurePartWayKeepsOldFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath("bank.bbk");
    const QByteArray old(30000, 'o');
    QVERIFY(TestFiles::write(path, old));
    {
        const TestFiles::FileSizeLimit limit(8192);
        QVERIFY(limit.effective());
        QVERIFY(!save(path, QByteArray(20000, 'n')));
    }
    QCOMPARE(TestFiles::read(path), old);
    QCOMPARE(TestFiles::entries(dir.path()), QStringList{"bank.bbk"});
}

void TestSaveFile::refusedTargets() {
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("folder.bbk"));
    QVERIFY(!save(dir.filePath("folder.bbk"), "x"));
    QVERIFY(QFileInfo(dir.filePath("folder.bbk")).isDir());
    QVERIFY(!save(dir.filePath("missing/bank.bbk"), "x"));
    QVERIFY(!save(QString(), "x"));
    QCOMPARE(TestFiles::entries(dir.path()), QStringList{"folder.bbk"});
}

void TestSaveFile::readOnlyFileIsNotReplaced() {
    QTemporaryDir dir;
    const QString path = dir.filePath("bank.bbk");
    QVERIFY(TestFiles::write(path, "old"));
    QVERIFY(::chmod(path.toLocal8Bit().constData(), 0444) == 0);
    // The folder allows anyone to put a file in place; the file itself says no.
    QVERIFY(::chmod(dir.path().toLocal8Bit().constData(), 0777) == 0);
    {
        const TestFiles::AsUnprivilegedUser nobody;
        if (!nobody.effective())
            QSKIP("running as root and unable to give it up: root may write any file");
        QVERIFY(!save(path, "new"));
    }
    QCOMPARE(TestFiles::read(path), QByteArray("old"));
    QCOMPARE(TestFiles::entries(dir.path()), QStringList{"bank.bbk"});
}

// The user owns the file but not its folder: no file can be put beside it, so it is
// written in place, and a failure while writing is still a failed save.
void TestSaveFile::writableFileInLockedFolderIsWrittenInPlace_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("saved");
    QTest::newRow("fits") << QByteArray(20000, 'n') << true;
    QTest::newRow("disk fills up") << QByteArray(20000, 'n') + "!" << false;
}

void TestSaveFile::writableFileInLockedFolderIsWrittenInPlace() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, saved);
    QTemporaryDir dir;
    const QByteArray folder = dir.path().toLocal8Bit();
    const QString path = dir.filePath("bank.bbk");
    QVERIFY(TestFiles::write(path, "old"));
    QVERIFY(::chmod(path.toLocal8Bit().constData(), 0644) == 0);
    const bool root = ::geteuid() == 0;
    if (root) // the file becomes nobody's; the folder stays root's
        QVERIFY(::chown(path.toLocal8Bit().constData(), TestFiles::AsUnprivilegedUser::kNobody,
                        TestFiles::AsUnprivilegedUser::kNobody) == 0);
    QVERIFY(::chmod(folder.constData(), root ? 0755 : 0555) == 0);
    bool result = false;
    {
        const TestFiles::AsUnprivilegedUser nobody;
        if (!nobody.effective())
            QSKIP("running as root and unable to give it up: root may write any folder");
        const TestFiles::FileSizeLimit limit(20000);
        QVERIFY(limit.effective());
        result = save(path, bytes);
    }
    QVERIFY(::chmod(folder.constData(), 0755) == 0);
    QCOMPARE(result, saved);
    if (saved)
        QCOMPARE(TestFiles::read(path), bytes);
    QCOMPARE(TestFiles::entries(dir.path()), QStringList{"bank.bbk"});
}

void TestSaveFile::devicesAreWrittenStraight() {
    QVERIFY(save("/dev/null", "anything"));
    QVERIFY(!save("/dev/full", "anything"));
    QVERIFY(S_ISCHR(modeOf("/dev/full")));
    QVERIFY(S_ISCHR(modeOf("/dev/null")));
}

QTEST_GUILESS_MAIN(TestSaveFile)
#include "tst_savefile.moc"
