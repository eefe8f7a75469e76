#include "editor/phphelppage.h"

#include "editor/callhint.h"

QString onlineManualUrl(const QString &name)
{
    const QString base = QStringLiteral("https://www.php.net/manual/fr/");
    const qsizetype colons = name.indexOf(QStringLiteral("::"));
    QString page = colons >= 0 ? name.left(colons) + u'.' + name.mid(colons + 2) : QStringLiteral("function.") + name;
    page = page.toLower().replace(u'_', u'-');
    return base + page + QStringLiteral(".php");
}

QString reflectionHelpPage(const QString &signature)
{
    const QString name = signature.left(signature.indexOf(u'('));
    const QString url = onlineManualUrl(name);
    QString html = QStringLiteral("<!DOCTYPE html>\n<html lang=\"fr\"><head><meta charset=\"utf-8\"><title>%1</title></head>"
                                  "<body style=\"font-family: sans-serif\">\n<h1>%1</h1>\n<pre>%2</pre>\n")
                       .arg(name.toHtmlEscaped(), signature.toHtmlEscaped());
    const QStringList parameters = signatureParameters(signature);
    html += QStringLiteral("<h2>Paramètres</h2>\n");
    if (parameters.isEmpty()) {
        html += QStringLiteral("<p>Aucun</p>\n");
    } else {
        html += QStringLiteral("<ul>\n");
        for (const QString &parameter : parameters)
            html += QStringLiteral("<li><code>%1</code></li>\n").arg(parameter.toHtmlEscaped());
        html += QStringLiteral("</ul>\n");
    }
    const QString returned = signatureReturnType(signature);
    html += QStringLiteral("<h2>Valeur de retour</h2>\n<p><code>%1</code></p>\n")
                .arg(returned.isEmpty() ? QStringLiteral("non déclarée") : returned.toHtmlEscaped());
    html += QStringLiteral("<p>Manuel en ligne : <a href=\"%1\">%1</a></p>\n</body></html>\n").arg(url.toHtmlEscaped());
    return html;
}
