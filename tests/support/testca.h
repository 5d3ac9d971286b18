#pragma once

#include <QString>

// A certificate authority made with openssl at test time and a server certificate for 127.0.0.1
// that it signed; two of them in one test stand for a trusted and a foreign CA.
class TestCa
{
public:
    // Writes <name>-ca.crt, <name>-server.crt and <name>-server.key into dir. The server's
    // certificate names what alt_names says (openssl's subjectAltName syntax).
    bool make(const QString& dir, const QString& name,
              const QString& alt_names = QStringLiteral("IP:127.0.0.1,DNS:127.0.0.1"));
    QString ca_file;
    QString certificate_file;
    QString key_file;
    QString error; // openssl's output when make() failed
};
