// Making the own certificate: the key and certificate are each written to a new file with its
// final mode from the start, then renamed into place, so a half-written or too open file is
// never found there.

#include "tls/own_certificate.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tls {

namespace {

template <class T, void (*Free)(T*)>
struct Freer {
    void operator()(T* p) const { Free(p); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY, EVP_PKEY_free>>;
using CertificatePtr = std::unique_ptr<X509, Freer<X509, X509_free>>;

constexpr int validity_years = 10;

bool exists(const std::string& path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0;
}

std::string host_name()
{
    std::vector<char> name(HOST_NAME_MAX + 1, '\0');
    if (::gethostname(name.data(), name.size() - 1) != 0 || name[0] == '\0')
        return "localhost";
    return name.data();
}

// Makes the folder and its missing parents; the last one gets `mode`.
bool make_folders(const std::string& folder, mode_t mode)
{
    for (std::size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1))
        if (::mkdir(folder.substr(0, slash).c_str(), 0755) != 0 && errno != EEXIST)
            return false;
    return ::mkdir(folder.c_str(), mode) == 0 || errno == EEXIST;
}

bool add_dns_names(X509* certificate, const std::vector<std::string>& names)
{
    GENERAL_NAMES* general_names = sk_GENERAL_NAME_new_null();
    bool ok = general_names != nullptr;
    for (const std::string& name : names) {
        GENERAL_NAME* general_name = ok ? GENERAL_NAME_new() : nullptr;
        ASN1_IA5STRING* text = general_name ? ASN1_IA5STRING_new() : nullptr;
        ok = text != nullptr && ASN1_STRING_set(text, name.data(), static_cast<int>(name.size())) == 1;
        if (!ok) {
            ASN1_IA5STRING_free(text);
            GENERAL_NAME_free(general_name);
            break;
        }
        GENERAL_NAME_set0_value(general_name, GEN_DNS, text);
        sk_GENERAL_NAME_push(general_names, general_name);
    }
    ok = ok && X509_add1_ext_i2d(certificate, NID_subject_alt_name, general_names, 0, X509V3_ADD_DEFAULT) == 1;
    GENERAL_NAMES_free(general_names);
    return ok;
}

bool add_extension(X509* certificate, int nid, const char* value)
{
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    const bool ok = extension != nullptr && X509_add_ext(certificate, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return ok;
}

// A random positive 127-bit serial number.
bool set_serial(X509* certificate)
{
    const std::unique_ptr<BIGNUM, Freer<BIGNUM, BN_free>> serial(BN_new());
    return serial && BN_rand(serial.get(), 127, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) == 1
        && BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(certificate)) != nullptr;
}

// From now to the same moment `validity_years` later by the calendar.
bool set_validity(X509* certificate)
{
    std::time_t now = std::time(nullptr);
    std::tm until{};
    ::gmtime_r(&now, &until);
    until.tm_year += validity_years;
    return X509_time_adj_ex(X509_getm_notBefore(certificate), 0, 0, &now) != nullptr
        && ASN1_TIME_set(X509_getm_notAfter(certificate), ::timegm(&until)) != nullptr;
}

CertificatePtr self_signed(EVP_PKEY* key, const std::string& host)
{
    CertificatePtr certificate(X509_new());
    if (!certificate)
        return nullptr;
    X509* c = certificate.get();
    X509_NAME* subject = X509_get_subject_name(c);
    std::vector<std::string> names{host};
    if (host != "localhost")
        names.emplace_back("localhost");
    const bool ok = X509_set_version(c, X509_VERSION_3) == 1 && set_serial(c) && set_validity(c)
        && X509_NAME_add_entry_by_NID(subject, NID_commonName, MBSTRING_UTF8,
                                      reinterpret_cast<const unsigned char*>(host.c_str()), -1, -1, 0)
               == 1
        && X509_set_issuer_name(c, subject) == 1 && X509_set_pubkey(c, key) == 1
        && add_extension(c, NID_basic_constraints, "critical,CA:FALSE")
        && add_extension(c, NID_key_usage, "critical,digitalSignature")
        && add_extension(c, NID_ext_key_usage, "serverAuth")
        && add_extension(c, NID_subject_key_identifier, "hash") && add_dns_names(c, names)
        && X509_sign(c, key, EVP_sha256()) > 0;
    return ok ? std::move(certificate) : nullptr;
}

// Writes what `write_pem` puts into a BIO to a new file of the given mode, then renames it to
// `path`.
template <class WritePem>
std::string write_file(const std::string& path, mode_t mode, WritePem&& write_pem)
{
    const std::string temporary = path + ".new";
    ::unlink(temporary.c_str());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
    if (fd < 0)
        return "Cannot create " + temporary + ": " + std::strerror(errno) + ".";
    BIO* bio = BIO_new_fd(fd, BIO_CLOSE);
    bool ok = bio != nullptr && write_pem(bio) && BIO_flush(bio) == 1 && ::fsync(fd) == 0;
    if (bio != nullptr)
        BIO_free(bio);
    else
        ::close(fd);
    ok = ok && ::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return "Cannot write " + path + ": " + std::strerror(error) + ".";
    }
    return {};
}

}  // namespace

OwnCertificate ensure_own_certificate(const std::string& store_folder)
{
    const std::string folder = store_folder + "/tls";
    OwnCertificate own{folder + "/certificate.pem", folder + "/key.pem", {}};
    if (exists(own.certificate_file) && exists(own.key_file))
        return own;
    if (!make_folders(folder, 0700)) {
        own.error = "Cannot make the folder " + folder + ": " + std::strerror(errno) + ".";
        return own;
    }
    const KeyPtr key(EVP_EC_gen("P-256"));
    const CertificatePtr certificate = key ? self_signed(key.get(), host_name()) : nullptr;
    ERR_clear_error();
    if (!certificate) {
        own.error = "Cannot make a certificate for this computer.";
        return own;
    }
    own.error = write_file(own.key_file, 0600, [&](BIO* bio) {
        return PEM_write_bio_PrivateKey(bio, key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1;
    });
    if (own.error.empty())
        own.error = write_file(own.certificate_file, 0644, [&](BIO* bio) {
            return PEM_write_bio_X509(bio, certificate.get()) == 1;
        });
    return own;
}

}  // namespace tls
