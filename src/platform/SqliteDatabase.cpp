#include "SqliteDatabase.h"

#include <platform/QelConfigStore.h>

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sqlite3.h>
#include <unistd.h>

namespace OrvPlatform {
namespace Detail {

namespace {

constexpr int SCHEMA_VERSION = 1;

bool Exists(const std::string& path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

// SQLite's text with the system's reason behind it: "disk I/O error" alone
// does not tell a full disk from a failing one.
std::string ErrorText(sqlite3* handle)
{
    std::string text = sqlite3_errmsg(handle);
    const int kind = sqlite3_errcode(handle) & 0xff;
    const bool fromSystem = kind == SQLITE_IOERR || kind == SQLITE_FULL || kind == SQLITE_CANTOPEN;
    if (const int error = fromSystem ? sqlite3_system_errno(handle) : 0) {
        text += std::string(" (") + std::strerror(error) + ")";
    }
    return text;
}

// Objects are replaced whole, so their values hang off one row that a
// single DELETE removes together with them.
const char* const SCHEMA_SQL =
    "CREATE TABLE config_objects ("
    "  id INTEGER PRIMARY KEY,"
    "  namespace TEXT NOT NULL, component TEXT NOT NULL, grp TEXT NOT NULL, key TEXT NOT NULL,"
    "  UNIQUE (namespace, component, grp, key));"
    "CREATE TABLE config_values ("
    "  object INTEGER NOT NULL REFERENCES config_objects(id) ON DELETE CASCADE,"
    "  name TEXT NOT NULL, value TEXT NOT NULL,"
    "  PRIMARY KEY (object, name)) WITHOUT ROWID;"
    "CREATE TABLE advanced_options ("
    "  path TEXT PRIMARY KEY,"
    "  kind TEXT NOT NULL CHECK (kind IN ('integer', 'string')),"
    "  value NOT NULL);"
    // Registered options and their defaults; 1 asks for the proxy's
    // certificate to be verified.
    "INSERT INTO advanced_options VALUES"
    "  ('UserVars.ActiveDirectoryVerifyJORVCertificate', 'integer', 1);";

}  // namespace

SqliteDatabase::SqliteDatabase(const std::string& path, int busyTimeoutMs) : path(path)
{
    // The store holds the host's domain record and trusted certificates: a
    // new database is private to its owner, and SQLite gives its WAL and
    // shared-memory files the database's mode. An existing database keeps
    // the mode its owner chose.
    int created = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (created >= 0) {
        ::close(created);
    }
    const bool hadSideFiles = Exists(path + "-wal") || Exists(path + "-shm");
    try {
        Open(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, path);
        sqlite3_busy_timeout(handle, busyTimeoutMs);
        // WAL lets readers in other processes go on while one writes; the
        // mode is persistent, so only switch when needed (switching needs
        // the write lock).
        if (QueryText("PRAGMA journal_mode") != "wal") {
            QueryText("PRAGMA journal_mode=WAL");
        }
        Execute("PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON");
        UpgradeSchema();
    } catch (const QelConfigStore::ConfigStoreException& error) {
        Close();
        // WAL mode needs its side files to be created even for reading. When
        // they are gone and cannot be made, the database file alone holds
        // every committed change and can be read as it stands.
        struct stat log, database;
        const bool logEmpty = ::stat((path + "-wal").c_str(), &log) != 0 || log.st_size == 0;
        if (logEmpty && !hadSideFiles) {
            // Made by this failed open (a full disk lets empty files be
            // created): left behind, they would keep later readers from
            // reading the database file alone.
            ::unlink((path + "-wal").c_str());
            ::unlink((path + "-shm").c_str());
        }
        if (!logEmpty || ::stat(path.c_str(), &database) != 0 || database.st_size == 0) {
            throw;
        }
        readOnlyBecause = error.what();
        const std::string prefix = "Configuration store '" + path + "': ";
        if (readOnlyBecause.compare(0, prefix.size(), prefix) == 0) {
            readOnlyBecause.erase(0, prefix.size());
        }
        Open(SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, "file:" + path + "?immutable=1");
        bool current = false;
        try {
            current = QueryText("PRAGMA user_version") == std::to_string(SCHEMA_VERSION);
        } catch (const QelConfigStore::ConfigStoreException&) {
            // Not a database this store can read: the first reason stands.
        }
        if (!current) {
            Close();
            throw;
        }
    }
}

void SqliteDatabase::Open(int flags, const std::string& name)
{
    if (sqlite3_open_v2(name.c_str(), &handle, flags | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
        std::string reason = handle ? ErrorText(handle) : "out of memory";
        Close();
        throw QelConfigStore::ConfigStoreException("Configuration store '" + path +
                                                   "': cannot open the database: " + reason);
    }
    sqlite3_extended_result_codes(handle, 1);
}

void SqliteDatabase::Close() noexcept
{
    sqlite3_close(handle);
    handle = nullptr;
}

SqliteDatabase::~SqliteDatabase() { sqlite3_close(handle); }

std::string SqliteDatabase::QueryText(const char* sql)
{
    Statement query(*this, sql);
    return query.Step() ? query.Text(0) : std::string();
}

void SqliteDatabase::UpgradeSchema()
{
    auto version = [this] {
        Statement query(*this, "PRAGMA user_version");
        return query.Step() ? query.Integer(0) : int64_t{0};
    };
    if (version() == SCHEMA_VERSION) {
        return;
    }
    Transaction(true, [&] {
        int64_t found = version();  // another process may have won the race
        if (found == 0) {
            Execute(SCHEMA_SQL);
            Execute(("PRAGMA user_version=" + std::to_string(SCHEMA_VERSION)).c_str());
        } else if (found != SCHEMA_VERSION) {
            throw QelConfigStore::ConfigStoreException("Configuration store '" + path +
                                                       "': unsupported schema version " +
                                                       std::to_string(found));
        }
    });
}

void SqliteDatabase::Fail(const std::string& doing) const
{
    std::string reason = ErrorText(handle);
    if (!readOnlyBecause.empty()) {
        reason += " (it could only be opened for reading: " + readOnlyBecause + "; free space on its disk or "
                  "make it writable)";
    }
    throw QelConfigStore::ConfigStoreException("Configuration store '" + path + "': cannot " + doing + ": " +
                                               reason);
}

void SqliteDatabase::Execute(const char* sql)
{
    if (sqlite3_exec(handle, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        Fail("update the database");
    }
}

void SqliteDatabase::Begin(bool write)
{
    if (sqlite3_exec(handle, write ? "BEGIN IMMEDIATE" : "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) {
        Fail("start a transaction");
    }
}

void SqliteDatabase::Commit()
{
    if (sqlite3_exec(handle, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        // Keep the error text before the rollback replaces it.
        std::string reason = ErrorText(handle);
        Rollback();
        throw QelConfigStore::ConfigStoreException("Configuration store '" + path +
                                                   "': cannot commit: " + reason);
    }
}

void SqliteDatabase::Rollback() noexcept
{
    // SQLite may already have rolled back on its own (disk full, I/O error).
    if (!sqlite3_get_autocommit(handle)) {
        sqlite3_exec(handle, "ROLLBACK", nullptr, nullptr, nullptr);
    }
}

SqliteDatabase::Statement::Statement(SqliteDatabase& database, const char* sql) : database(database)
{
    if (sqlite3_prepare_v2(database.handle, sql, -1, &statement, nullptr) != SQLITE_OK) {
        database.Fail("read the database");
    }
}

SqliteDatabase::Statement::~Statement() { sqlite3_finalize(statement); }

SqliteDatabase::Statement& SqliteDatabase::Statement::Bind(int index, const std::string& text)
{
    if (sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT) !=
        SQLITE_OK) {
        database.Fail("bind a value");
    }
    return *this;
}

SqliteDatabase::Statement& SqliteDatabase::Statement::Bind(int index, int64_t number)
{
    if (sqlite3_bind_int64(statement, index, number) != SQLITE_OK) {
        database.Fail("bind a value");
    }
    return *this;
}

bool SqliteDatabase::Statement::Step()
{
    int status = sqlite3_step(statement);
    if (status == SQLITE_ROW) {
        return true;
    }
    if (status != SQLITE_DONE) {
        database.Fail("access the database");
    }
    return false;
}

std::string SqliteDatabase::Statement::Text(int column) const
{
    const unsigned char* text = sqlite3_column_text(statement, column);
    int size = sqlite3_column_bytes(statement, column);
    return text ? std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(size)) : std::string();
}

int64_t SqliteDatabase::Statement::Integer(int column) const { return sqlite3_column_int64(statement, column); }

bool SqliteDatabase::Statement::IsInteger(int column) const
{
    return sqlite3_column_type(statement, column) == SQLITE_INTEGER;
}

}  // namespace Detail
}  // namespace OrvPlatform
