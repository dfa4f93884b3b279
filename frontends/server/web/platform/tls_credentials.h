#pragma once

#include <QSslConfiguration>
#include <QString>
#include <optional>

namespace web {

// What a TLS port serves with: a certificate (PEM, any intermediate
// certificates after it) and its private key (PEM, without a passphrase),
// for TLS 1.2 or later. Nothing, with the reason, when a file cannot be
// read or the key is not the certificate's.
std::optional<QSslConfiguration> readTlsCredentials(const QString& certFile, const QString& keyFile,
                                                    QString* error);

// The certificate served, for the log: whose it is and until when.
QString describeCertificate(const QSslConfiguration& tls);

} // namespace web
