#include "db/connectionsecurity.h"

#include "db/consoletext.h"

#include <QFileInfo>

namespace {

struct ModeName
{
    TlsMode mode;
    const char *setting;
    const char *choice;
};

const ModeName kModes[] = {
    {TlsMode::None, "none", "Non"},
    {TlsMode::Preferred, "preferred", "Si le serveur le propose"},
    {TlsMode::Required, "required", "Obligatoire"},
    {TlsMode::Verified, "verified", "Obligatoire, certificat vérifié"},
};

/** The library's text, cut and trimmed as the connection messages show it. */
QString shownError(const QString &libraryError)
{
    return trimmedBelow33(firstCharacters(libraryError, kErrorTextLength));
}

} // namespace

QString tlsModeSetting(TlsMode mode)
{
    for (const ModeName &name : kModes)
        if (name.mode == mode)
            return QString::fromLatin1(name.setting);
    return QStringLiteral("none");
}

TlsMode tlsModeFromSetting(const QString &word)
{
    const QString trimmed = word.trimmed();
    if (trimmed.isEmpty())
        return TlsMode::None;
    for (const ModeName &name : kModes)
        if (trimmed.compare(QLatin1StringView(name.setting), Qt::CaseInsensitive) == 0)
            return name.mode;
    return TlsMode::Required;
}

QStringList tlsModeChoices()
{
    QStringList choices;
    for (const ModeName &name : kModes)
        choices.append(QString::fromUtf8(name.choice));
    return choices;
}

bool goesThroughSocket(const QString &host, unsigned port, const QString &socket)
{
    if (!socket.isEmpty())
        return true;
    return port == 0 && (host.isEmpty() || host == QStringLiteral("localhost"));
}

QString caFileProblem(const QString &path)
{
    if (path.isEmpty())
        return {};
    const QFileInfo file(path);
    if (!file.exists())
        return QStringLiteral("Fichier CA introuvable : « %1 ». Choisissez le certificat de l'autorité "
                              "qui a signé celui du serveur.")
            .arg(path);
    if (!file.isFile() || !file.isReadable())
        return QStringLiteral("Fichier CA illisible : « %1 ».").arg(path);
    return {};
}

QString tlsFailureMessage(TlsMode mode, unsigned errorNumber, const QString &libraryError)
{
    if (errorNumber != kTlsHandshakeError)
        return {};
    const QString error = shownError(libraryError);
    if (error.contains(QStringLiteral("does not support"), Qt::CaseInsensitive))
        return tlsNotOfferedMessage();
    if (mode == TlsMode::Verified
        && (error.contains(QStringLiteral("certificate"), Qt::CaseInsensitive)
            || error.contains(QStringLiteral("verif"), Qt::CaseInsensitive)
            || error.contains(QStringLiteral("hostname"), Qt::CaseInsensitive)))
        return QStringLiteral("Certificat du serveur refusé (« %1 ») : vérifiez le fichier CA et que Host est "
                              "le nom ou l'adresse du certificat.")
            .arg(error);
    return QStringLiteral("Le chiffrement (TLS) n'a pas pu être établi avec le serveur : « %1 ».").arg(error);
}

QString tlsNotOfferedMessage()
{
    return QStringLiteral("Le serveur ne propose pas de connexion chiffrée (TLS) : connexion refusée. "
                          "Choisissez « Non » dans « Chiffrer la connexion » pour vous connecter en clair.");
}

QString tlsStatusMessage(TlsMode mode, const QString &cipher, bool throughSocket)
{
    if (!cipher.isEmpty())
        return QStringLiteral("Connexion chiffrée (%1)").arg(cipher);
    if (throughSocket && mode != TlsMode::None)
        return QStringLiteral("Connexion par le socket local, non chiffrée : elle ne quitte pas la machine");
    if (mode == TlsMode::Preferred)
        return QStringLiteral("Connexion en clair : le serveur ne propose pas de chiffrement");
    return {};
}
