#include "preview/statustext.h"

#include <QHash>
#include <QRegularExpression>

namespace {

QString decodeReferences(const QString &text)
{
    static const QRegularExpression reference(QStringLiteral(R"(&(#[0-9]+|#[xX][0-9a-fA-F]+|[a-zA-Z]+);)"));
    QString out;
    qsizetype last = 0;
    for (auto it = reference.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(text).mid(last, m.capturedStart() - last);
        const QString name = m.captured(1);
        QString decoded;
        if (name.startsWith(u'#')) {
            bool ok = false;
            const uint code = name.startsWith(QLatin1String("#x"), Qt::CaseInsensitive) ? name.mid(2).toUInt(&ok, 16)
                                                                                         : name.mid(1).toUInt(&ok, 10);
            if (ok && code > 0 && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF))
                decoded = QString::fromUcs4(reinterpret_cast<const char32_t *>(&code), 1);
        } else {
            static const QHash<QString, QString> named{
                {QStringLiteral("amp"), QStringLiteral("&")},   {QStringLiteral("lt"), QStringLiteral("<")},
                {QStringLiteral("gt"), QStringLiteral(">")},    {QStringLiteral("quot"), QStringLiteral("\"")},
                {QStringLiteral("apos"), QStringLiteral("'")},  {QStringLiteral("nbsp"), QStringLiteral(" ")}};
            decoded = named.value(name, m.captured(0));
        }
        out += decoded;
        last = m.capturedEnd();
    }
    out += QStringView(text).mid(last);
    return out;
}

QString httpStatusWords(int status)
{
    static const QHash<int, QString> words{
        {400, QStringLiteral("requête invalide")},          {401, QStringLiteral("authentification requise")},
        {403, QStringLiteral("accès refusé")},               {404, QStringLiteral("page introuvable")},
        {405, QStringLiteral("méthode refusée")},            {408, QStringLiteral("délai dépassé")},
        {410, QStringLiteral("page supprimée")},             {413, QStringLiteral("requête trop grande")},
        {429, QStringLiteral("trop de requêtes")},           {500, QStringLiteral("erreur interne du serveur")},
        {501, QStringLiteral("fonction non prise en charge")}, {502, QStringLiteral("passerelle en erreur")},
        {503, QStringLiteral("service indisponible")},       {504, QStringLiteral("délai de la passerelle dépassé")},
    };
    return words.value(status, status >= 500 ? QStringLiteral("erreur du serveur") : QStringLiteral("requête refusée"));
}

QString networkErrorWords(int code)
{
    // Chromium's net error numbers.
    static const QHash<int, QString> words{
        {-3, QStringLiteral("chargement annulé")},          {-6, QStringLiteral("fichier introuvable")},
        {-7, QStringLiteral("délai dépassé")},              {-10, QStringLiteral("accès refusé")},
        {-20, QStringLiteral("chargement bloqué")},         {-21, QStringLiteral("le réseau a changé")},
        {-100, QStringLiteral("connexion fermée")},         {-101, QStringLiteral("connexion réinitialisée")},
        {-102, QStringLiteral("connexion refusée")},        {-105, QStringLiteral("adresse introuvable")},
        {-106, QStringLiteral("pas de connexion réseau")},  {-109, QStringLiteral("adresse injoignable")},
        {-118, QStringLiteral("délai de connexion dépassé")}, {-324, QStringLiteral("réponse vide du serveur")},
    };
    return words.value(code, QStringLiteral("erreur %1").arg(code));
}

} // namespace

QString loadFailureText(LoadErrorDomain domain, int code, const QString &url)
{
    QString what;
    switch (domain) {
    case LoadErrorDomain::Http:
        what = QStringLiteral("le serveur a répondu %1 (%2)").arg(code).arg(httpStatusWords(code));
        break;
    case LoadErrorDomain::Certificate:
        what = QStringLiteral("certificat du serveur refusé (erreur %1)").arg(code);
        break;
    case LoadErrorDomain::Dns:
        what = QStringLiteral("adresse introuvable (erreur %1)").arg(code);
        break;
    case LoadErrorDomain::Connection:
    case LoadErrorDomain::Internal:
    case LoadErrorDomain::Ftp:
    case LoadErrorDomain::Other:
        what = networkErrorWords(code);
        break;
    }
    return QStringLiteral("Échec du chargement de %1 : %2").arg(url, what);
}

QString plainStatusText(const QString &text)
{
    static const QRegularExpression tag(QStringLiteral(R"(<[^<>]*>)"));
    static const QRegularExpression placeholder(QStringLiteral(R"(\$i18n\{[^}]*\}|\{\{[^}]*\}\})"));
    static const QRegularExpression blanks(QStringLiteral(R"(\s+)"));
    QString plain = text;
    plain.replace(tag, QStringLiteral(" "));
    plain.replace(placeholder, QString());
    plain.replace(u'<', QString()).replace(u'>', QString()); // a cut tag left half-way
    plain = decodeReferences(plain);
    plain.replace(blanks, QStringLiteral(" "));
    return plain.trimmed();
}
