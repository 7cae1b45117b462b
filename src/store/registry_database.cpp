// The configuration store's SQLite file: opening it safely, its schema and its rows.

#include "store/registry_database.h"

#include "store/key_path.h"

#include <sqlite3.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace store {

namespace {

// Marks the file as ours ("VSMR"), so a database of another program is never taken for the store.
constexpr int application_id = 0x56534D52;
// Long enough to wait out another instance's write, short enough not to freeze the user interface.
constexpr auto busy_timeout = std::chrono::milliseconds(5000);

// Waits for a lock another connection holds. SQLite's own timeout backs off to 100 ms between
// tries, so a writer that takes the lock again quickly can keep another one out until its
// timeout ends; trying every millisecond keeps the two fair.
int wait_for_lock(void* context, int attempt)
{
    auto& started = *static_cast<std::chrono::steady_clock::time_point*>(context);
    if (attempt == 0)
        started = std::chrono::steady_clock::now();
    else if (std::chrono::steady_clock::now() - started >= busy_timeout)
        return 0;
    ::usleep(1000);
    return 1;
}

[[noreturn]] void fail(sqlite3* db, const char* what)
{
    const int code = sqlite3_extended_errcode(db);
    throw DatabaseError(std::string(what) + ": " + sqlite3_errmsg(db), code);
}

// One prepared statement, finalized when it goes out of scope.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) : db_(db)
    {
        if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK)
            fail(db, "prepare");
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, int64_t value)
    {
        check(sqlite3_bind_int64(stmt_, index, value));
        return *this;
    }
    // Names and texts are bytes: bound as blobs so zero bytes and any encoding survive, and
    // never as a null (an empty view still binds a zero-length blob).
    Statement& bind_bytes(int index, std::string_view bytes)
    {
        check(sqlite3_bind_blob64(stmt_, index, bytes.empty() ? "" : bytes.data(), bytes.size(),
                                  SQLITE_TRANSIENT));
        return *this;
    }
    // True while rows come; false when done.
    bool step()
    {
        const int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        fail(db_, "step");
    }
    void run()
    {
        while (step()) {
        }
    }
    void reset()
    {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
    int64_t integer(int column) { return sqlite3_column_int64(stmt_, column); }
    int type(int column) { return sqlite3_column_type(stmt_, column); }
    std::string bytes(int column)
    {
        const void* data = sqlite3_column_blob(stmt_, column);
        const int size = sqlite3_column_bytes(stmt_, column);
        if (data == nullptr || size <= 0)
            return {};
        return std::string(static_cast<const char*>(data), static_cast<std::size_t>(size));
    }

private:
    void check(int rc)
    {
        if (rc != SQLITE_OK)
            fail(db_, "bind");
    }
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

StoredValue read_value_row(Statement& row)
{
    StoredValue value;
    value.name = row.bytes(0);
    value.type = static_cast<int>(row.integer(1));
    if (row.type(2) == SQLITE_INTEGER) {
        value.is_integer_data = true;
        value.number = row.integer(2);
    } else {
        value.bytes = row.bytes(2);
    }
    return value;
}

// mkdir -p for the folders above file; false (with why) when one can't be made.
bool make_parent_folders(const std::string& file, std::string& why)
{
    for (std::size_t slash = file.find('/', 1); slash != std::string::npos; slash = file.find('/', slash + 1)) {
        const std::string folder = file.substr(0, slash);
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
            why = "cannot create folder " + folder + ": " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

}  // namespace

RegistryDatabase::OpenResult RegistryDatabase::open(const std::string& file, bool create,
                                                   std::unique_ptr<RegistryDatabase>& database,
                                                   std::string& why)
{
    database.reset();
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) {
        if (errno != ENOENT) {
            why = file + ": " + std::strerror(errno);
            return OpenResult::Unusable;
        }
        if (!create) {
            why = file + " does not exist";
            return OpenResult::Missing;
        }
        if (!make_parent_folders(file, why))
            return OpenResult::Unusable;
        // Made here rather than by SQLite, so the file is private to the user from its first
        // byte on; SQLite gives its journal the same mode.
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) {
            why = "cannot create " + file + ": " + std::strerror(errno);
            return OpenResult::Unusable;
        }
        if (fd >= 0)
            ::close(fd);
    } else if (!S_ISREG(info.st_mode)) {
        why = file + " is not a regular file";
        return OpenResult::Unusable;
    }

    // No SQLITE_OPEN_CREATE: SQLite must never make a file of its own; a read-only file is
    // opened read-only by SQLite itself, and writes then fail.
    OpenResult result = open_checked(file, SQLITE_OPEN_READWRITE, database, why);
    if (result == OpenResult::Missing) {
        result = OpenResult::Unusable;
        // The write-ahead log's index can't be made beside the file: the folder is read-only.
        // Nobody can write the store without making that index, so the file may be read as
        // unchanging; unless a log with commits not yet in the file lies beside it.
        if (::stat((file + "-wal").c_str(), &info) != 0 && errno == ENOENT) {
            std::string uri = "file:";
            for (const char c : file) {
                if (c == '%' || c == '?' || c == '#' || static_cast<unsigned char>(c) < 0x21) {
                    static const char hex[] = "0123456789ABCDEF";
                    uri += '%';
                    uri += hex[static_cast<unsigned char>(c) >> 4];
                    uri += hex[c & 0xF];
                } else {
                    uri += c;
                }
            }
            uri += "?immutable=1";
            if (open_checked(uri, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, database, why) == OpenResult::Opened)
                result = OpenResult::Opened;
        }
    }
    return result;
}

