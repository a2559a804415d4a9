#pragma once

#include "core/result.h"

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace vellumet::store {

// How long a connection waits for another program (an import) to finish
// with the database before a statement reports it as busy.
inline constexpr int kBusyTimeoutMs = 5000;

// SQLite's text for the last failure on db (message when given instead), with
// a word for the user when another program kept the database busy.
std::string sqliteReason(sqlite3* db, const char* message = nullptr);

// An open SQLite connection; closed when the object goes. Used by one thread
// at a time, so SQLite's own locking per call is left out.
class Database {
public:
    Database() = default;
    ~Database();
    Database(Database&& other) noexcept;
    Database& operator=(Database&& other) noexcept;
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens an existing file for reading and writing (never creates it).
    static Result<Database> open(const std::string& path);

    bool isOpen() const { return handle_ != nullptr; }
    sqlite3* handle() const { return handle_; }

    // Runs statements that return no rows.
    Status execute(const char* sql, std::string_view what);

    // An error of kind Database: what failed, then SQLite's own text.
    Error error(std::string_view what) const;

private:
    explicit Database(sqlite3* handle) : handle_(handle) {}
    sqlite3* handle_ = nullptr;
};

// A prepared statement; finalized when the object goes. Bind indexes start at 1.
class Statement {
public:
    Statement() = default;
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    static Result<Statement> prepare(const Database& db, std::string_view sql);

    bool isPrepared() const { return handle_ != nullptr; }

    void bind(int index, double value);
    void bind(int index, int value);
    // The bytes must stay in place until the statement has run.
    void bindBlob(int index, std::span<const std::byte> bytes);
    // Copied at once.
    void bindText(int index, std::string_view text);

    // One step: true when a row is ready, false when done, or the error.
    Result<bool> step();
    // Steps to the end of a statement that returns no rows.
    Status run();
    // Ready to run again with new bindings.
    void reset();

    double columnDouble(int index) const;
    long long columnInt64(int index) const;
    bool columnIsNull(int index) const;
    std::string columnText(int index) const;
    // Valid until the next step or reset.
    std::span<const std::byte> columnBlob(int index) const;

private:
    Statement(sqlite3_stmt* handle, sqlite3* db) : handle_(handle), db_(db) {}
    sqlite3_stmt* handle_ = nullptr;
    sqlite3* db_ = nullptr;
};

// BEGIN IMMEDIATE on construction (so a locked database is found before any
// work); rolled back when the object goes unless commit() succeeded.
class Transaction {
public:
    static Result<Transaction> begin(Database& db);
    ~Transaction();
    Transaction(Transaction&& other) noexcept;
    Transaction& operator=(Transaction&&) = delete;
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    Status commit();

private:
    explicit Transaction(Database& db) : db_(&db) {}
    Database* db_ = nullptr;
};

} // namespace vellumet::store
