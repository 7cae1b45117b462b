// The TLS certificate: the user's choice from the product key, else the own one.

#include "config/server_certificate.h"

#include "config/stored_value.h"
#include "store/store_paths.h"
#include "store/tregistry.h"
#include "tls/own_certificate.h"

namespace config {

ServerCertificate server_certificate()
{
    ServerCertificate chosen;
    {
        store::TRegistry registry;
        if (registry.OpenKey(store::product_key, false)) {
            read_text(registry, store::tls_certificate_value, Reading::to_open, chosen.certificate_file);
            read_text(registry, store::tls_key_value, Reading::to_open, chosen.key_file);
        }
    }
    if (!chosen.certificate_file.isEmpty() && !chosen.key_file.isEmpty()) {
        chosen.own = false;
        return chosen;
    }
    return own_server_certificate();
}

ServerCertificate own_server_certificate()
{
    const tls::OwnCertificate own = tls::ensure_own_certificate(store::TRegistry::default_folder());
    return {from_store(own.certificate_file), from_store(own.key_file), true, from_store(own.error)};
}

void choose_server_certificate(const QString& certificate_file, const QString& key_file)
{
    store::TRegistry registry;
    store::TRegistry::Transaction transaction(registry);
    registry.OpenKey(store::product_key, true);
    write_value(registry, store::tls_certificate_value, certificate_file);
    write_value(registry, store::tls_key_value, key_file);
    transaction.commit();
}

}  // namespace config
