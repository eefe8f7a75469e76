#include "app/commandline.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

#ifndef ONDREL_VERSION
#define ONDREL_VERSION "2.1"
#endif

namespace {

struct OptionText
{
    QStringList names; // short names first; the help shows them in this order
    QString description;
};

const QString kNewInstance = QStringLiteral("nouvelle-instance");

const QList<OptionText> &options()
{
    static const QList<OptionText> list = {
        {{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Affiche cette aide et quitte.")},
        {{QStringLiteral("v"), QStringLiteral("version")}, QStringLiteral("Affiche la version et quitte.")},
        {{kNewInstance},
         QStringLiteral("Ouvre une fenêtre à part, même quand une fenêtre d'Ondrel est déjà ouverte.")},
    };
    return list;
}

const QString kFileArgument = QStringLiteral("fichier");
const QString kFileArgumentText = QStringLiteral("Fichier ou dossier à ouvrir ; seul le premier est ouvert.");

const QString kSummary = QStringLiteral("atelier PHP : éditeur, aperçu sans cache et console MySQL");

// The paragraphs that both the help and the manual page give.
const QStringList kDescription = {
    QStringLiteral("Ondrel sert à écrire des pages PHP et à les voir aussitôt servies par le serveur web "
                   "local, sans cache. Sa fenêtre a six pages : « Fichier », « Editeur du source », "
                   "« Visualisation du résultat (F9) », « Base de donnée », « A propos » et "
                   "« Mots clé et aide »."),
    QStringLiteral("Un fichier nommé s'ouvre comme un clic dans la liste des fichiers : son dossier "
                   "s'affiche, son chemin va dans « Fichier », son texte dans l'éditeur, et son URL est "
                   "calculée. Un dossier nommé s'affiche dans la page « Fichier »."),
    QStringLiteral("Une seule fenêtre par utilisateur : quand Ondrel est déjà ouvert, « ondrel fichier » "
                   "confie le fichier à cette fenêtre, la met au premier plan et quitte."),
};

// Options read by Qt itself (QGuiApplication and its platform plugins), with
// whether they take a value. They are accepted and left for Qt.
const QList<QPair<QString, bool>> kQtOptions = {
    {QStringLiteral("platform"), true},      {QStringLiteral("platformpluginpath"), true},
    {QStringLiteral("platformtheme"), true}, {QStringLiteral("plugin"), true},
    {QStringLiteral("qwindowgeometry"), true}, {QStringLiteral("qwindowicon"), true},
    {QStringLiteral("qwindowtitle"), true},  {QStringLiteral("display"), true},
    {QStringLiteral("geometry"), true},      {QStringLiteral("name"), true},
    {QStringLiteral("title"), true},         {QStringLiteral("style"), true},
    {QStringLiteral("stylesheet"), true},    {QStringLiteral("session"), true},
    {QStringLiteral("reverse"), false},      {QStringLiteral("nograb"), false},
    {QStringLiteral("dograb"), false},       {QStringLiteral("sync"), false},
    {QStringLiteral("widgetcount"), false},
};

/** Qt Web Engine hands everything after this argument to its browser engine. */
const QString kWebEngineArgs = QStringLiteral("--webEngineArgs");

QString absolutePath(const QString &argument, const QString &currentFolder)
{
    QString path = argument;
    if (argument.startsWith(QLatin1String("file:")))
        path = QUrl(argument).toLocalFile();
    return QDir::cleanPath(QDir(currentFolder).absoluteFilePath(path));
}

QString optionNames(const OptionText &option)
{
    QStringList shown;
    for (const QString &name : option.names)
        shown << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
    return shown.join(QStringLiteral(", "));
}

/**
 * The words of a French text: "«" stays with the word after it, and "»", ":",
 * ";", "?", "!" with the word before, as no line may start or end with them.
 */
QStringList frenchWords(const QString &text)
{
    QStringList words;
    bool glueNext = false;
    for (const QString &word : text.split(u' ', Qt::SkipEmptyParts)) {
        const bool glueToPrevious = word.startsWith(u'»') || word == u":" || word == u";" || word == u"?" || word == u"!";
        if (!words.isEmpty() && (glueNext || glueToPrevious))
            words.last() += u' ' + word;
        else
            words << word;
        glueNext = word == u"«";
    }
    return words;
}

/** `text` cut at blanks into lines of at most `width` characters, each prefixed by `indent`. */
QString wrapped(const QString &text, int width, const QString &indent = {})
{
    QString out;
    QString line;
    for (const QString &word : frenchWords(text)) {
        if (!line.isEmpty() && indent.size() + line.size() + 1 + word.size() > width) {
            out += indent + line + u'\n';
            line.clear();
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    return out + indent + line + u'\n';
}

/** One entry of a two-column list: the names, then the text from column 24 on. */
QString helpEntry(const QString &names, const QString &text)
{
    constexpr int kColumn = 24;
    const QString head = QStringLiteral("  ") + names;
    const QString indent(kColumn, u' ');
    const QString body = wrapped(text, 79, indent);
    if (head.size() + 1 < kColumn)
        return head.leftJustified(kColumn) + body.mid(kColumn);
    return head + u'\n' + body;
}

/** Text for roff: backslashes escaped, no line break beside French punctuation, no line taken for a request. */
QString roff(const QString &text)
{
    QStringList words = frenchWords(QString(text).replace(u'\\', QStringLiteral("\\e")));
    for (QString &word : words)
        word.replace(u' ', QStringLiteral("\\~"));
    QString out = words.join(u' ');
    if (out.startsWith(u'.') || out.startsWith(u'\''))
        out.prepend(QStringLiteral("\\&"));
    return out;
}

/** An option or path for roff: its hyphens are minus signs, so it can be copied into a terminal. */
QString roffCode(const QString &text)
{
    return roff(text).replace(u'-', QStringLiteral("\\-"));
}

/** Splits a Markdown table row at the "|" that are not inside `code`; the cells come trimmed. */
QStringList tableCells(const QString &row)
{
    QStringList cells;
    QString cell;
    bool code = false;
    for (QChar c : row.trimmed()) {
        if (c == u'`')
            code = !code;
        if (c == u'|' && !code) {
            cells << cell.trimmed();
            cell.clear();
        } else {
            cell += c;
        }
    }
    cells << cell.trimmed();
    // A row starts and ends with "|": drop the empty cells outside them.
    if (!cells.isEmpty() && cells.first().isEmpty())
        cells.removeFirst();
    if (!cells.isEmpty() && cells.last().isEmpty())
        cells.removeLast();
    return cells;
}

/** The README's tables that the manual page gives, with the page's heading for each. */
struct ManualTable
{
    QString readmeHeading;
    QString manualHeading;
};

const QList<ManualTable> kManualTables = {
    {QStringLiteral("## Keys and mouse"), QStringLiteral("TOUCHES ET SOURIS")},
    {QStringLiteral("## Pointing Ondrel at your servers"), QStringLiteral("\"SERVEUR PHP INTÉGRÉ ET RACINE\"")},
    {QStringLiteral("## Environment"), QStringLiteral("ENVIRONNEMENT")},
};

/** One row as a tagged paragraph: the key (or field, or variable), then the rest, "Where: effect". */
QString manualEntry(const QStringList &cells)
{
    if (cells.size() >= 3)
        return QStringLiteral(".TP\n%1\n%2: %3\n")
            .arg(markdownToRoff(cells[1]), markdownToRoff(cells[0]),
                 markdownToRoff(cells.mid(2).join(QStringLiteral(" | "))));
    return QStringLiteral(".TP\n%1\n%2\n").arg(markdownToRoff(cells.value(0)), markdownToRoff(cells.value(1)));
}

} // namespace

QList<QStringList> markdownTable(const QString &markdown, const QString &heading)
{
    const QStringList lines = markdown.split(u'\n');
    const QString level = heading.left(heading.indexOf(u' ') + 1); // "## "
    qsizetype i = lines.indexOf(heading);
    if (i < 0 || level.isEmpty())
        return {};
    QList<QStringList> rows;
    bool header = true;
    for (++i; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.startsWith(level))
            break;
        if (!line.startsWith(u'|')) {
            if (!rows.isEmpty() || !header)
                break; // the end of the first table
            continue;
        }
        if (header) { // the column names
            header = false;
            continue;
        }
        const QStringList cells = tableCells(line);
        static const QRegularExpression separator(QStringLiteral("^:?-+:?$"));
        if (!cells.isEmpty() && separator.match(cells.first()).hasMatch())
            continue;
        rows << cells;
    }
    return rows;
}

QString markdownToRoff(const QString &cell)
{
    QString out;
    bool bold = false;
    bool code = false;
    for (qsizetype i = 0; i < cell.size(); ++i) {
        const QChar c = cell[i];
        if (c == u'`') {
            code = !code;
            out += code || bold ? QStringLiteral("\\fB") : QStringLiteral("\\fR");
        } else if (!code && c == u'*' && cell.mid(i, 2) == QLatin1String("**")) {
            bold = !bold;
            out += bold ? QStringLiteral("\\fB") : QStringLiteral("\\fR");
            ++i;
        } else if (c == u'\\') {
            out += QStringLiteral("\\e");
        } else if (c == u'-' && code) {
            out += QStringLiteral("\\-"); // an option or a path, copied into a terminal
        } else {
            out += c;
        }
    }
    if (bold || code)
        out += QStringLiteral("\\fR");
    if (out.startsWith(u'.') || out.startsWith(u'\''))
        out.prepend(QStringLiteral("\\&"));
    return out;
}

CommandLine parseCommandLine(const QStringList &arguments, const QString &currentFolder)
{
    QStringList ours = arguments;
    const qsizetype engine = ours.indexOf(kWebEngineArgs);
    if (engine >= 0)
        ours = ours.mid(0, engine);

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const OptionText &option : options())
        parser.addOption(QCommandLineOption(option.names));
    for (const auto &[name, takesValue] : kQtOptions) {
        QCommandLineOption option(name);
        if (takesValue)
            option.setValueName(QStringLiteral("valeur"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }

    CommandLine line;
    if (!parser.parse(ours)) {
        line.action = CommandLine::Action::Error;
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty()) {
            const QString &name = unknown.first();
            line.error = QStringLiteral("option inconnue « %1%2 »")
                             .arg(name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), name);
        } else {
            line.error = QStringLiteral("ligne de commande incorrecte (%1)").arg(parser.errorText());
        }
        return line;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        line.action = CommandLine::Action::Help;
        return line;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        line.action = CommandLine::Action::Version;
        return line;
    }
    line.newInstance = parser.isSet(kNewInstance);
    for (const QString &argument : parser.positionalArguments()) {
        if (!argument.isEmpty())
            line.files << absolutePath(argument, currentFolder);
    }
    return line;
}

QString helpText()
{
    QString text = QStringLiteral("Utilisation : ondrel [options] [%1…]\n").arg(kFileArgument);
    for (const QString &paragraph : kDescription)
        text += u'\n' + wrapped(paragraph, 79);
    text += QStringLiteral("\nOptions :\n");
    for (const OptionText &option : options())
        text += helpEntry(optionNames(option), option.description);
    text += QStringLiteral("\nArguments :\n") + helpEntry(kFileArgument, kFileArgumentText);
    text += QStringLiteral("\nPage de manuel : man ondrel\n");
    return text;
}

QString versionText()
{
    return QStringLiteral("ondrel " ONDREL_VERSION "\n") + licenceLine() + u'\n';
}

QString licenceLine()
{
    return QStringLiteral("Licence : GNU GPL version 3 ou ultérieure (GPL-3.0-or-later), "
                          "sans aucune garantie ; voir https://www.gnu.org/licenses/gpl-3.0.html");
}

QString errorHint()
{
    return QStringLiteral("Essayez « ondrel --help » pour la liste des options.\n");
}

QString manualPage(const QString &date, const QString &readme)
{
    QList<QList<QStringList>> tables;
    for (const ManualTable &table : kManualTables) {
        tables << markdownTable(readme, table.readmeHeading);
        if (tables.last().isEmpty())
            return {};
    }
    QString page;
    auto line = [&page](const QString &text) { page += text + u'\n'; };
    line(QStringLiteral(".TH ONDREL 1 \"%1\" \"Ondrel " ONDREL_VERSION "\" \"Commandes\"").arg(date));
    line(QStringLiteral(".nh")); // "ondrel" and the paths are not cut
    line(QStringLiteral(".SH NOM"));
    line(QStringLiteral("ondrel \\- ") + roff(kSummary));
    line(QStringLiteral(".SH SYNOPSIS"));
    line(QStringLiteral(".B ondrel"));
    line(QStringLiteral("[\\fIoptions\\fR] [\\fI%1\\fR...]").arg(kFileArgument));
    line(QStringLiteral(".SH DESCRIPTION"));
    for (qsizetype i = 0; i < kDescription.size(); ++i) {
        if (i > 0)
            line(QStringLiteral(".PP"));
        line(roff(kDescription[i]));
    }
    line(QStringLiteral(".SH OPTIONS"));
    for (const OptionText &option : options()) {
        line(QStringLiteral(".TP"));
        line(QStringLiteral(".B ") + roffCode(optionNames(option)));
        line(roff(option.description));
    }
    line(QStringLiteral(".TP"));
    line(QStringLiteral(".I ") + kFileArgument);
    line(roff(kFileArgumentText));
    for (qsizetype t = 0; t < kManualTables.size(); ++t) {
        line(QStringLiteral(".SH ") + kManualTables[t].manualHeading);
        if (t == 0)
            line(roff(QStringLiteral("Ces trois tableaux sont ceux du README d'Ondrel, en anglais.")));
        for (const QStringList &row : tables[t])
            page += manualEntry(row);
    }
    line(QStringLiteral(".SH FICHIERS"));
    const QList<QPair<QString, QString>> files = {
        {QStringLiteral("~/.config/ondrel/ondrel.ini"),
         QStringLiteral("Les réglages : place de la fenêtre, champs de la page « Fichier », dossier de "
                        "départ, couleurs de l'éditeur, dossier de l'aide, connexion MySQL (le mot de "
                        "passe est dans le trousseau de la session ; sans trousseau, il est ici en clair, "
                        "et le fichier n'est lisible que par son propriétaire).")},
        {QStringLiteral("~/.config/ondrel/ondrel.php"), QStringLiteral("La liste des mots clé.")},
        {QStringLiteral("~/.config/ondrel/ondrel.qry"),
         QStringLiteral("L'historique des requêtes, une par ligne.")},
        {QStringLiteral("$XDG_RUNTIME_DIR/ondrel-*.sock"),
         QStringLiteral("La prise locale par laquelle un nouveau lancement confie ses fichiers à la "
                        "fenêtre ouverte.")},
    };
    for (const auto &[path, text] : files) {
        line(QStringLiteral(".TP"));
        line(QStringLiteral(".I ") + roffCode(path));
        line(roff(text));
    }
    line(QStringLiteral(".PP"));
    line(roff(QStringLiteral("Une copie lancée depuis son dossier de compilation garde ces trois fichiers "
                             "à côté de son exécutable.")));
    line(QStringLiteral(".SH SIGNAUX"));
    line(roff(QStringLiteral("SIGTERM, SIGINT ou SIGHUP ferme la fenêtre sans poser de question : un texte "
                             "modifié et non enregistré est copié à côté des fichiers de réglages (le "
                             "chemin de la copie est écrit sur la sortie d'erreur), puis les réglages "
                             "sont enregistrés. Un second signal termine le processus aussitôt.")));
    line(QStringLiteral(".SH \"CODE DE RETOUR\""));
    const QList<QPair<QString, QString>> statuses = {
        {QStringLiteral("0"), QStringLiteral("Fin normale, ou fichiers confiés à la fenêtre déjà ouverte.")},
        {QStringLiteral("1"),
         QStringLiteral("Un fichier de réglages, ou la copie d'un texte non enregistré, n'a pas pu être "
                        "écrit à la fermeture (le message est écrit sur la sortie d'erreur) ; ou la "
                        "fenêtre déjà ouverte ne répond pas.")},
        {QString::number(kUsageExitStatus), QStringLiteral("Ligne de commande incorrecte.")},
    };
    for (const auto &[status, text] : statuses) {
        line(QStringLiteral(".TP"));
        line(QStringLiteral(".B ") + status);
        line(roff(text));
    }
    return page;
}
