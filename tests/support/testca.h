#pragma once

#include <QString>

// A certificate authority made with openssl at test time and a server certificate for 127.0.0.1
// that it signed; two of them in one test stand for a trusted and a foreign CA.
class TestCa
{
public:
    // Writes <name>-ca.crt, <name>-server.crt and <name>-server.key into dir.
    bool make(const QString& dir, const QString& name);
    QString ca_file;
    QString certificate_file;
    QString key_file;
    QString error; // openssl's output when make() failed
};
