#pragma once
// The certificate a window receiving syslog over TLS shows its senders: the one the user chose
// in the global options ("TlsCertificate" and "TlsKey" of the product key), or Vesmira's own,
// made on first use beside the configuration store.

#include <QString>

namespace config {

struct ServerCertificate {
    QString certificate_file;  // PEM, the chain
    QString key_file;          // PEM
    bool own = true;           // Vesmira's own, not chosen by the user
    QString error;             // why there is none; empty when both files are there
};

// The chosen certificate, or the own one (made now when it isn't there yet).
ServerCertificate server_certificate();
// Vesmira's own, whatever is chosen (made now when it isn't there yet).
ServerCertificate own_server_certificate();
// The user's choice; both empty: Vesmira's own again. One store transaction.
void choose_server_certificate(const QString& certificate_file, const QString& key_file);

}  // namespace config
