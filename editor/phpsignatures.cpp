#include "editor/phpsignatures.h"

#include "editor/completion.h"

#include "io/recovery.h"
#include "io/savefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace {

constexpr int kPhpTimeoutMs = 20000;

// One signature a line. Default values are written as PHP source (constants by
// name); a line break inside a value would end the line, so it is escaped.
const char kScript[] = R"php(
$value = function ($v) use (&$value) {
    if (is_array($v)) return $v === [] ? '[]' : '[...]';
    if ($v === null) return 'null';
    if (is_bool($v)) return $v ? 'true' : 'false';
    if (is_string($v)) return "'" . addcslashes($v, "\0..\37'\\") . "'";
    return var_export($v, true);
};
$param = function (ReflectionParameter $p) use ($value) {
    $s = $p->hasType() ? $p->getType() . ' ' : '';
    $s .= ($p->isPassedByReference() ? '&' : '') . ($p->isVariadic() ? '...' : '') . '$' . $p->getName();
    if ($p->isDefaultValueAvailable()) {
        try {
            $s .= ' = ' . ($p->isDefaultValueConstant() ? $p->getDefaultValueConstantName() : $value($p->getDefaultValue()));
        } catch (Throwable $e) {
        }
    }
    return $s;
};
$signature = function (ReflectionFunctionAbstract $f, string $name) use ($param) {
    $s = $name . '(' . implode(', ', array_map($param, $f->getParameters())) . ')';
    $type = $f->getReturnType() ?? (method_exists($f, 'getTentativeReturnType') ? $f->getTentativeReturnType() : null);
    return $type === null ? $s : $s . ': ' . $type;
};
$lines = [];
foreach (get_defined_functions()['internal'] as $name) {
    $lines[] = $signature(new ReflectionFunction($name), $name);
}
foreach (array_merge(get_declared_classes(), get_declared_interfaces(), get_declared_traits()) as $class) {
    $c = new ReflectionClass($class);
    if (!$c->isInternal()) continue;
    foreach ($c->getMethods(ReflectionMethod::IS_PUBLIC) as $m) {
        if ($m->getDeclaringClass()->getName() === $c->getName())
            $lines[] = $signature($m, $c->getName() . '::' . $m->getName());
    }
}
foreach (get_defined_constants() as $name => $v) {
    if (is_scalar($v) || $v === null) $lines[] = $name . ' = ' . $value($v);
}
echo implode("\n", $lines), "\n";
)php";

/** Runs `php` with `arguments`; its output, or null when it fails (then `why` says why). */
QString runPhp(const QString &php, const QStringList &arguments, QString *why)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(php, arguments);
    if (!process.waitForStarted(kPhpTimeoutMs)) {
        if (why)
            *why = process.errorString();
        return {};
    }
    process.closeWriteChannel();
    if (!process.waitForFinished(kPhpTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        if (why)
            *why = QStringLiteral("PHP ne répond pas");
        return {};
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        if (why)
            *why = QString::fromUtf8(process.readAllStandardError()).trimmed();
        return {};
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

/** The line of `list` that starts at `at`, or null. */
QString lineAt(const QString &list, qsizetype at)
{
    if (at < 0)
        return {};
    const qsizetype end = list.indexOf(u'\n', at);
    return list.mid(at, (end < 0 ? list.size() : end) - at);
}

} // namespace

QString phpReflectionScript()
{
    return QString::fromUtf8(kScript);
}

QString phpVersionLine(const QString &php)
{
    if (php.isEmpty())
        return {};
    const QString out = runPhp(php, {QStringLiteral("--version")}, nullptr);
    return out.section(u'\n', 0, 0).trimmed();
}

QString reflectPhpSignatures(const QString &php, QString *why)
{
    // Xdebug, when installed, only slows the run down.
    return runPhp(php, {QStringLiteral("-d"), QStringLiteral("xdebug.mode=off"), QStringLiteral("-d"),
                        QStringLiteral("display_errors=stderr"), QStringLiteral("-r"), phpReflectionScript()},
                  why);
}

QString readSignatureCache(const QString &cacheFile, const QString &version)
{
    QFile file(cacheFile);
    if (version.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromUtf8(file.readAll());
    const qsizetype firstBreak = text.indexOf(u'\n');
    if (firstBreak < 0 || QStringView(text).left(firstBreak) != QStringLiteral("# ") + version)
        return {};
    return text.mid(firstBreak + 1);
}

bool writeSignatureCache(const QString &cacheFile, const QString &version, const QString &signatures)
{
    if (!QDir().mkpath(QFileInfo(cacheFile).absolutePath()))
        return false;
    const QByteArray bytes = (QStringLiteral("# ") + version + u'\n' + signatures).toUtf8();
    return replaceFileAtomically(cacheFile, bytes, 0600, nullptr);
}

QString signatureCachePath()
{
    return recoveryFolder() + QStringLiteral("/php-signatures.txt");
}

QString loadPhpSignatures(const QString &php, const QString &cacheFile)
{
    const QString version = phpVersionLine(php);
    if (version.isEmpty())
        return {};
    const QString cached = readSignatureCache(cacheFile, version);
    if (!cached.isNull())
        return cached;
    const QString signatures = reflectPhpSignatures(php);
    if (!signatures.isEmpty())
        writeSignatureCache(cacheFile, version, signatures); // without a cache, the next start asks again
    return signatures;
}

QString phpSignatureFor(const QString &signatures, const QString &typedWord)
{
    // The name just before the "(": letters, digits and "_".
    qsizetype end = typedWord.endsWith(u'(') ? typedWord.size() - 1 : typedWord.size();
    qsizetype start = end;
    while (start > 0 && isPhpNameCharacter(typedWord[start - 1]))
        --start;
    if (start == end)
        return {};
    const QString call = typedWord.mid(start, end - start) + u'(';
    if (signatures.startsWith(call))
        return lineAt(signatures, 0);
    const qsizetype function = signatures.indexOf(u'\n' + call);
    if (function >= 0)
        return lineAt(signatures, function + 1);
    const qsizetype method = signatures.indexOf(QStringLiteral("::") + call);
    if (method < 0)
        return {};
    return lineAt(signatures, signatures.lastIndexOf(u'\n', method) + 1);
}
