// Reading a private key file: its mode checked on the opened descriptor, its size bounded.

#include "tls/key_file.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tls {

namespace {

// A PEM key is a few kilobytes; anything much larger is not one.
constexpr off_t max_key_file_bytes = 1024 * 1024;

struct Descriptor {
    int fd;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

}  // namespace

void KeyFree::operator()(EVP_PKEY* key) const
{
    EVP_PKEY_free(key);
}

KeyFileResult read_key_file(const std::string& path)
{
    const Descriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    struct stat status {};
    if (file.fd < 0 || ::fstat(file.fd, &status) != 0)
        return {nullptr, "The key file " + path + " cannot be read: " + std::strerror(errno) + "."};
    if ((status.st_mode & 077) != 0)
        return {nullptr, "The key file " + path
                             + " can be read by other users; make it readable by you only (chmod 600)."};
    if (!S_ISREG(status.st_mode) || status.st_size > max_key_file_bytes)
        return {nullptr, "The key file " + path + " is not a key file."};
    std::string text(static_cast<std::size_t>(status.st_size), '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(file.fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    text.resize(got);
    const std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())),
                                                        &BIO_free);
    // No pass phrase is asked: OpenSSL's own prompt would block on a terminal nobody watches.
    const auto no_pass_phrase = [](char*, int, int, void*) { return 0; };
    Key key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, no_pass_phrase, nullptr) : nullptr);
    ERR_clear_error();
    OPENSSL_cleanse(text.data(), text.size());
    if (!key)
        return {nullptr, "The key file " + path + " holds no private key in PEM form (or it is encrypted)."};
    return {std::move(key), {}};
}

}  // namespace tls
