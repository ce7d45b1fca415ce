// Writes a session without pause until it is killed: new file items with long addresses and
// progress on earlier ones. After every Flush it prints "flushed N": items 1..N are on disk.
#include <QCoreApplication>
#include <cstdio>

#include "core/TSessionStore.h"

THarvestItem WriterItem(uint64_t id)
{
    THarvestItem item;
    item.Id = id;
    item.Address = "http://files.test/" + QByteArray(1900, 'p') + "/" + QByteArray::number(quint64(id)) + ".jpg";
    item.Checked = true;
    item.State = FileDownloading;
    item.FileName = QByteArray::number(quint64(id)) + "_\xc3\xa4.jpg";
    item.BytesReceived = 0;
    return item;
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    TSessionStore store(QString::fromLocal8Bit(argv[1]));
    if (!store.Open(nullptr).Opened)
        return 3;
    for (uint64_t id = 1;; ++id) {
        store.PutItem(TSessionList::Files, WriterItem(id));
        for (uint64_t earlier = id > 8 ? id - 8 : 1; earlier < id; ++earlier) {
            THarvestItem item = WriterItem(earlier);
            item.BytesReceived = qint64(id - earlier) * 1000;
            store.PutItem(TSessionList::Files, item);
        }
        if (id % 500 == 0) {
            if (!store.Flush())
                return 4;
            std::printf("flushed %llu\n", static_cast<unsigned long long>(id));
            std::fflush(stdout);
        }
    }
}
