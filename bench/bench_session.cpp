// The session database against the classic list files, in one run: saving and loading N file
// items and N/5 document items (N = 100,000 by default) as a session, and as "Kelvorn.dir" /
// "Kelvorn.fil" through the record writers, and what one state change costs the thread that
// hands it to the store while the store's writer commits.
//
//   build/bench_session [files] [documents] [rounds]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

#include "core/TSessionStore.h"
#include "rules/ListRecords.h"

namespace {

TSessionData MakeSession(int files, int documents)
{
    TSessionData session;
    for (int i = 0; i < documents; ++i) {
        THarvestItem item;
        item.Id = uint64_t(1'000'000 + i);
        item.Address =
            "http://www.host" + QByteArray::number(i % 97) + ".example/dir/page" + QByteArray::number(i) + ".html";
        item.Checked = i % 3 == 0;
        item.State = i % 5 == 0 ? DocParsed : DocPending;
        session.Documents.append(item);
    }
    for (int i = 0; i < files; ++i) {
        THarvestItem item;
        item.Id = uint64_t(i + 1);
        item.FileName = "picture" + QByteArray::number(i) + ".jpg";
        item.Address = "http://www.host" + QByteArray::number(i % 97) + ".example/pics/" + item.FileName;
        item.Checked = i % 2 == 0;
        item.State = i % 4 == 0 ? FileDownloaded : FilePending;
        if (i % 4 == 0)
            item.SizeText = QByteArray::number(100000 + i);
        session.Files.append(item);
    }
    return session;
}

TListRecord Record(const THarvestItem& item)
{
    return TListRecord{item.Address, item.Checked, item.State, item.FileName, item.SizeText};
}

// The classic save: every record into a file replaced whole, as the list commands write them.
void SaveRecords(const QString& path, const QList<THarvestItem>& items, int size,
                 void (*put)(char*, const TListRecord&))
{
    QSaveFile out(path);
    out.open(QIODevice::WriteOnly);
    QByteArray record(size, Qt::Uninitialized);
    for (const THarvestItem& item : items) {
        put(record.data(), Record(item));
        out.write(record);
    }
    out.commit();
}

void SaveClassic(const TSessionData& session, const QString& dir)
{
    SaveRecords(dir + "/" + DocListFileName, session.Documents, DocRecordSize, PutDocRecord);
    SaveRecords(dir + "/" + FileListFileName, session.Files, FileRecordSize, PutFileRecord);
}

qsizetype LoadClassic(const QString& dir)
{
    qsizetype items = 0;
    QList<TListRecord> records;
    for (const bool fileList : {false, true}) {
        QFile in(dir + "/" + (fileList ? FileListFileName : DocListFileName));
        in.open(QIODevice::ReadOnly);
        const int size = fileList ? FileRecordSize : DocRecordSize;
        QByteArray record(size, Qt::Uninitialized);
        while (in.read(record.data(), size) == size)
            records.append(fileList ? GetFileRecord(record.constData()) : GetDocRecord(record.constData()));
        items += records.size();
        records.clear();
    }
    return items;
}

double Median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int files = argc > 1 ? atoi(argv[1]) : 100000;
    const int documents = argc > 2 ? atoi(argv[2]) : files / 5;
    const int rounds = argc > 3 ? atoi(argv[3]) : 3;
    const TSessionData session = MakeSession(files, documents);
    QList<double> classicSave, classicLoad, sessionSave, sessionHandOver, sessionLoad;
    qsizetype loadedItems = 0;
    for (int round = 0; round < rounds; ++round) {
        QTemporaryDir dir;
        QElapsedTimer timer;
        timer.start();
        SaveClassic(session, dir.path());
        classicSave.append(timer.nsecsElapsed() / 1e6);
        timer.restart();
        loadedItems = LoadClassic(dir.path());
        classicLoad.append(timer.nsecsElapsed() / 1e6);

        const QString path = dir.filePath("Kelvorn.session");
        {
            TSessionStore store(path);
            store.Open(nullptr);
            timer.restart();
            store.ReplaceAll(session);
            sessionHandOver.append(timer.nsecsElapsed() / 1e6);
            store.Flush();
            sessionSave.append(timer.nsecsElapsed() / 1e6);
        }
        TSessionStore store(path);
        TSessionData loaded;
        timer.restart();
        store.Open(&loaded);
        ResumeInterrupted(loaded);
        sessionLoad.append(timer.nsecsElapsed() / 1e6);
        if (loaded.Files.size() != session.Files.size() || loaded.Documents.size() != session.Documents.size()) {
            std::fprintf(stderr, "session load lost items\n");
            return 1;
        }
    }
    if (loadedItems != session.Files.size() + session.Documents.size()) {
        std::fprintf(stderr, "classic load lost items\n");
        return 1;
    }

    // Progress of eight downloads as the window hands it over: the caller's cost per change,
    // while the writer thread commits every second.
    QTemporaryDir dir;
    TSessionStore store(dir.filePath("Kelvorn.session"));
    store.Open(nullptr);
    store.ReplaceAll(session);
    store.Flush();
    const int changes = 200000;
    QList<double> perChange;
    perChange.reserve(changes);
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < changes; ++i) {
        THarvestItem item = session.Files[i % 8 * (files / 8)];
        item.State = FileDownloading;
        item.BytesReceived = i;
        const qint64 before = timer.nsecsElapsed();
        store.PutItem(TSessionList::Files, item);
        perChange.append((timer.nsecsElapsed() - before) / 1e3);
    }
    std::sort(perChange.begin(), perChange.end());
    store.Flush();

    const double save = Median(sessionSave), load = Median(sessionLoad);
    const double cSave = Median(classicSave), cLoad = Median(classicLoad);
    std::printf("items: %d files, %d documents; median of %d rounds\n", files, documents, rounds);
    std::printf("save: session %.1f ms (caller's thread %.1f ms), list files %.1f ms, ratio %.2f\n", save,
                Median(sessionHandOver), cSave, save / cSave);
    std::printf("load: session %.1f ms, list files %.1f ms, ratio %.2f\n", load, cLoad, load / cLoad);
    std::printf("one change on the caller's thread: median %.2f us, p99 %.2f us, max %.1f us (%d changes)\n",
                perChange[changes / 2], perChange[changes * 99 / 100], perChange.last(), changes);
    return 0;
}
