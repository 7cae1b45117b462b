#pragma once
// The SQLite file behind the configuration store: its schema, its transactions and the key
// and value rows. Private to the store; TRegistry and the command-line tool work through it.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace store {

// Any failure of the database itself; TRegistry turns it into the store's own messages.
class DatabaseError : public std::runtime_error {
public:
    DatabaseError(const std::string& message, int code) : std::runtime_error(message), code_(code) {}
    int code() const { return code_; }

private:
    int code_;
};

// Value type codes as stored; they keep the numbers of the platform this store stands in for.
enum class ValueType : int { String = 1, Integer = 4 };

struct StoredValue {
    std::string name;
    int type = 0;         // a ValueType, or anything else a foreign hand left there
    std::string bytes;    // a string's stored bytes, terminating zero included
    int64_t number = 0;   // an integer's number
    bool is_integer_data = false;  // the data column held an integer
};

struct KeyEntry {
    int64_t id;
    std::string name;
};

class RegistryDatabase {
public:
    static constexpr int64_t root_key = 1;
    static constexpr int schema_version = 1;

    enum class OpenResult { Opened, Missing, Unusable };

    // Opens file. With create, missing folders (mode 0700) and the file (mode 0600) are made;
    // without it a missing file gives Missing and nothing is created. Unusable: the file can't be
    // opened, is not a database, fails its integrity check, or belongs to something else or to a
    // newer schema. An unusable file is never written to. why tells what was found.
    static OpenResult open(const std::string& file, bool create, std::unique_ptr<RegistryDatabase>& database,
                           std::string& why);
    ~RegistryDatabase();
    RegistryDatabase(const RegistryDatabase&) = delete;
    RegistryDatabase& operator=(const RegistryDatabase&) = delete;

    // One transaction; rolled back unless committed. A write transaction takes the write lock at
    // once (BEGIN IMMEDIATE), waiting out other writers up to the busy timeout, and makes the
    // schema in a file that has none yet. Begun while another one is open, it is a savepoint
    // inside that one: its own rollback undoes only its part, and its commit lets the outer
    // transaction decide.
    class Transaction {
    public:
        enum class Kind { Read, Write };
        Transaction(RegistryDatabase& database, Kind kind);
        ~Transaction();
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;
        void commit();

    private:
        RegistryDatabase& database_;
        bool open_ = false;
        bool nested_ = false;
        bool made_schema_ = false;
    };

    // False while the file is still empty: it then holds the empty tree, with the root only.
    bool has_schema();

    std::optional<int64_t> find_child(int64_t parent, std::string_view name);
    int64_t add_child(int64_t parent, std::string_view name);
    bool key_exists(int64_t key);
    // The keys along names from the root; with create the missing ones are added (write
    // transaction only). nullopt when a key is missing.
    std::optional<int64_t> resolve(const std::vector<std::string>& names, bool create);
    // Direct subkeys in creation order.
    std::vector<KeyEntry> children(int64_t key);
    // Removes key, all keys under it and all their values; the root can't be removed.
    void delete_key(int64_t key);

    std::optional<StoredValue> find_value(int64_t key, std::string_view name);
    // Values in creation order; a replaced value keeps its place and the letter case of its name.
    std::vector<StoredValue> values(int64_t key);
    void set_string(int64_t key, std::string_view name, std::string_view text);
    void set_integer(int64_t key, std::string_view name, int32_t number);
    void delete_values(int64_t key);

private:
    explicit RegistryDatabase(sqlite3* db) : db_(db) {}
    static OpenResult open_checked(const std::string& file, int flags, std::unique_ptr<RegistryDatabase>& database,
                                   std::string& why);
    void exec(const char* sql);
    void create_schema();
    void use_write_ahead_log();
    void set_value(int64_t key, std::string_view name, int type, std::string_view bytes, int64_t number,
                   bool integer_data);

    sqlite3* db_;
    std::chrono::steady_clock::time_point lock_wait_started_;
    std::optional<bool> has_schema_;  // known once seen inside a transaction; a schema never goes away
    int open_transactions_ = 0;
};

}  // namespace store
