#pragma once
// A thin RAII layer over the SQLite C interface: one connection, prepared statements with
// bound parameters, and a transaction guard that rolls back unless committed. Every failure
// throws SqliteError with SQLite's own message.
//
// Threads: none of these classes locks. A Database and its statements must be used by one
// thread at a time; the Store serialises all use with its mutex.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace qvxdev {

class SqliteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Statement {
public:
    Statement(sqlite3* database, std::string_view sql);
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    Statement& operator=(Statement&&) = delete;

    // Parameters are numbered from 1, as in SQL's "?" placeholders.
    Statement& Bind(int index, std::string_view text);
    Statement& Bind(int index, std::int64_t number);

    // Runs the statement to its next row: true when a row is ready to be read, false when done.
    bool Step();

    std::string Text(int column) const;
    std::int64_t Integer(int column) const;

private:
    sqlite3* database_;
    sqlite3_stmt* statement_ = nullptr;
};

class Database {
public:
    // Opens (creating when missing) the database file at path; ":memory:" is a private
    // in-memory database that goes with the object.
    explicit Database(const std::string& path);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Runs one or more statements that return no rows.
    void Execute(std::string_view sql);

    // Prepares sql and binds args to its placeholders in order (texts and integers).
    template <typename... Args>
    Statement Prepare(std::string_view sql, const Args&... args)
    {
        Statement statement(handle_, sql);
        [[maybe_unused]] int index = 0;
        (statement.Bind(++index, args), ...);
        return statement;
    }

    // Prepares, binds and runs a statement that returns no rows.
    template <typename... Args>
    void Run(std::string_view sql, const Args&... args)
    {
        Prepare(sql, args...).Step();
    }

    // Rows changed by the last INSERT, UPDATE or DELETE.
    int Changes() const;

private:
    sqlite3* handle_ = nullptr;
};

// BEGIN IMMEDIATE on construction; ROLLBACK on destruction unless Commit ran.
class Transaction {
public:
    explicit Transaction(Database& database);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void Commit();

private:
    Database& database_;
    bool open_ = true;
};

}  // namespace qvxdev
