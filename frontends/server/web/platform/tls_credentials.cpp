#include "frontends/server/web/platform/tls_credentials.h"

#include <QDateTime>
#include <QFile>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>

namespace web {

namespace {

// The contents of the DER element at the front of der, which moves past it;
// empty when there is none.
QByteArray takeElement(QByteArray& der) {
    if (der.size() < 2)
        return {};
    qsizetype at = 2;
    qsizetype length = quint8(der[1]);
    if (length & 0x80) { // the count of the length's bytes, which follow
        at += length & 0x7f;
        if (at == 2 || at > 6 || der.size() < at)
            return {};
        length = 0;
        for (qsizetype i = 2; i < at; ++i)
            length = length << 8 | quint8(der[i]);
    }
    if (der.size() - at < length)
        return {};
    const QByteArray contents = der.mid(at, length);
    der.remove(0, at + length);
    return contents;
}

// Qt tells no key's public half, but the key material of a certificate's
// public key (in its SubjectPublicKeyInfo's bit string: an RSA modulus and
// exponent, a DSA value, an elliptic curve point) is also part of its
// private key's DER form.
bool keysMatch(const QSslKey& privateKey, const QSslKey& publicKey) {
    QByteArray info = publicKey.toDer();
    QByteArray fields = takeElement(info);
    takeElement(fields);                              // the algorithm
    QByteArray material = takeElement(fields).mid(1); // past the count of unused bits
    if (material.startsWith('\x30'))                  // RSA's sequence of the two
        material = takeElement(material);
    return material.size() >= 16 && privateKey.toDer().contains(material);
}

} // namespace

std::optional<QSslConfiguration> readTlsCredentials(const QString& certFile, const QString& keyFile,
                                                    QString* error) {
    const auto fail = [error](const QString& why) {
        *error = why;
        return std::nullopt;
    };
    if (!QSslSocket::supportsSsl())
        return fail(
            QStringLiteral("no TLS library (%1)").arg(QSslSocket::sslLibraryVersionString()));
    QFile certs(certFile), key(keyFile);
    if (!certs.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("%1: %2").arg(certFile, certs.errorString()));
    const QList<QSslCertificate> chain = QSslCertificate::fromDevice(&certs, QSsl::Pem);
    if (chain.isEmpty())
        return fail(QStringLiteral("%1: no certificate in PEM").arg(certFile));
    if (!key.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("%1: %2").arg(keyFile, key.errorString()));
    const QSslKey privateKey(&key, chain.first().publicKey().algorithm(), QSsl::Pem);
    if (privateKey.isNull())
        return fail(QStringLiteral("%1: no private key in PEM without a passphrase, of the "
                                   "certificate's kind")
                        .arg(keyFile));
    if (!keysMatch(privateKey, chain.first().publicKey()))
        return fail(
            QStringLiteral("%1 is not the key of the certificate in %2").arg(keyFile, certFile));
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificateChain(chain);
    tls.setPrivateKey(privateKey);
    tls.setProtocol(QSsl::TlsV1_2OrLater);
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    return tls;
}

QString describeCertificate(const QSslConfiguration& tls) {
    const QSslCertificate c = tls.localCertificate();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const auto date = [](const QDateTime& d) { return d.toUTC().toString(Qt::ISODate); };
    // Served all the same when out of date (a renewal may be on its way):
    // the log says so.
    QString when = QStringLiteral("valid until %1").arg(date(c.expiryDate()));
    if (now < c.effectiveDate())
        when = QStringLiteral("not valid before %1").arg(date(c.effectiveDate()));
    else if (now > c.expiryDate())
        when = QStringLiteral("expired %1").arg(date(c.expiryDate()));
    return c.subjectDisplayName() + QStringLiteral(", ") + when;
}

} // namespace web
