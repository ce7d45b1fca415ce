#include "platform/PartFiles.h"

#include <QCryptographicHash>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {
// One attribute: a digest of the address, then the validator. Kept this short, it fits inside
// the file's own inode on ext4, so removing it when the file is kept frees no block of its own
// (freeing one costs milliseconds where the file system discards freed blocks at once, which
// held every download behind it).
constexpr char MarkAttribute[] = "user.kelvorn.part";
constexpr qsizetype AddressDigestSize = 16;
// Validators are short; a longer attribute is not one of ours.
constexpr int MaxAttributeSize = 16 * 1024;

QString SystemWords(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

QByteArray AddressDigest(const QByteArray& address)
{
    return QCryptographicHash::hash(address, QCryptographicHash::Sha256).left(AddressDigestSize);
}

// The mark of the file open on `fd`; false when it is absent, unreadable or not one of ours.
bool ReadMark(int fd, QByteArray* digest, QByteArray* validator)
{
    QByteArray buffer(MaxAttributeSize, Qt::Uninitialized);
    const ssize_t size = ::fgetxattr(fd, MarkAttribute, buffer.data(), size_t(buffer.size()));
    if (size < AddressDigestSize)
        return false;
    *digest = buffer.left(AddressDigestSize);
    *validator = buffer.mid(AddressDigestSize, qsizetype(size) - AddressDigestSize);
    return true;
}
}  // namespace

QString PartFilePath(const QString& finalPath, int variant)
{
    if (variant <= 1)
        return finalPath + QLatin1String(PartSuffix);
    return finalPath + QLatin1Char('.') + QString::number(variant) + QLatin1String(PartSuffix);
}

QString CreatePartFile(const QString& finalPath, QString* error)
{
    int failure = EEXIST;
    for (int variant = 1; variant <= MaxPartVariants && failure == EEXIST; ++variant) {
        const QString path = PartFilePath(finalPath, variant);
        const int fd =
            ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        failure = errno;
    }
    if (error)
        *error = SystemWords(failure);
    return {};
}

bool MarkPartFile(const QString& partPath, const QByteArray& address, const QByteArray& validator)
{
    const QByteArray mark = AddressDigest(address) + validator;
    // lsetxattr: the mark goes on the entry itself, never on what a link points to.
    return ::lsetxattr(QFile::encodeName(partPath).constData(), MarkAttribute, mark.constData(), size_t(mark.size()), 0)
        == 0;
}

void UnmarkPartFile(const QString& partPath) { ::lremovexattr(QFile::encodeName(partPath).constData(), MarkAttribute); }

TOwnPartFile FindOwnPartFile(const QString& finalPath, const QByteArray& address)
{
    for (int variant = 1; variant <= MaxPartVariants; ++variant) {
        const QString path = PartFilePath(finalPath, variant);
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        TOwnPartFile found;
        struct stat info {};
        QByteArray marked;
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ReadMark(fd, &marked, &found.Validator)
            && marked == AddressDigest(address) && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            found.Path = path;
            found.Bytes = info.st_size;
        }
        ::close(fd);  // releases the probe's lock with it
        if (found.Found())
            return found;
    }
    return {};
}

TPartFileHold::TPartFileHold(const QString& partPath)
{
    FFd = ::open(QFile::encodeName(partPath).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (FFd >= 0 && ::flock(FFd, LOCK_EX | LOCK_NB) != 0) {
        ::close(FFd);
        FFd = -1;
    }
}

TPartFileHold::~TPartFileHold()
{
    if (FFd >= 0)
        ::close(FFd);
}

TPartFile TakePartFile(const QString& finalPath, const QByteArray& address,
                       const std::function<bool(const TOwnPartFile&)>& resume, QString* error)
{
    TPartFile taken;
    const TOwnPartFile leftover = FindOwnPartFile(finalPath, address);
    if (leftover.Found()) {
        // Held before anything is done with it: another window may be looking at it just now.
        auto hold = std::make_unique<TPartFileHold>(leftover.Path);
        if (hold->Held()) {
            if (resume && resume(leftover)) {
                taken.Path = leftover.Path;
                taken.Bytes = leftover.Bytes;
                taken.Validator = leftover.Validator;
                taken.Hold = std::move(hold);
                return taken;
            }
            ::unlink(QFile::encodeName(leftover.Path).constData());
        }
    }
    taken.Path = CreatePartFile(finalPath, error);
    if (taken.Path.isEmpty())
        return taken;
    // Marked and held at once: a run that ends before the answer comes leaves a file we
    // recognise, and no other window replaces it while this one waits for the answer.
    MarkPartFile(taken.Path, address, {});
    taken.Hold = std::make_unique<TPartFileHold>(taken.Path);
    return taken;
}

bool OpenTransferFile(QFile& file, const QString& path, QString* error)
{
    // Never through a symbolic link: a link planted where the file goes would carry the data
    // elsewhere.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (error)
            *error = SystemWords(errno);
        return false;
    }
    if (!file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

TClaim ClaimFinalName(const QString& partPath, const QString& finalPath, QString* error)
{
    const QByteArray from = QFile::encodeName(partPath);
    const QByteArray to = QFile::encodeName(finalPath);
    // One step that never replaces: a rename copies nothing, and a link at the target (even a
    // dangling one) is an entry that makes it fail rather than a way through.
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return TClaim::Done;
    int failure = errno;
    if (failure == EINVAL || failure == ENOSYS) {
        // A file system without the no-replace rename: a hard link is just as exclusive.
        if (::link(from.constData(), to.constData()) == 0) {
            ::unlink(from.constData());
            return TClaim::Done;
        }
        failure = errno;
    }
    if (failure == EEXIST)
        return TClaim::Taken;
    if (error)
        *error = SystemWords(failure);
    return TClaim::Failed;
}
