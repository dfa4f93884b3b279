#pragma once

#include <QProcess>

// NAME.pem and NAME.key (P-256, for a day, for 127.0.0.1) from Debian's openssl
// in the working folder: self-signed, or signed by the CA in CA.pem and CA.key.
inline bool makeCertificate(const QString& name, const QString& ca = {}) {
    const QString req("req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 1 -subj "
                      "/CN=%1 -keyout %1.key -out %1.pem -addext subjectAltName=IP:127.0.0.1");
    const QString by = ca.isEmpty() ? "" : QStringLiteral(" -CA %1.pem -CAkey %1.key").arg(ca);
    return QProcess::execute("openssl", (req.arg(name) + by).split(' ')) == 0;
}
