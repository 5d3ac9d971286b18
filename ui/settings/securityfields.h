#pragma once

#include "ui/settings/lockedfields.h"

#include <QMap>
#include <QObject>
#include <QString>

class QComboBox;
class QLineEdit;
class QPushButton;

// The account's transport, media encryption, STUN server and CA file on a settings form; the
// settings window and the account page show the same four fields.
class SecurityFields : public QObject
{
    Q_OBJECT
public:
    SecurityFields(QComboBox* transport, QComboBox* encryption, QLineEdit* stun_server, QLineEdit* ca_file,
                   QPushButton* ca_file_button);

    // A missing key shows the plain default (UDP, no encryption, no STUN server, no CA file).
    void load(const QMap<QString, QString>& account);
    void write_to(QMap<QString, QString>& values) const;
    // The four fields under their keys, for greying those the administrator locked.
    QList<LockedFields::Field> lockable() const;

private slots:
    void slot_choose_ca_file();
    void slot_transport_changed(int index);

private:
    QComboBox* transport;
    QComboBox* encryption;
    QLineEdit* stun_server;
    QLineEdit* ca_file;
    QPushButton* ca_file_button;
};
