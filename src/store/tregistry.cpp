// The store access object: key paths, the read semantics callers rely on, and the mapping of
// database failures onto the store's three messages.

#include "store/tregistry.h"

#include "store/key_path.h"
#include "store/registry_database.h"

#include <climits>
#include <optional>
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace store {

namespace {

std::string home_folder()
{
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return home;
    // No usable HOME (a stripped environment): ask the password database.
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::string buffer(size > 0 ? static_cast<std::size_t>(size) : 16384, '\0');
    passwd entry {};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr)
        return found->pw_dir;
    return "/";
}

}  // namespace

ERegistryException wrong_type_error(const std::string& name)
{
    return ERegistryException("Ungültiger Datentyp für '" + name + "'");
}

ERegistryException cannot_get_error(const std::string& name)
{
    return ERegistryException("Konnte Daten für '" + name + "' nicht holen");
}

ERegistryException cannot_set_error(const std::string& name)
{
    return ERegistryException("Konnte Daten für '" + name + "' nicht setzen");
}

struct TRegistry::Group {
    // Begun by the first operation of the group that needs the file.
    std::optional<RegistryDatabase::Transaction> transaction;
    std::string last_written;
};

TRegistry::Transaction::Transaction(TRegistry& registry) : registry_(registry)
{
    registry_.group_ = std::make_unique<Group>();
}

TRegistry::Transaction::~Transaction()
{
    const bool rolled_back = registry_.group_->transaction.has_value();
    registry_.group_.reset();
    // Keys made inside the group are gone, and their row ids may be given out again.
    if (rolled_back)
        registry_.CloseKey();
}

void TRegistry::Transaction::commit()
{
    Group& group = *registry_.group_;
    if (group.transaction) {
        try {
            group.transaction->commit();
        } catch (const DatabaseError&) {
            throw cannot_set_error(group.last_written);
        }
        group.transaction.reset();
    }
}

TRegistry::TRegistry() : TRegistry(default_database_file()) {}

TRegistry::TRegistry(std::string database_file) : database_file_(std::move(database_file)) {}

TRegistry::~TRegistry() = default;

std::string TRegistry::default_folder()
{
    // Only an absolute XDG_CONFIG_HOME counts; a relative one is to be ignored.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string folder = (config != nullptr && config[0] == '/') ? std::string(config) : home_folder() + "/.config";
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    if (folder == "/")
        folder.clear();
    return folder + "/Tarnwheel/vesmira";
}

std::string TRegistry::default_database_file()
{
    return default_folder() + "/registry.db";
}

RegistryDatabase* TRegistry::database_for(bool write)
{
    if (unusable_)
        return nullptr;
    if (!db_) {
        std::string why;
        switch (RegistryDatabase::open(database_file_, write, db_, why)) {
        case RegistryDatabase::OpenResult::Opened:
            break;
        case RegistryDatabase::OpenResult::Missing:
            // Not remembered: a later write still creates the file.
            return nullptr;
        case RegistryDatabase::OpenResult::Unusable:
            unusable_ = true;
            return nullptr;
        }
    }
    return db_.get();
}

void TRegistry::join_group(RegistryDatabase& db)
{
    if (group_ && !group_->transaction)
        group_->transaction.emplace(db, RegistryDatabase::Transaction::Kind::Write);
}

void TRegistry::SetRootKey(TRootKey root)
{
    CloseKey();
    root_ = root;
}

bool TRegistry::OpenKey(const std::string& path, bool create)
{
    const std::vector<std::string> names = split_key_path(path);
    RegistryDatabase* db = database_for(create);
    try {
        if (db == nullptr) {
            // A missing file is the empty tree: only its root exists.
            if (!create && !unusable_ && names.empty()) {
                current_key_ = RegistryDatabase::root_key;
                return true;
            }
        } else {
            join_group(*db);
            RegistryDatabase::Transaction transaction(
                *db, create ? RegistryDatabase::Transaction::Kind::Write : RegistryDatabase::Transaction::Kind::Read);
            const std::optional<int64_t> key = db->resolve(names, create);
            transaction.commit();
            if (key) {
                current_key_ = *key;
                return true;
            }
        }
    } catch (const DatabaseError&) {
    }
    // Opening with create fails only when the store can't be written. Leaving the previous key
    // current would send the caller's following writes into that key instead of raising.
    if (create)
        CloseKey();
    return false;
}

