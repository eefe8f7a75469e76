#include "debug/xdebugsetup.h"

#include <QProcess>

QStringList xdebugProbeArguments()
{
    return {QStringLiteral("-r"),
            QStringLiteral("echo extension_loaded('xdebug') ? 'loaded' : "
                           "(is_file(ini_get('extension_dir') . '/xdebug.so') ? 'loadable' : 'missing');")};
}

XdebugAvailability xdebugAvailability(const QByteArray &probeOutput)
{
    // The answer is the last word; php.ini may make php print warnings before it.
    const QByteArray out = probeOutput.trimmed();
    if (out.endsWith("loadable"))
        return XdebugAvailability::Loadable;
    if (out.endsWith("loaded"))
        return XdebugAvailability::Loaded;
    return XdebugAvailability::Missing;
}

XdebugAvailability probeXdebug(const QString &php)
{
    QProcess process;
    process.start(php, xdebugProbeArguments());
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(1000);
        return XdebugAvailability::Missing;
    }
    return xdebugAvailability(process.readAllStandardOutput());
}

QStringList xdebugServerArguments(XdebugAvailability availability, int clientPort)
{
    QStringList args;
    if (availability == XdebugAvailability::Loadable)
        args << QStringLiteral("-d") << QStringLiteral("zend_extension=xdebug.so");
    const auto set = [&args](const QString &setting) { args << QStringLiteral("-d") << setting; };
    set(QStringLiteral("xdebug.mode=debug"));
    set(QStringLiteral("xdebug.start_with_request=trigger"));
    // php's ini reader replaces ${NAME} by the environment's value.
    set(QStringLiteral("xdebug.trigger_value=${%1}").arg(QLatin1String(kXdebugKeyVariable)));
    set(QStringLiteral("xdebug.client_host=127.0.0.1"));
    set(QStringLiteral("xdebug.client_port=%1").arg(clientPort));
    set(QStringLiteral("xdebug.discover_client_host=0"));
    set(QStringLiteral("xdebug.connect_timeout_ms=500"));
    set(QStringLiteral("xdebug.log_level=0"));
    return args;
}

QStringList xdebugOffArguments()
{
    return {QStringLiteral("-d"), QStringLiteral("xdebug.mode=off")};
}

QString xdebugTrigger(const QString &key)
{
    return QStringLiteral("XDEBUG_TRIGGER=") + key;
}

QStringList xdebugIniLines(int clientPort)
{
    return {QStringLiteral("xdebug.mode=debug"), QStringLiteral("xdebug.start_with_request=trigger"),
            QStringLiteral("xdebug.client_port=%1").arg(clientPort)};
}

QString xdebugMissingMessage()
{
    return QStringLiteral("Xdebug n'est pas installé : installez le paquet php-xdebug pour déboguer "
                          "(l'aperçu F9 fonctionne sans).");
}
