#pragma once
// Thin owners of SQLite handles for the session store: a prepared statement that finalizes
// itself, and binding and reading of the byte strings and numbers the store keeps.
#include <QByteArray>
#include <QString>

struct sqlite3;
struct sqlite3_stmt;

// Runs `sql` (one or more statements without results); on failure says why in `failure`.
bool SqlExec(sqlite3* db, const char* sql, QString& failure);
// The connection's last error, as "message (code N)".
QString SqlError(sqlite3* db);
// True when the connection's last error says the file is not a database or is damaged.
bool SqlErrorMeansUnreadable(sqlite3* db);

class TSqlStatement {
public:
    TSqlStatement(sqlite3* db, const char* sql);
    ~TSqlStatement();
    TSqlStatement(const TSqlStatement&) = delete;
    TSqlStatement& operator=(const TSqlStatement&) = delete;

    bool IsValid() const { return FStatement != nullptr; }
    // Parameters count from 1, as in SQL. The bytes are not copied: they must stay unchanged
    // until the statement has run (the session's items do, in the batch being written).
    void Bind(int index, const QByteArray& bytes);
    void BindText(int index, const QString& text);
    void Bind(int index, qint64 value);
    // One step: true while a row is there (Step) or when the statement ran to its end (Run).
    bool Step();
    bool Run();
    // After a loop of Step: the last step reached the end rather than failing.
    bool Done() const;
    // Runs and resets for the next binding; false on failure.
    bool RunAndReset();
    void Reset();

    // Columns count from 0.
    QByteArray Bytes(int column) const;
    QString Text(int column) const;
    qint64 Integer(int column) const;

private:
    sqlite3* FDb;
    sqlite3_stmt* FStatement = nullptr;
    int FLastResult = 0;
};
