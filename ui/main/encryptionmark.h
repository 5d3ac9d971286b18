#pragma once

#include <QLabel>

class ZimPhone;

// The padlock left of the call status, shown while the call's media is SRTP; its tooltip says
// whether the keys were protected by TLS on the way.
class EncryptionMark : public QLabel
{
    Q_OBJECT
public:
    EncryptionMark(QWidget* screen, ZimPhone* phone);

public slots:
    void slot_media_encryption(bool encrypted);

private:
    ZimPhone* phone;
};
