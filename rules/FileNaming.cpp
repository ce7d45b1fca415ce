#include "rules/FileNaming.h"

QByteArray FilNavn(const QByteArray& address)
{
    const int slash = address.lastIndexOf('/');
    return WithoutControlBytes(slash < 0 ? address : address.mid(slash + 1));
}

QByteArray WithoutControlBytes(QByteArray name)
{
    for (char& c : name)
        if (uchar(c) < 0x20 || c == 0x7f)
            c = '_';
    return name;
}

QByteArray UnderscoreName(const QByteArray& name)
{
    const int dot = name.indexOf('.');
    if (dot < 0)
        return "_." + name;
    return name.left(dot) + "_" + name.mid(dot);
}

bool IsPlainFileName(const QByteArray& name)
{
    return !name.isEmpty() && name != "." && name != ".." && !name.contains('/') && !name.contains('\0');
}

QString NameOnDisk(const QByteArray& name, bool utf8)
{
    return utf8 ? QString::fromUtf8(name) : QString::fromLatin1(name);
}

QString LocalFilePath(const QString& directory, const QByteArray& name, bool utf8)
{
    if (directory.isEmpty() || !IsPlainFileName(name))
        return QString();
    return directory + QLatin1Char('/') + NameOnDisk(name, utf8);
}

QByteArray FreeFileName(const QByteArray& name, const std::function<bool(const QByteArray&)>& taken)
{
    QByteArray candidate = name;
    for (int count = 0; taken(candidate); ++count) {
        if (count == MaxUnderscores)
            return QByteArray();
        candidate = UnderscoreName(candidate);
    }
    return candidate;
}
