#pragma once

#include <QLabel>

class ZimPhone;

// The padlock left of the call status, shown while the call's media is encrypted.
class EncryptionMark : public QLabel
{
    Q_OBJECT
public:
    EncryptionMark(QWidget* screen, ZimPhone* phone);

public slots:
    void slot_media_encryption(bool encrypted);
};
