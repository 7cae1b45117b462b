// vesmira-store: shows the user's configuration store, exports it as text and imports it back,
// so a configuration can be inspected, backed up and moved.

#include "store/key_path.h"
#include "store/registry_database.h"
#include "store/store_text.h"
#include "store/tregistry.h"

#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr const char* usage_text =
    "Usage: vesmira-store [--file PATH] [COMMAND]\n"
    "Shows, exports and imports Vesmira's configuration store.\n"
    "\n"
    "Commands:\n"
    "  tree [KEY]                 print the tree, or the part below KEY (e.g.\n"
    "                             '\\Software\\Tarnwheel\\vesmira'), one key (\"name\\\")\n"
    "                             or value (\"name = data\") per line; the default\n"
    "  export [FILE]              write the whole store as text to FILE or standard output\n"
    "  import [--replace] [FILE]  read such text from FILE or standard input and write it\n"
    "                             into the store as one change: keys are added, values\n"
    "                             added or replaced; with --replace the store's other\n"
    "                             content is removed. Invalid text changes nothing.\n"
    "\n"
    "Options:\n"
    "  --file PATH                use the store in PATH instead of\n"
    "                             $XDG_CONFIG_HOME/Tarnwheel/vesmira/registry.db\n"
    "  --help                     show this text\n"
    "\n"
    "Exit status: 0 done, 1 failed, 2 wrong arguments.\n";

int usage_error(const std::string& problem)
{
    std::cerr << "vesmira-store: " << problem << "\nTry 'vesmira-store --help'.\n";
    return 2;
}

int fail(const std::string& problem)
{
    std::cerr << "vesmira-store: " << problem << '\n';
    return 1;
}

int run(const std::vector<std::string>& args)
{
    std::string file = store::TRegistry::default_database_file();
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--help" || args[i] == "-h") {
            std::cout << usage_text;
            return 0;
        }
        if (args[i] == "--file") {
            if (++i >= args.size())
                return usage_error("--file needs a path");
            file = args[i];
        } else {
            rest.push_back(args[i]);
        }
    }
    const std::string command = rest.empty() ? "tree" : rest.front();
    const std::vector<std::string> operands(rest.empty() ? rest.end() : rest.begin() + 1, rest.end());

    if (command == "tree" || command == "export") {
        if (operands.size() > 1)
            return usage_error("too many arguments for " + command);
        std::unique_ptr<store::RegistryDatabase> db;
        std::string why;
        const auto opened = store::RegistryDatabase::open(file, false, db, why);
        if (opened == store::RegistryDatabase::OpenResult::Unusable)
            return fail(why);
        if (command == "tree") {
            if (!db) {
                std::cerr << "vesmira-store: no store yet at " << file << '\n';
                return 0;
            }
            std::optional<int64_t> key = store::RegistryDatabase::root_key;
            if (!operands.empty()) {
                store::RegistryDatabase::Transaction lookup(*db, store::RegistryDatabase::Transaction::Kind::Read);
                key = db->resolve(store::split_key_path(operands.front()), false);
                lookup.commit();
                if (!key)
                    return fail("no key " + operands.front());
            }
            store::print_tree(*db, *key, std::cout);
            return std::cout.flush() ? 0 : fail("cannot write the tree");
        }
        std::ofstream to_file;
        std::ostream* out = &std::cout;
        if (!operands.empty()) {
            to_file.open(operands.front(), std::ios::binary | std::ios::trunc);
            if (!to_file)
                return fail("cannot write " + operands.front());
            out = &to_file;
        }
        if (db)
            store::export_tree(*db, *out);
        else
            *out << "vesmira-store 1\n";  // no store yet: the empty tree
        out->flush();
        return *out ? 0 : fail("cannot write the export");
    }

    if (command == "import") {
        bool replace = false;
        std::vector<std::string> files;
        for (const std::string& operand : operands) {
            if (operand == "--replace")
                replace = true;
            else
                files.push_back(operand);
        }
        if (files.size() > 1)
            return usage_error("too many arguments for import");
        std::ifstream from_file;
        std::istream* in = &std::cin;
        if (!files.empty()) {
            from_file.open(files.front(), std::ios::binary);
            if (!from_file)
                return fail("cannot read " + files.front());
            in = &from_file;
        }
        std::unique_ptr<store::RegistryDatabase> db;
        std::string why;
        if (store::RegistryDatabase::open(file, true, db, why) != store::RegistryDatabase::OpenResult::Opened)
            return fail(why);
        std::string error;
        if (!store::import_tree(*db, *in, replace, error))
            return fail(error + "; nothing was changed");
        return 0;
    }
    return usage_error("unknown command " + command);
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        return run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& error) {
        return fail(error.what());
    }
}
