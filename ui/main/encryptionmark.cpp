#include "ui/main/encryptionmark.h"

#include "data/zimconstants.h"
#include "phone/zimphone.h"

namespace {
// Between the user ID and the status text, centred on the status line (110, 2, 151 x 21).
const QRect PLACE(92, 5, 16, 16);
} // namespace

EncryptionMark::EncryptionMark(QWidget* screen, ZimPhone* phone) : QLabel(screen), phone(phone)
{
    setObjectName(QStringLiteral("encryptionMark"));
    setGeometry(PLACE);
    setStyleSheet(zim::STYLE_ENCRYPTION_MARK);
    setToolTip(zim::TIP_ENCRYPTED_MEDIA);
    hide();
    connect(phone, &ZimPhone::signal_media_encryption, this, &EncryptionMark::slot_media_encryption);
}

void EncryptionMark::slot_media_encryption(bool encrypted)
{
    // SRTP keys travel in the call's SIP messages: only TLS keeps them from the network.
    setToolTip(phone->media_keys_protected() ? zim::TIP_ENCRYPTED_MEDIA : zim::TIP_ENCRYPTED_MEDIA_OPEN_KEYS);
    setVisible(encrypted);
}
