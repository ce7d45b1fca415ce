#pragma once
// Reads one value from a session database the way an outside tool would (read-only, beside a
// writer that may be running or may have been killed).
#include <QFile>
#include <QString>
#include <sqlite3.h>

// The first column of the first row `sql` gives, as text; "(cannot open)" or "(no answer)" when
// there is none.
inline QString QueryText(const QString& path, const char* sql)
{
    sqlite3* db = nullptr;
    QString result = QStringLiteral("(cannot open)");
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        result = QStringLiteral("(no answer)");
        if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW)
            result = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return result;
}