void TRegistry::CloseKey()
{
    current_key_ = 0;
}

std::string TRegistry::ReadString(const std::string& name)
{
    RegistryDatabase* db = current_key_ != 0 ? database_for(false) : nullptr;
    if (db == nullptr)
        return {};
    std::optional<StoredValue> value;
    try {
        value = db->find_value(current_key_, name);
    } catch (const DatabaseError&) {
        throw cannot_get_error(name);
    }
    if (!value)
        return {};
    if (value->type != static_cast<int>(ValueType::String) || value->is_integer_data)
        throw wrong_type_error(name);
    const std::size_t end = value->bytes.find('\0');
    return end == std::string::npos ? value->bytes : value->bytes.substr(0, end);
}

int32_t TRegistry::ReadInteger(const std::string& name)
{
    RegistryDatabase* db = current_key_ != 0 ? database_for(false) : nullptr;
    if (db == nullptr)
        throw cannot_get_error(name);
    std::optional<StoredValue> value;
    try {
        value = db->find_value(current_key_, name);
    } catch (const DatabaseError&) {
        throw cannot_get_error(name);
    }
    if (!value)
        throw cannot_get_error(name);
    if (value->type != static_cast<int>(ValueType::Integer) || !value->is_integer_data ||
        value->number < INT32_MIN || value->number > INT32_MAX)
        throw wrong_type_error(name);
    return static_cast<int32_t>(value->number);
}

bool TRegistry::ReadBool(const std::string& name)
{
    return ReadInteger(name) != 0;
}

template <typename SetValue>
void TRegistry::write_value(const std::string& name, SetValue set_value)
{
    RegistryDatabase* db = current_key_ != 0 ? database_for(true) : nullptr;
    if (db == nullptr)
        throw cannot_set_error(name);
    try {
        join_group(*db);
        RegistryDatabase::Transaction transaction(*db, RegistryDatabase::Transaction::Kind::Write);
        set_value(*db);
        transaction.commit();
    } catch (const DatabaseError&) {
        throw cannot_set_error(name);
    }
    if (group_)
        group_->last_written = name;
}

void TRegistry::WriteString(const std::string& name, const std::string& value)
{
    write_value(name, [&](RegistryDatabase& db) { db.set_string(current_key_, name, value); });
}

void TRegistry::WriteInteger(const std::string& name, int32_t value)
{
    write_value(name, [&](RegistryDatabase& db) { db.set_integer(current_key_, name, value); });
}

void TRegistry::WriteBool(const std::string& name, bool value)
{
    WriteInteger(name, value ? 1 : 0);
}

template <typename FetchEntries>
void TRegistry::list_names(std::vector<std::string>& names, FetchEntries fetch_entries)
{
    names.clear();
    RegistryDatabase* db = current_key_ != 0 ? database_for(false) : nullptr;
    if (db == nullptr)
        return;
    try {
        for (auto& entry : fetch_entries(*db))
            names.push_back(std::move(entry.name));
    } catch (const DatabaseError&) {
        // A store that fails here lists like an empty key.
        names.clear();
    }
}

void TRegistry::GetKeyNames(std::vector<std::string>& names)
{
    list_names(names, [this](RegistryDatabase& db) { return db.children(current_key_); });
}

void TRegistry::GetValueNames(std::vector<std::string>& names)
{
    list_names(names, [this](RegistryDatabase& db) { return db.values(current_key_); });
}

bool TRegistry::DeleteKey(const std::string& path)
{
    const std::vector<std::string> names = split_key_path(path);
    if (names.empty())
        return false;
    // Looked up for reading first: deleting in a store that doesn't exist yet creates nothing.
    RegistryDatabase* db = database_for(false);
    try {
        if (db == nullptr || !db->has_schema())
            return false;
        join_group(*db);
        RegistryDatabase::Transaction transaction(*db, RegistryDatabase::Transaction::Kind::Write);
        const std::optional<int64_t> key = db->resolve(names, false);
        if (!key)
            return false;
        db->delete_key(*key);
        transaction.commit();
        return true;
    } catch (const DatabaseError&) {
        return false;
    }
}

}  // namespace store
