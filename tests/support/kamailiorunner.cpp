#include "kamailiorunner.h"

#include "sipprunner.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>

KamailioRunner::KamailioRunner()
{
    process.setProcessChannelMode(QProcess::MergedChannels);
}

KamailioRunner::~KamailioRunner()
{
    if (process.state() != QProcess::NotRunning) {
        process.terminate(); // the main process ends its children
        if (!process.waitForFinished(10000)) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
}

bool KamailioRunner::write_config(const QString& name, QByteArray text)
{
    QFile target(work.filePath(name));
    return target.open(QIODevice::WriteOnly) && target.write(text) == text.size();
}

bool KamailioRunner::start_tls(const QString& certificate_file, const QString& key_file, int timeout_ms)
{
    // Ports free for UDP are almost always free for TCP too.
    tls_sip_port = free_udp_port();
    do
        tcp_sip_port = free_udp_port();
    while (tcp_sip_port == tls_sip_port);
    const QByteArray tls = "[server:default]\nmethod = TLSv1.2+\nverify_certificate = no\n"
                           "require_certificate = no\ncertificate = " +
                           certificate_file.toUtf8() + "\nprivate_key = " + key_file.toUtf8() + "\n";
    if (!write_config(QStringLiteral("tls.cfg"), tls))
        return false;
    defines.append(QStringLiteral("WITH_TLS"));
    return start(timeout_ms);
}

// The presence modules keep publications in a database: SQLite from Kamailio's own table scripts.
bool KamailioRunner::make_presence_database()
{
    const QString name = QStringLiteral("kamailio-presence-%1").arg(quintptr(this));
    bool made = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(work.filePath(QStringLiteral("presence.sqlite")));
        made = db.open();
        for (const char* script : {"standard", "presence"}) {
            QFile file(
                QStringLiteral("/usr/share/kamailio/db_sqlite/%1-create.sql").arg(QLatin1String(script)));
            made = made && file.open(QIODevice::ReadOnly);
            const QStringList statements = QString::fromUtf8(file.readAll()).split(QLatin1Char(';'));
            for (const QString& statement : statements) {
                if (made && !statement.trimmed().isEmpty())
                    made = QSqlQuery(db).exec(statement);
            }
        }
    }
    QSqlDatabase::removeDatabase(name);
    return made;
}

bool KamailioRunner::start(int timeout_ms)
{
    if (defines.contains(QStringLiteral("WITH_PRESENCE")) && !make_presence_database())
        return false;
    QFile source(QStringLiteral(VELORA_SIP_SCENARIOS "/kamailio.cfg"));
    if (!source.open(QIODevice::ReadOnly))
        return false;
    sip_port = free_udp_port();
    QByteArray config = source.readAll();
    config.replace("TLSCONFIG", work.filePath(QStringLiteral("tls.cfg")).toUtf8());
    config.replace("TLSPORT", QByteArray::number(tls_sip_port));
    config.replace("TCPPORT", QByteArray::number(tcp_sip_port));
    config.replace("PORT", QByteArray::number(sip_port));
    config.replace("CONTROL", control_socket().toUtf8());
    config.replace("PRESENCEDB", work.filePath(QStringLiteral("presence.sqlite")).toUtf8());
    if (!write_config(QStringLiteral("kamailio.cfg"), config))
        return false;
    QStringList arguments = {QStringLiteral("-f"),  work.filePath(QStringLiteral("kamailio.cfg")),
                             QStringLiteral("-DD"), QStringLiteral("-E"),
                             QStringLiteral("-m"),  QStringLiteral("32"),
                             QStringLiteral("-M"),  QStringLiteral("8"),
                             QStringLiteral("-P"),  work.filePath(QStringLiteral("kamailio.pid")),
                             QStringLiteral("-Y"),  work.path()};
    for (const QString& name : defines)
        arguments << QStringLiteral("-A") << name;
    process.start(QStringLiteral("kamailio"), arguments);
    if (!process.waitForStarted(timeout_ms))
        return false;
    QDeadlineTimer deadline(timeout_ms);
    while (!deadline.hasExpired()) {
        if (log().contains(QStringLiteral("probe_max_receive_buffer")))
            return true;
        if (process.state() == QProcess::NotRunning)
            return false;
        process.waitForReadyRead(100);
    }
    return false;
}

QString KamailioRunner::log()
{
    output += QString::fromUtf8(process.readAll());
    return output;
}

int KamailioRunner::registered_port(const QString& user)
{
    const QRegularExpression line(
        QStringLiteral("REGISTERED sip:%1@[^ ]+ contact <sip:[^@>]*@?127\\.0\\.0\\.1:(\\d+)")
            .arg(QRegularExpression::escape(user)));
    int port = 0;
    auto it = line.globalMatch(log());
    while (it.hasNext())
        port = it.next().captured(1).toInt();
    return port;
}

QList<KamailioRunner::Registration> KamailioRunner::registrations()
{
    // "REGISTERED <from> contact <contact header> expires <Expires header or <null>>"
    const QRegularExpression line(
        QStringLiteral("REGISTERED sip:([^@ ]+)@[^ ]+ contact (.*) expires ([^\\n]*)"));
    const QRegularExpression contact_port(QStringLiteral("127\\.0\\.0\\.1:(\\d+)"));
    const QRegularExpression contact_expires(QStringLiteral(";\\s*expires\\s*=\\s*(\\d+)"));
    QList<Registration> result;
    auto it = line.globalMatch(log());
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        const QString contact = match.captured(2);
        const QString header = match.captured(3).trimmed();
        const QRegularExpressionMatch param = contact_expires.match(contact);
        const bool removal =
            header == QStringLiteral("0") || (param.hasMatch() && param.captured(1).toInt() == 0);
        result.append({match.captured(1), contact_port.match(contact).captured(1).toInt(), removal});
    }
    return result;
}

int KamailioRunner::registration_count(const QString& user)
{
    int count = 0;
    for (const Registration& registration : registrations())
        count += registration.user == user && !registration.removal;
    return count;
}

QString KamailioRunner::control_socket() const
{
    return work.filePath(QStringLiteral("control"));
}

QStringList KamailioRunner::contacts(const QString& user)
{
    QProcess lookup;
    lookup.start(QStringLiteral("kamcmd"),
                 {QStringLiteral("-s"), QStringLiteral("unix:") + control_socket(),
                  QStringLiteral("ul.lookup"), QStringLiteral("location"), QStringLiteral("s:") + user});
    if (!lookup.waitForFinished(5000))
        return {QStringLiteral("kamcmd gave no answer")};
    QStringList result;
    const QRegularExpression address(QStringLiteral("Address: (\\S+)"));
    auto it = address.globalMatch(QString::fromUtf8(lookup.readAllStandardOutput()));
    while (it.hasNext())
        result.append(it.next().captured(1));
    return result;
}
