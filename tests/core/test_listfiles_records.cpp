// The list files' records read from damaged bytes, the image index's 16 bits, and the
// host-prefix rule. (The records' exact bytes are checked against what a save writes.)
#include <QRandomGenerator>
#include <QtTest>
#include <sys/mman.h>
#include <unistd.h>

#include "rules/ListRecords.h"
#include "rules/ListStates.h"

namespace {
QByteArray Chars(int n, char c = 'a') { return QByteArray(n, c); }

// A copy of `bytes` that ends right before an inaccessible page: reading one byte past it
// crashes the test instead of going unnoticed.
class TGuardedBytes {
public:
    explicit TGuardedBytes(const QByteArray& bytes)
    {
        FPage = size_t(sysconf(_SC_PAGESIZE));
        FBase =
            static_cast<char*>(mmap(nullptr, 2 * FPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        mprotect(FBase + FPage, FPage, PROT_NONE);
        FData = FBase + FPage - bytes.size();
        memcpy(FData, bytes.constData(), size_t(bytes.size()));
    }
    ~TGuardedBytes() { munmap(FBase, 2 * FPage); }
    const char* Data() const { return FData; }

private:
    size_t FPage = 0;
    char* FBase = nullptr;
    char* FData = nullptr;
};
}  // namespace

class TestListRecords : public QObject {
    Q_OBJECT
private slots:
    void imageIndexKeepsLow16Bits_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("loaded");
        QTest::newRow("none is FF FF") << -1 << QByteArray("\xFF\xFF", 2) << -1;
        QTest::newRow("downloading") << 0 << QByteArray("\x00\x00", 2) << 0;
        QTest::newRow("skipped") << 4 << QByteArray("\x04\x00", 2) << 4;
        QTest::newRow("little-endian") << 0x1234 << QByteArray("\x34\x12", 2) << 0x1234;
        QTest::newRow("most negative") << -32768 << QByteArray("\x00\x80", 2) << -32768;
        QTest::newRow("wider than 16 bits") << 0x12345 << QByteArray("\x45\x23", 2) << 0x2345;
    }
    void imageIndexKeepsLow16Bits()
    {
        QFETCH(int, stored);
        QFETCH(QByteArray, bytes);
        QFETCH(int, loaded);
        const QByteArray doc = DocRecordBytes({"d", false, stored, {}, {}});
        QCOMPARE(doc.mid(ImageIndexOffset, 2), bytes);
        QCOMPARE(GetDocRecord(doc.constData()).ImageIndex, loaded);
        const QByteArray file = FileRecordBytes({"f", false, stored, "n", "1"});
        QCOMPARE(file.mid(ImageIndexOffset, 2), bytes);
        QCOMPARE(GetFileRecord(file.constData()).ImageIndex, loaded);
    }

    void damagedRecordsReadInsideTheirFields()
    {
        // Length bytes past each field's capacity: the capacity is taken, never the next field.
        QByteArray record(FileRecordSize, 'z');
        record[0] = char(255);  // the caption's maximum: valid
        record[TickOffset] = char(7);
        record[ImageIndexOffset] = char(0x02);
        record[ImageIndexOffset + 1] = char(0x00);
        record[FileNameOffset] = char(255);
        record.replace(FileNameOffset + 1, 40, Chars(40, 'n'));
        record[SizeOffset] = char(255);
        record.replace(SizeOffset + 1, 15, Chars(15, 's'));
        const TGuardedBytes guarded(record);
        const TListRecord item = GetFileRecord(guarded.Data());
        QCOMPARE(item.Caption.size(), 255);
        QCOMPARE(item.Ticked, true);  // any tick byte other than 0
        QCOMPARE(item.FileName, Chars(40, 'n'));
        QCOMPARE(item.Size, Chars(15, 's'));

        QByteArray doc(DocRecordSize, '\0');
        doc[0] = char(3);
        doc.replace(1, 3, "abc");
        doc[TickOffset] = char(0);
        QCOMPARE(GetDocRecord(doc.constData()).Caption, QByteArray("abc"));
        QCOMPARE(GetDocRecord(doc.constData()).Ticked, false);
        doc[TickOffset] = char(0xFF);
        doc[0] = char(255);
        const TGuardedBytes guardedDoc(doc);
        QCOMPARE(GetDocRecord(guardedDoc.Data()).Ticked, true);
        QCOMPARE(GetDocRecord(guardedDoc.Data()).Caption.size(), 255);

        // Random records: every text stays within its capacity.
        auto* random = QRandomGenerator::global();
        for (int round = 0; round < 500; ++round) {
            QByteArray bytes(FileRecordSize, '\0');
            for (char& c : bytes)
                c = char(random->bounded(256));
            const TGuardedBytes guarded(bytes);
            const TListRecord any = GetFileRecord(guarded.Data());
            QVERIFY(any.Caption.size() <= 255);
            QVERIFY(any.FileName.size() <= 40);
            QVERIFY(any.Size.size() <= 15);
            QCOMPARE(any.Caption, bytes.mid(1, std::min(255, int(quint8(bytes[0])))));
            QCOMPARE(any.Size, bytes.mid(SizeOffset + 1, std::min(15, int(quint8(bytes[SizeOffset])))));
        }
    }

