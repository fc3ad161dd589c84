#include "tools/qvx-devservice/Sqlite.h"

#include <sqlite3.h>

namespace qvxdev {
namespace {

[[noreturn]] void Fail(sqlite3* database, std::string_view what)
{
    throw SqliteError(std::string(what) + ": " + sqlite3_errmsg(database));
}

}  // namespace

Statement::Statement(sqlite3* database, std::string_view sql) : database_(database)
{
    if (sqlite3_prepare_v2(database_, sql.data(), static_cast<int>(sql.size()), &statement_,
                           nullptr) != SQLITE_OK) {
        Fail(database_, "cannot prepare \"" + std::string(sql) + "\"");
    }
}

Statement::~Statement()
{
    sqlite3_finalize(statement_);
}

Statement::Statement(Statement&& other) noexcept
    : database_(other.database_), statement_(other.statement_)
{
    other.statement_ = nullptr;
}

Statement& Statement::Bind(int index, std::string_view text)
{
    if (sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT) != SQLITE_OK) {
        Fail(database_, "cannot bind a text");
    }
    return *this;
}

Statement& Statement::Bind(int index, std::int64_t number)
{
    if (sqlite3_bind_int64(statement_, index, number) != SQLITE_OK) {
        Fail(database_, "cannot bind a number");
    }
    return *this;
}

bool Statement::Step()
{
    switch (sqlite3_step(statement_)) {
    case SQLITE_ROW:
        return true;
    case SQLITE_DONE:
        return false;
    default:
        Fail(database_, "cannot run \"" + std::string(sqlite3_sql(statement_)) + "\"");
    }
}

std::string Statement::Text(int column) const
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
    const auto size = static_cast<std::size_t>(sqlite3_column_bytes(statement_, column));
    return text == nullptr ? std::string() : std::string(text, size);
}

std::int64_t Statement::Integer(int column) const
{
    return sqlite3_column_int64(statement_, column);
}

Database::Database(const std::string& path)
{
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path.c_str(), &handle_, flags, nullptr) != SQLITE_OK) {
        const std::string message = handle_ != nullptr ? sqlite3_errmsg(handle_) : "out of memory";
        sqlite3_close(handle_);
        throw SqliteError("cannot open " + path + ": " + message);
    }
    // Another process holding the file briefly (a backup, a second reader) is waited for.
    sqlite3_busy_timeout(handle_, 2000);
}

Database::~Database()
{
    sqlite3_close(handle_);
}

void Database::Execute(std::string_view sql)
{
    char* error = nullptr;
    if (sqlite3_exec(handle_, std::string(sql).c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error != nullptr ? error : sqlite3_errmsg(handle_);
        sqlite3_free(error);
        throw SqliteError(message);
    }
}

int Database::Changes() const
{
    return sqlite3_changes(handle_);
}

Transaction::Transaction(Database& database) : database_(database)
{
    database_.Execute("BEGIN IMMEDIATE");
}

Transaction::~Transaction()
{
    if (open_) {
        try {
            database_.Execute("ROLLBACK");
        } catch (const SqliteError&) {
            // SQLite already rolled back on its own (after an I/O or memory error); nothing
            // is left to undo.
        }
    }
}

void Transaction::Commit()
{
    database_.Execute("COMMIT");
    open_ = false;
}

}  // namespace qvxdev
