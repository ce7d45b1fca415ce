#pragma once
// Whole files and reproducible random contents for tests.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

// Creates the file (and its folder), holding exactly `bytes`.
inline bool WriteTestFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// The file's contents; empty when it cannot be read.
inline QByteArray ReadTestFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// `size` bytes that look random, the same for the same seed.
inline QByteArray RandomTestBytes(qsizetype size, quint32 seed)
{
    QByteArray out(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (char& c : out)
        c = char(generator.generate());
    return out;
}