// Opens file with flags and checks that it is our store. Missing here means "try read-only".
RegistryDatabase::OpenResult RegistryDatabase::open_checked(const std::string& file, int flags,
                                                           std::unique_ptr<RegistryDatabase>& database,
                                                           std::string& why)
{
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(file.c_str(), &db, flags | SQLITE_OPEN_EXRESCODE, nullptr);
    if (rc != SQLITE_OK) {
        why = file + ": " + (db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        sqlite3_close(db);
        return OpenResult::Unusable;
    }
    // With the write-ahead log a commit needs no sync: it survives the program being killed at
    // any point (not a power cut, which may lose the last commits but never half of one), and
    // readers never wait for a writer.
    sqlite3_exec(db, "PRAGMA synchronous = NORMAL", nullptr, nullptr, nullptr);
    sqlite3_extended_result_codes(db, 1);
    std::unique_ptr<RegistryDatabase> opened(new RegistryDatabase(db));
    sqlite3_busy_handler(db, wait_for_lock, &opened->lock_wait_started_);

    // Everything below only reads; a file that fails here is left exactly as it was.
    try {
        opened->exec("PRAGMA foreign_keys = ON");
        Transaction check(*opened, Transaction::Kind::Read);
        Statement header(db, "SELECT (SELECT application_id FROM pragma_application_id),"
                             " (SELECT user_version FROM pragma_user_version),"
                             " (SELECT count(*) FROM sqlite_schema)");
        header.step();
        const int64_t app = header.integer(0);
        const int64_t version = header.integer(1);
        const int64_t objects = header.integer(2);
        if (app == 0 && version == 0 && objects == 0) {
            // An empty file: the empty tree. The first write makes the schema.
        } else if (app != application_id) {
            why = file + " is not a Vesmira configuration store";
            return OpenResult::Unusable;
        } else if (version != schema_version) {
            // Only one schema exists so far; a later release migrates older versions here.
            why = file + " has store schema version " + std::to_string(version) + ", this program knows " +
                  std::to_string(schema_version);
            return OpenResult::Unusable;
        } else {
            Statement integrity(db, "PRAGMA quick_check(1)");
            if (!integrity.step() || integrity.bytes(0) != "ok") {
                why = file + " is damaged";
                return OpenResult::Unusable;
            }
            opened->has_schema_ = true;
        }
        check.commit();
        if (opened->has_schema_ && (flags & SQLITE_OPEN_READONLY) == 0)
            opened->use_write_ahead_log();
    } catch (const DatabaseError& error) {
        why = file + ": " + error.what();
        const int primary = error.code() & 0xFF;
        if ((flags & SQLITE_OPEN_READONLY) == 0 && (primary == SQLITE_CANTOPEN || primary == SQLITE_READONLY))
            return OpenResult::Missing;
        return OpenResult::Unusable;
    }
    database = std::move(opened);
    return OpenResult::Opened;
}

RegistryDatabase::~RegistryDatabase()
{
    sqlite3_close_v2(db_);
}

void RegistryDatabase::exec(const char* sql)
{
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        fail(db_, sql);
}

RegistryDatabase::Transaction::Transaction(RegistryDatabase& database, Kind kind) : database_(database)
{
    nested_ = database_.open_transactions_ > 0;
    if (nested_)
        database_.exec("SAVEPOINT step");
    else
        database_.exec(kind == Kind::Write ? "BEGIN IMMEDIATE" : "BEGIN");
    open_ = true;
    ++database_.open_transactions_;
    if (kind == Kind::Write && !database_.has_schema()) {
        database_.create_schema();
        made_schema_ = true;
    }
}

RegistryDatabase::Transaction::~Transaction()
{
    if (!open_)
        return;
    --database_.open_transactions_;
    sqlite3_exec(database_.db_, nested_ ? "ROLLBACK TO step; RELEASE step" : "ROLLBACK", nullptr, nullptr, nullptr);
    // The schema made here is gone again; the next write makes it anew.
    if (made_schema_)
        database_.has_schema_.reset();
}

void RegistryDatabase::Transaction::commit()
{
    database_.exec(nested_ ? "RELEASE step" : "COMMIT");
    open_ = false;
    --database_.open_transactions_;
    // Inside an outer transaction the file only has the schema once that one commits.
    if (made_schema_ && !nested_)
        database_.use_write_ahead_log();
}

void RegistryDatabase::use_write_ahead_log()
{
    // Recorded in the file, so this changes something only once per file. It fails harmlessly
    // where the file or its folder can't be written; the store then keeps its rollback journal.
    sqlite3_exec(db_, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
}

bool RegistryDatabase::has_schema()
{
    if (has_schema_)
        return true;
    Statement probe(db_, "SELECT count(*) FROM sqlite_schema WHERE name = 'keys'");
    probe.step();
    if (probe.integer(0) == 0)
        return false;
    has_schema_ = true;
    return true;
}

void RegistryDatabase::create_schema()
{
    // Names are kept as written (blob: bytes, not text) and looked up by their folded form.
    // AUTOINCREMENT keeps row ids from being reused, so an id still held as some access
    // object's current key never comes to mean a newer key, and ids give the creation order.
    exec("CREATE TABLE keys ("
         " id INTEGER PRIMARY KEY AUTOINCREMENT,"
         " parent INTEGER REFERENCES keys(id),"
         " name BLOB NOT NULL,"
         " folded BLOB NOT NULL,"
         " UNIQUE (parent, folded));"
         "CREATE TABLE vals ("
         " id INTEGER PRIMARY KEY AUTOINCREMENT,"
         " key INTEGER NOT NULL REFERENCES keys(id),"
         " name BLOB NOT NULL,"
         " folded BLOB NOT NULL,"
         " type INTEGER NOT NULL,"
         " data NOT NULL,"
         " UNIQUE (key, folded));"
         "INSERT INTO keys (id, parent, name, folded) VALUES (1, NULL, x'', x'');");
    exec(("PRAGMA application_id = " + std::to_string(application_id)).c_str());
    exec(("PRAGMA user_version = " + std::to_string(schema_version)).c_str());
    has_schema_ = true;
}

std::optional<int64_t> RegistryDatabase::find_child(int64_t parent, std::string_view name)
{
    if (!has_schema())
        return std::nullopt;
    Statement query(db_, "SELECT id FROM keys WHERE parent = ?1 AND folded = ?2");
    query.bind(1, parent).bind_bytes(2, fold_name(name));
    if (!query.step())
        return std::nullopt;
    return query.integer(0);
}

int64_t RegistryDatabase::add_child(int64_t parent, std::string_view name)
{
    Statement insert(db_, "INSERT INTO keys (parent, name, folded) VALUES (?1, ?2, ?3)");
    insert.bind(1, parent).bind_bytes(2, name).bind_bytes(3, fold_name(name));
    insert.run();
    return sqlite3_last_insert_rowid(db_);
}

bool RegistryDatabase::key_exists(int64_t key)
{
    if (!has_schema())
        return key == root_key;
    Statement query(db_, "SELECT 1 FROM keys WHERE id = ?1");
    query.bind(1, key);
    return query.step();
}

std::optional<int64_t> RegistryDatabase::resolve(const std::vector<std::string>& names, bool create)
{
    int64_t key = root_key;
    for (const std::string& name : names) {
        std::optional<int64_t> child = find_child(key, name);
        if (!child) {
            if (!create)
                return std::nullopt;
            child = add_child(key, name);
        }
        key = *child;
    }
    return key;
}

std::vector<KeyEntry> RegistryDatabase::children(int64_t key)
{
    std::vector<KeyEntry> list;
    if (!has_schema())
        return list;
    Statement query(db_, "SELECT id, name FROM keys WHERE parent = ?1 ORDER BY id");
    query.bind(1, key);
    while (query.step())
        list.push_back({query.integer(0), query.bytes(1)});
    return list;
}

void RegistryDatabase::delete_key(int64_t key)
{
    if (key == root_key)
        throw DatabaseError("the root key can't be deleted", SQLITE_MISUSE);
    // Breadth-first list of the subtree; deleting it back to front removes every key after all
    // keys below it, without recursion however deep the tree is.
    std::vector<int64_t> subtree;
    {
        Statement query(db_, "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL"
                             " SELECT k.id FROM keys k JOIN sub ON k.parent = sub.id)"
                             " SELECT id FROM sub");
        query.bind(1, key);
        while (query.step())
            subtree.push_back(query.integer(0));
    }
    Statement drop_values(db_, "DELETE FROM vals WHERE key = ?1");
    Statement drop_key(db_, "DELETE FROM keys WHERE id = ?1");
    for (auto it = subtree.rbegin(); it != subtree.rend(); ++it) {
        drop_values.bind(1, *it).run();
        drop_values.reset();
        drop_key.bind(1, *it).run();
        drop_key.reset();
    }
}

std::optional<StoredValue> RegistryDatabase::find_value(int64_t key, std::string_view name)
{
    if (!has_schema())
        return std::nullopt;
    Statement query(db_, "SELECT name, type, data FROM vals WHERE key = ?1 AND folded = ?2");
    query.bind(1, key).bind_bytes(2, fold_name(name));
    if (!query.step())
        return std::nullopt;
    return read_value_row(query);
}

std::vector<StoredValue> RegistryDatabase::values(int64_t key)
{
    std::vector<StoredValue> list;
    if (!has_schema())
        return list;
    Statement query(db_, "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY id");
    query.bind(1, key);
    while (query.step())
        list.push_back(read_value_row(query));
    return list;
}

void RegistryDatabase::set_string(int64_t key, std::string_view name, std::string_view text)
{
    // Stored with its terminating zero, as the store's strings always are.
    std::string stored(text);
    stored.push_back('\0');
    set_value(key, name, static_cast<int>(ValueType::String), stored, 0, false);
}

void RegistryDatabase::set_integer(int64_t key, std::string_view name, int32_t number)
{
    set_value(key, name, static_cast<int>(ValueType::Integer), {}, number, true);
}

void RegistryDatabase::delete_values(int64_t key)
{
    Statement drop(db_, "DELETE FROM vals WHERE key = ?1");
    drop.bind(1, key).run();
}

void RegistryDatabase::set_value(int64_t key, std::string_view name, int type, std::string_view bytes,
                                 int64_t number, bool integer_data)
{
    // A write into a key that another access object has deleted meanwhile must fail, not
    // leave a value behind that belongs to no key.
    if (!key_exists(key))
        throw DatabaseError("the key no longer exists", SQLITE_NOTFOUND);
    const std::string folded = fold_name(name);
    Statement update(db_, "UPDATE vals SET type = ?3, data = ?4 WHERE key = ?1 AND folded = ?2");
    update.bind(1, key).bind_bytes(2, folded).bind(3, type);
    if (integer_data)
        update.bind(4, number);
    else
        update.bind_bytes(4, bytes);
    update.run();
    if (sqlite3_changes(db_) > 0)
        return;
    Statement insert(db_, "INSERT INTO vals (key, name, folded, type, data) VALUES (?1, ?2, ?3, ?4, ?5)");
    insert.bind(1, key).bind_bytes(2, name).bind_bytes(3, folded).bind(4, type);
    if (integer_data)
        insert.bind(5, number);
    else
        insert.bind_bytes(5, bytes);
    insert.run();
}

}  // namespace store
