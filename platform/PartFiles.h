#pragma once
// A download is written under a name of its own until it is kept, so that no partial file ever
// carries a final name: a run that ends abruptly (closed window, crash, power loss) leaves at
// most NAME.kelvorn-part. The download directory is shared with browsers and other programs, so
// a part file is only ever one this program made: created new (never through a link, never over
// an existing file), marked with the address it holds, and only a marked file is recognised
// again. A file that is not marked is never continued, replaced or deleted.
//
// The mark lives in a user extended attribute of the part file: a digest of the address and the
// validator (ETag, else Last-Modified) its bytes came with. Where the file system keeps no user
// attributes, a part file is simply never recognised: it stays, and the next download of the
// name takes a free variant.
#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

class QFile;

// The part file suffix; no other program uses it.
inline constexpr char PartSuffix[] = ".kelvorn-part";
// How many part names one final name may have: NAME.kelvorn-part, NAME.2.kelvorn-part, ...
inline constexpr int MaxPartVariants = 16;

// The part file name of the given variant (1 is the plain one) beside the final name.
QString PartFilePath(const QString& finalPath, int variant = 1);

// Creates an empty part file for the final name at the first part name where nothing lies yet
// (not even a dangling link), exclusively, so two transfers of one name never share a part file.
// Empty, with the system's words in *error, when none could be made.
QString CreatePartFile(const QString& finalPath, QString* error);

// Marks a part file this program made as its own: the address and the validator its bytes
// came with. False when the file system keeps no user attributes (the file then stays unmarked).
bool MarkPartFile(const QString& partPath, const QByteArray& address, const QByteArray& validator);

// Removes the mark, so the file is an ordinary file once it is kept under its final name.
void UnmarkPartFile(const QString& partPath);

// A leftover part file of this program: its path, the bytes it holds, and the validator they
// came with (empty when the server sent none).
struct TOwnPartFile {
    QString Path;
    qint64 Bytes = -1;
    QByteArray Validator;
    bool Found() const { return !Path.isEmpty(); }
};

// Finds a part file of `finalPath` that this program made for `address` and that no running
// transfer holds (see TPartFileHold): the one a resumed download continues with a Range request
// from Bytes on, or the one a fresh download of the same address may replace. Not found: a
// part file of another program, of another address, one in use, or any on a file system
// without user attributes. Regular files only: a link is never followed.
TOwnPartFile FindOwnPartFile(const QString& finalPath, const QByteArray& address);

// Held by a transfer while it writes a part file: FindOwnPartFile passes over a held file, so
// two windows sharing a download directory never take each other's running part files.
class TPartFileHold {
public:
    TPartFileHold() = default;
    explicit TPartFileHold(const QString& partPath);
    ~TPartFileHold();
    TPartFileHold(const TPartFileHold&) = delete;
    TPartFileHold& operator=(const TPartFileHold&) = delete;
    bool Held() const { return FFd >= 0; }

private:
    int FFd = -1;
};

// The part file a transfer writes into, held for as long as the transfer keeps `Hold`.
struct TPartFile {
    QString Path;          // empty when none could be made
    qint64 Bytes = 0;      // what a continued leftover holds; 0 for a new file
    QByteArray Validator;  // what those bytes came with
    std::unique_ptr<TPartFileHold> Hold;
};

// Takes the part file for a transfer of `address` into `finalPath`, the one rule of every
// engine: an idle leftover of ours for the same address is continued when `resume` accepts it
// (no `resume`: never), else replaced; anything else at a part name stays, and a new file is made
// at the first free part name, marked and held at once. An empty Path, with the system's words
// in *error, when no part file could be made.
TPartFile TakePartFile(const QString& finalPath, const QByteArray& address,
                       const std::function<bool(const TOwnPartFile&)>& resume, QString* error);

// Opens the file a transfer's data is written into, emptied, never through a symbolic link (a
// link at the path makes it fail). False, with the system's words in *error, when it cannot be
// opened. The file is opened on its descriptor, so its fileName() is empty.
bool OpenTransferFile(QFile& file, const QString& path, QString* error);

// How giving a part file its final name went.
enum class TClaim { Done, Taken, Failed };

// Gives a finished download its final name in one step, never replacing anything there: a file,
// a directory or a link (even a dangling one) at `finalPath` makes it Taken, and nothing is
// written through a link. Failed carries the system's words in *error.
TClaim ClaimFinalName(const QString& partPath, const QString& finalPath, QString* error);
