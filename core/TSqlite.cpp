#include "core/TSqlite.h"

#include <sqlite3.h>

bool SqlExec(sqlite3* db, const char* sql, QString& failure)
{
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK)
        return true;
    failure = SqlError(db);
    return false;
}

QString SqlError(sqlite3* db)
{
    return QStringLiteral("%1 (code %2)").arg(QString::fromUtf8(sqlite3_errmsg(db))).arg(sqlite3_extended_errcode(db));
}

bool SqlErrorMeansUnreadable(sqlite3* db)
{
    const int code = sqlite3_errcode(db) & 0xff;
    return code == SQLITE_CORRUPT || code == SQLITE_NOTADB;
}

TSqlStatement::TSqlStatement(sqlite3* db, const char* sql) : FDb(db)
{
    if (sqlite3_prepare_v2(db, sql, -1, &FStatement, nullptr) != SQLITE_OK)
        FStatement = nullptr;
}

TSqlStatement::~TSqlStatement() { sqlite3_finalize(FStatement); }

void TSqlStatement::Bind(int index, const QByteArray& bytes)
{
    // An empty QByteArray is stored as NULL, which reads back as an empty one.
    if (bytes.isEmpty())
        sqlite3_bind_null(FStatement, index);
    else
        sqlite3_bind_blob(FStatement, index, bytes.constData(), int(bytes.size()), SQLITE_STATIC);
}

void TSqlStatement::BindText(int index, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(FStatement, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

void TSqlStatement::Bind(int index, qint64 value) { sqlite3_bind_int64(FStatement, index, value); }

bool TSqlStatement::Step()
{
    FLastResult = sqlite3_step(FStatement);
    return FLastResult == SQLITE_ROW;
}

bool TSqlStatement::Run()
{
    FLastResult = sqlite3_step(FStatement);
    return FLastResult == SQLITE_DONE;
}

bool TSqlStatement::Done() const { return FLastResult == SQLITE_DONE; }

bool TSqlStatement::RunAndReset()
{
    const bool done = Run();
    sqlite3_reset(FStatement);
    return done;
}

void TSqlStatement::Reset() { sqlite3_reset(FStatement); }

QByteArray TSqlStatement::Bytes(int column) const
{
    const void* data = sqlite3_column_blob(FStatement, column);
    const int size = sqlite3_column_bytes(FStatement, column);
    return data ? QByteArray(static_cast<const char*>(data), size) : QByteArray();
}

QString TSqlStatement::Text(int column) const
{
    const unsigned char* data = sqlite3_column_text(FStatement, column);
    const int size = sqlite3_column_bytes(FStatement, column);
    return data ? QString::fromUtf8(reinterpret_cast<const char*>(data), size) : QString();
}

qint64 TSqlStatement::Integer(int column) const { return sqlite3_column_int64(FStatement, column); }
