#pragma once
// Test helper: a store whose database refuses to take one value, as a full disk or a foreign
// hand would, so that a write can fail part way through an action.

#include <QByteArray>
#include <QString>
#include <QtTest>

#include <sqlite3.h>

// From now on every write of a value called name (letter case doesn't count) into the store's
// database file fails.
inline void refuse_value(const QByteArray& database_file, const QString& name)
{
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(database_file.constData(), &db), SQLITE_OK);
    for (const char* event : {"INSERT", "UPDATE"}) {
        const QByteArray sql = QByteArray("CREATE TRIGGER refuse_") + event + " BEFORE " + event
                               + " ON vals WHEN NEW.folded = CAST('" + name.toLower().toUtf8()
                               + "' AS BLOB) BEGIN SELECT RAISE(ABORT, 'refused'); END";
        QCOMPARE(sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
    }
    sqlite3_close(db);
}
