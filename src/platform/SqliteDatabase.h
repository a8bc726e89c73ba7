// One connection to the platform database that holds the configuration
// store's objects and the advanced options. Not shareable between threads
// without an outside lock.
#pragma once

#include <cstdint>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace OrvPlatform {
namespace Detail {

class SqliteDatabase {
public:
    // Opens or creates the database and brings its schema up to date.
    // Every failure here and below throws QelConfigStore::ConfigStoreException.
    // A database that cannot be opened for writing (a full or read-only
    // disk) but has nothing in its write-ahead log is opened read-only, so
    // that it can still be read; writes then fail saying why.
    SqliteDatabase(const std::string& path, int busyTimeoutMs);
    ~SqliteDatabase();
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    class Statement {
    public:
        Statement(SqliteDatabase& database, const char* sql);
        ~Statement();
        Statement(const Statement&) = delete;
        Statement& operator=(const Statement&) = delete;

        Statement& Bind(int index, const std::string& text);
        Statement& Bind(int index, int64_t number);
        // True while a row is available.
        bool Step();
        std::string Text(int column) const;
        int64_t Integer(int column) const;
        // True when the column holds an integer as stored, not text or a
        // real number that would merely convert to one.
        bool IsInteger(int column) const;

    private:
        SqliteDatabase& database;
        sqlite3_stmt* statement = nullptr;
    };

    // Runs body inside a transaction; a write transaction takes the write
    // lock at once so that waiting happens in the busy handler, not midway.
    template <typename Body>
    void Transaction(bool write, Body&& body)
    {
        Begin(write);
        try {
            body();
        } catch (...) {
            Rollback();
            throw;
        }
        Commit();
    }

    void Execute(const char* sql);
    [[noreturn]] void Fail(const std::string& doing) const;

private:
    void Begin(bool write);
    void Commit();
    void Rollback() noexcept;
    void UpgradeSchema();
    // The first column of the first row, or empty text; the statement is
    // finished before returning so it holds no read lock.
    std::string QueryText(const char* sql);

    void Open(int flags, const std::string& name);
    void Close() noexcept;

    std::string path;
    sqlite3* handle = nullptr;
    std::string readOnlyBecause;  // why the database could only be opened read-only
};

}  // namespace Detail
}  // namespace OrvPlatform
