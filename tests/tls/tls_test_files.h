#pragma once
// What the TLS tests share: running the openssl tool, and reading a certificate file.

#include <openssl/pem.h>
#include <openssl/x509.h>

#include <QProcess>
#include <QStringList>
#include <QtTest>

#include <memory>
#include <optional>

namespace tls_test {

using Certificate = std::unique_ptr<X509, decltype(&X509_free)>;

// Runs `openssl` with the arguments in `folder`: its standard output, or nothing when it failed.
inline std::optional<QByteArray> openssl(const QString& folder, const QStringList& arguments)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start("openssl", arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qWarning() << "openssl" << arguments << "failed:" << process.readAllStandardError();
        return std::nullopt;
    }
    return process.readAllStandardOutput();
}

// `openssl req` making a P-256 key NAME.key and asking for a certificate with subject CN=NAME;
// "-x509" and "-out" make it self-signed, "-out" alone a request.
inline QStringList new_key(const QString& name)
{
    return {"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-keyout", name + ".key",
            "-subj", "/CN=" + name};
}

inline Certificate read_certificate(const QString& file)
{
    FILE* stream = std::fopen(file.toLocal8Bit().constData(), "r");
    X509* certificate = stream != nullptr ? PEM_read_X509(stream, nullptr, nullptr, nullptr) : nullptr;
    if (stream != nullptr)
        std::fclose(stream);
    return {certificate, &X509_free};
}

// "SHA256:AB:…" as the openssl tool prints it ("sha256 Fingerprint=AB:…").
inline QString tool_fingerprint(const QString& folder, const QString& file, const QString& digest)
{
    const QByteArray printed =
        openssl(folder, {"x509", "-noout", "-fingerprint", "-" + digest, "-in", file}).value_or(QByteArray()).trimmed();
    return digest.toUpper() + ":" + QString::fromLatin1(printed.mid(printed.indexOf('=') + 1));
}

}  // namespace tls_test
