#pragma once
// The access object for the per-user configuration store: a tree of keys holding typed values,
// kept in one SQLite database file. One object per operation: open a key, read or write, free it.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace store {

class RegistryDatabase;

// Raised when a value can't be read or written; carries only the message, e.g.
// "Konnte Daten für 'command' nicht setzen".
class ERegistryException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The store's three messages, with the value name (empty for a default value) in place.
ERegistryException wrong_type_error(const std::string& name);    // "Ungültiger Datentyp für '<name>'"
ERegistryException cannot_get_error(const std::string& name);    // "Konnte Daten für '<name>' nicht holen"
ERegistryException cannot_set_error(const std::string& name);    // "Konnte Daten für '<name>' nicht setzen"

// The only root there is: the current user's tree.
enum class TRootKey { CurrentUser };

class TRegistry {
public:
    // Makes everything the access object does from here until commit() one transaction,
    // so that a change of several values reaches the store whole or not at all. The write lock
    // is taken by the first operation that needs the file and held to the end. Left without
    // commit() (an error, an early return), it rolls back all that was done since it began and
    // closes the current key. One at a time per access object.
    class Transaction {
    public:
        explicit Transaction(TRegistry& registry);
        ~Transaction();
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;
        // A store that refuses the commit raises "Konnte Daten für '<name>' nicht setzen" with the
        // value written last.
        void commit();

    private:
        TRegistry& registry_;
    };

    // Uses the per-user database file (default_database_file()). Nothing is opened or created yet:
    // the file is opened by the first operation, and created only by a write or an OpenKey with create.
    TRegistry();
    // Works on the given database file instead; for the command-line tool and the tests.
    explicit TRegistry(std::string database_file);
    ~TRegistry();
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    // "$XDG_CONFIG_HOME/Tarnwheel/vesmira", with ~/.config when XDG_CONFIG_HOME is unset, empty
    // or not absolute: the store's folder, where the program's own TLS certificate lives too.
    static std::string default_folder();
    // default_folder() + "/registry.db"
    static std::string default_database_file();
    const std::string& DatabaseFile() const { return database_file_; }

    // Selecting a root closes the current key.
    void SetRootKey(TRootKey root);
    TRootKey RootKey() const { return root_; }

    // Resolves path from the root (a leading backslash is optional; every backslash separates
    // levels; names compare without regard to ASCII letter case). With create, missing keys along
    // the path are made. On success the key becomes the current key; on failure (missing key, or a
    // store that can't be used) the current key stays what it was and false is returned.
    bool OpenKey(const std::string& path, bool create);
    void CloseKey();
    bool HasCurrentKey() const { return current_key_ != 0; }

    // Reads on the current key; the empty name is the key's default value. Without a current key
    // every value counts as missing.
    // Missing: "". Not a string: "Ungültiger Datentyp für '<name>'". Otherwise the text up to its
    // first zero byte.
    std::string ReadString(const std::string& name);
    // Missing: "Konnte Daten für '<name>' nicht holen". Not an integer: "Ungültiger Datentyp für '<name>'".
    int32_t ReadInteger(const std::string& name);
    // As ReadInteger; true for any non-zero number.
    bool ReadBool(const std::string& name);

    // Create or replace the value with its type. Failure (no current key, the key was deleted
    // meanwhile, a store that can't be written): "Konnte Daten für '<name>' nicht setzen".
    void WriteString(const std::string& name, const std::string& value);
    void WriteInteger(const std::string& name, int32_t value);
    // Stores 0 or 1 as an integer.
    void WriteBool(const std::string& name, bool value);

    // Clear names, then add the current key's direct subkeys / values, in creation order.
    void GetKeyNames(std::vector<std::string>& names);
    void GetValueNames(std::vector<std::string>& names);

    // Deletes the key at path (from the root) with all its subkeys and values, as one change.
    // False when it doesn't exist, for the root itself, or when the store can't be written.
    bool DeleteKey(const std::string& path);

private:
    struct Group;

    // Inside a Transaction: begins its transaction with the first operation that needs one.
    void join_group(RegistryDatabase& db);
    // The open database, or null when the store can't be used for this access: a read finds no
    // file (the empty tree), a write couldn't create or open it, or the file is not our store.
    RegistryDatabase* database_for(bool write);
    // One value written in its own transaction (a step of the open Transaction, if any); any
    // failure raises "Konnte Daten ... nicht setzen".
    template <typename SetValue>
    void write_value(const std::string& name, SetValue set_value);
    // The names of the current key's subkeys or values; empty when the store can't be read.
    template <typename FetchEntries>
    void list_names(std::vector<std::string>& names, FetchEntries fetch_entries);

    std::string database_file_;
    TRootKey root_ = TRootKey::CurrentUser;
    std::unique_ptr<RegistryDatabase> db_;
    bool unusable_ = false;  // the file proved not to be a usable store; it is left alone from then on
    int64_t current_key_ = 0;  // row id of the current key; 0 = none
    std::unique_ptr<Group> group_;  // the open Transaction's state, if one is open
};

}  // namespace store
