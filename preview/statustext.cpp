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

} // namespace

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
