#include "ui/settings/securityfields.h"

#include "data/accountsecurity.h"
#include "data/zimconstants.h"
#include "data/zimdata.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>

SecurityFields::SecurityFields(QComboBox* transport, QComboBox* encryption, QLineEdit* stun_server,
                               QLineEdit* ca_file, QPushButton* ca_file_button)
    : QObject(transport), transport(transport), encryption(encryption), stun_server(stun_server),
      ca_file(ca_file), ca_file_button(ca_file_button)
{
    // Items in the order of AccountSecurity's values.
    transport->addItems({QStringLiteral("UDP"), QStringLiteral("TCP"), QStringLiteral("TLS")});
    encryption->addItems(
        {QStringLiteral("なし"), QStringLiteral("SRTP（相手が対応時）"), QStringLiteral("SRTP必須")});
    stun_server->setPlaceholderText(QStringLiteral("例: stun.example.jp:3478"));
    ca_file->setPlaceholderText(QStringLiteral("システムの証明書のみ"));
    transport->setToolTip(QStringLiteral("TLSではサーバ証明書を確認します"));
    encryption->setToolTip(QStringLiteral("SRTP必須では暗号化できない相手とは通話しません"));
    stun_server->setToolTip(QStringLiteral("指定するとSTUNとICEでNATを越えます"));
    ca_file->setToolTip(QStringLiteral("社内PBXの証明書を発行したCAのファイル（PEM）"));
    connect(ca_file_button, &QPushButton::clicked, this, &SecurityFields::slot_choose_ca_file);
    connect(transport, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &SecurityFields::slot_transport_changed);
    slot_transport_changed(transport->currentIndex());
}

void SecurityFields::load(const QMap<QString, QString>& account)
{
    const AccountSecurity security = AccountSecurity::from_settings(account);
    transport->setCurrentIndex(security.transport);
    encryption->setCurrentIndex(security.encryption);
    stun_server->setText(security.stun_server);
    ca_file->setText(security.ca_file);
    slot_transport_changed(transport->currentIndex());
}

QList<LockedFields::Field> SecurityFields::lockable() const
{
    return {{ZimData::Account, zim::KEY_TRANSPORT, transport},
            {ZimData::Account, zim::KEY_MEDIA_ENCRYPTION, encryption},
            {ZimData::Account, zim::KEY_STUN_SERVER, stun_server},
            {ZimData::Account, zim::KEY_CA_FILE, ca_file},
            {ZimData::Account, zim::KEY_CA_FILE, ca_file_button}};
}

void SecurityFields::write_to(QMap<QString, QString>& values) const
{
    AccountSecurity security;
    security.transport = static_cast<AccountSecurity::Transport>(transport->currentIndex());
    security.encryption = static_cast<AccountSecurity::Encryption>(encryption->currentIndex());
    security.stun_server = stun_server->text().trimmed();
    security.ca_file = ca_file->text().trimmed();
    security.write_to(values);
}

void SecurityFields::slot_choose_ca_file()
{
    const QString start = ca_file->text().isEmpty() ? QString() : QFileInfo(ca_file->text()).absolutePath();
    const QString chosen =
        QFileDialog::getOpenFileName(ca_file->window(), QStringLiteral("CA証明書ファイルを選択"), start,
                                     QStringLiteral("証明書 (*.pem *.crt *.cer);;すべてのファイル (*)"),
                                     nullptr, QFileDialog::DontUseNativeDialog);
    if (!chosen.isEmpty())
        ca_file->setText(chosen);
}

// The CA file only matters for TLS; it stays as typed for when TLS is chosen again.
void SecurityFields::slot_transport_changed(int index)
{
    // A CA file the administrator set stays greyed whatever the transport.
    const bool tls = index == AccountSecurity::TransportTls && !LockedFields::is_locked(ca_file);
    ca_file->setEnabled(tls);
    ca_file_button->setEnabled(tls);
}