    // Names that lead outside the download directory load as failed items; the caption, tick
    // and size stay, and plain or empty names load as written.
    void namesOutsideTheDirectory_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("kept");
        QTest::newRow("climbs out") << QByteArray("../outside/victim.jpg") << false;
        QTest::newRow("absolute") << QByteArray("/home/u/.bashrc") << false;
        QTest::newRow("subfolder") << QByteArray("sub/pic.jpg") << false;
        QTest::newRow("dot dot alone") << QByteArray("..") << false;
        QTest::newRow("dot alone") << QByteArray(".") << false;
        QTest::newRow("NUL inside") << QByteArray("a\0b.jpg", 7) << false;
        QTest::newRow("plain") << QByteArray("pic.jpg") << true;
        QTest::newRow("empty: never downloaded") << QByteArray() << true;
        QTest::newRow("dots inside a name") << QByteArray("a..b.jpg") << true;
    }
    void namesOutsideTheDirectory()
    {
        QFETCH(QByteArray, name);
        QFETCH(bool, kept);
        const TListRecord item = GetFileRecord(
            FileRecordBytes({"http://127.0.0.1/victim.jpg", true, FileDownloaded, name, "5000"}).constData());
        QCOMPARE(item.Caption, QByteArray("http://127.0.0.1/victim.jpg"));
        QCOMPARE(item.Ticked, true);
        QCOMPARE(item.Size, QByteArray("5000"));
        QCOMPARE(item.FileName, kept ? name : QByteArray("Not available"));
        QCOMPARE(item.ImageIndex, kept ? int(FileDownloaded) : int(FileFailed));
    }

    void hostPrefix_data()
    {
        QTest::addColumn<QByteArray>("caption");
        QTest::addColumn<QByteArray>("prefix");
        QTest::newRow("scheme, host and path")
            << QByteArray("http://www.Host.com/a/b.jpg") << QByteArray("http://www.Host.com");
        QTest::newRow("no slash after the host") << QByteArray("http://host.com") << QByteArray("http://host.com");
        QTest::newRow("no // : first slash from the second character")
            << QByteArray("host.com/dir/x") << QByteArray("host.com");
        QTest::newRow("no // and a leading slash") << QByteArray("/dir/x.jpg") << QByteArray("/dir");
        QTest::newRow("no slash after the first character") << QByteArray("/abc") << QByteArray("/abc");
        QTest::newRow("no slash at all") << QByteArray("abc") << QByteArray("abc");
        QTest::newRow("// at the start") << QByteArray("//host/x") << QByteArray("//host");
        QTest::newRow("empty host") << QByteArray("file:///x") << QByteArray("file://");
        QTest::newRow("empty caption") << QByteArray("") << QByteArray("");
    }
    void hostPrefix()
    {
        QFETCH(QByteArray, caption);
        QFETCH(QByteArray, prefix);
        QCOMPARE(HostPrefix(caption), prefix);
    }
};

QTEST_GUILESS_MAIN(TestListRecords)
#include "test_listfiles_records.moc"
