#pragma once
// Reading a private key the user chose, refusing one that other users can read.

#include <openssl/types.h>

#include <memory>
#include <string>

namespace tls {

struct KeyFree {
    void operator()(EVP_PKEY* key) const;
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;

struct KeyFileResult {
    Key key;            // null when the file is refused or unreadable
    std::string error;  // why, when key is null
};

// The PEM private key in the file. The open file's own mode is checked, so a file swapped in
// after a check cannot slip past it: any permission for the group or others refuses it.
KeyFileResult read_key_file(const std::string& path);

}  // namespace tls
