#pragma once

#include <QByteArray>
#include <QString>

// The operator server's answer: a JSON object with a numeric "result" (0 accepted) and a
// "message". It is read as data; anything that is not such an object is a server error.
class OperatorReply
{
public:
    static const int SERVER_ERROR = 100;

    static OperatorReply parse(const QByteArray& body);
    // The text of the refusal box: the prefix for the result, then the message.
    QString error_text() const;

    int result = SERVER_ERROR;
    QString message;
};
