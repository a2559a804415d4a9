#include "sqlite_handles.h"

#include <sqlite3.h>

#include <utility>

namespace vellumet::store {

std::string sqliteReason(sqlite3* db, const char* message) {
    std::string reason = message ? message : db ? sqlite3_errmsg(db) : "out of memory";
    if (db && (sqlite3_errcode(db) & 0xff) == SQLITE_BUSY)
        reason += " (another program is using the record database; try again when it has "
                  "finished)";
    return reason;
}

Database::~Database() {
    sqlite3_close_v2(handle_);
}

Database::Database(Database&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

Database& Database::operator=(Database&& other) noexcept {
    if (this != &other) {
        sqlite3_close_v2(handle_);
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

Result<Database> Database::open(const std::string& path) {
    sqlite3* handle = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &handle,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    Database db(handle);
    if (rc != SQLITE_OK)
        return makeError(Errc::Database,
                         "cannot open the record database " + path + ": " + sqliteReason(handle));
    sqlite3_busy_timeout(handle, kBusyTimeoutMs);
    sqlite3_extended_result_codes(handle, 1);
    return db;
}

Status Database::execute(const char* sql, std::string_view what) {
    char* message = nullptr;
    if (sqlite3_exec(handle_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        Error e =
            makeError(Errc::Database, std::string(what) + ": " + sqliteReason(handle_, message));
        sqlite3_free(message);
        return e;
    }
    return {};
}

Error Database::error(std::string_view what) const {
    return makeError(Errc::Database,
                     std::string(what) + ": " + (handle_ ? sqliteReason(handle_) : "no database"));
}

Statement::~Statement() {
    sqlite3_finalize(handle_);
}

Statement::Statement(Statement&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), db_(other.db_) {}

Statement& Statement::operator=(Statement&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(handle_);
        handle_ = std::exchange(other.handle_, nullptr);
        db_ = other.db_;
    }
    return *this;
}

Result<Statement> Statement::prepare(const Database& db, std::string_view sql) {
    sqlite3_stmt* handle = nullptr;
    if (sqlite3_prepare_v3(db.handle(), sql.data(), static_cast<int>(sql.size()),
                           SQLITE_PREPARE_PERSISTENT, &handle, nullptr) != SQLITE_OK)
        return db.error("cannot prepare a statement on the record database");
    return Statement(handle, db.handle());
}

void Statement::bind(int index, double value) {
    sqlite3_bind_double(handle_, index, value);
}

void Statement::bind(int index, int value) {
    sqlite3_bind_int(handle_, index, value);
}

void Statement::bindBlob(int index, std::span<const std::byte> bytes) {
    sqlite3_bind_blob64(handle_, index, bytes.data(), bytes.size(), SQLITE_STATIC);
}

void Statement::bindText(int index, std::string_view text) {
    sqlite3_bind_text64(handle_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

Result<bool> Statement::step() {
    const int rc = sqlite3_step(handle_);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    Error e = makeError(Errc::Database, "the record database refused: " + sqliteReason(db_));
    sqlite3_reset(handle_);
    return e;
}

Status Statement::run() {
    for (;;) {
        Result<bool> row = step();
        if (!row)
            return row.error();
        if (!*row)
            break;
    }
    sqlite3_reset(handle_);
    return {};
}

void Statement::reset() {
    sqlite3_reset(handle_);
}

double Statement::columnDouble(int index) const {
    return sqlite3_column_double(handle_, index);
}

long long Statement::columnInt64(int index) const {
    return sqlite3_column_int64(handle_, index);
}

bool Statement::columnIsNull(int index) const {
    return sqlite3_column_type(handle_, index) == SQLITE_NULL;
}

std::string Statement::columnText(int index) const {
    const unsigned char* text = sqlite3_column_text(handle_, index);
    return text ? std::string(reinterpret_cast<const char*>(text),
                              static_cast<std::size_t>(sqlite3_column_bytes(handle_, index)))
                : std::string();
}

std::span<const std::byte> Statement::columnBlob(int index) const {
    const void* data = sqlite3_column_blob(handle_, index);
    const int size = sqlite3_column_bytes(handle_, index);
    if (!data || size <= 0)
        return {};
    return {static_cast<const std::byte*>(data), static_cast<std::size_t>(size)};
}

Result<Transaction> Transaction::begin(Database& db) {
    if (Status s = db.execute("BEGIN IMMEDIATE", "cannot write to the record database"); !s)
        return s.error();
    return Transaction(db);
}

Transaction::Transaction(Transaction&& other) noexcept : db_(std::exchange(other.db_, nullptr)) {}

Transaction::~Transaction() {
    if (!db_)
        return;
    // After a failed statement SQLite may already have rolled back on its own.
    if (!sqlite3_get_autocommit(db_->handle()))
        sqlite3_exec(db_->handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    // After a failed write (a full disk) the rollback may have been left to
    // the journal, which then stays on disk, as large as the old pages it
    // holds, until the next connection reads. Reading now puts the old pages
    // back and removes it.
    sqlite3_exec(db_->handle(), "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
}

Status Transaction::commit() {
    if (!db_)
        return makeError(Errc::Database, "the transaction has already ended");
    if (Status s = db_->execute("COMMIT", "cannot save to the record database"); !s)
        return s; // still open: the destructor rolls it back
    db_ = nullptr;
    return {};
}

} // namespace vellumet::store
