// The database page's keys of the settings file ([Mysql]), declared once here:
// the connection's fields, where the password is kept, "Base intégrée", the
// schema tree, the connect time-out and TLS.
#include "pages/databasepage.h"

#include "db/builtindatabase.h"
#include "db/connectionsecurity.h"
#include "db/schematree.h"
#include "settings/consolepassword.h"
#include "settings/settingsregistry.h"
#include "widgets/widgets.h"

#include <QCheckBox>
#include <QComboBox>

namespace {

const QString kMysqlSection = QStringLiteral("Mysql");

/** A [Mysql] key whose default does not depend on the rest of the file. */
Setting mysqlSetting(const QString &key, SettingKind kind, const QVariant &byDefault, std::function<QVariant()> value,
                     std::function<void(const QVariant &)> apply)
{
    return {kMysqlSection, key, kind, constantFallback(byDefault), std::move(value), std::move(apply), {}, false};
}

bool isPositive(const QVariant &v)
{
    return v.toInt() > 0;
}

} // namespace

void DatabasePage::declareSettings(SettingsRegistry &registry)
{
    auto declare = [&registry](Setting setting) -> const Setting & {
        return registry.declare(SettingsBlock::Database, std::move(setting));
    };
    const Setting &hostSetting =
        declare(mysqlSetting(QStringLiteral("Host"), SettingKind::Text, QStringLiteral("localhost"),
                             [this] { return host->text(); }, [this](const QVariant &v) { host->setText(v.toString()); }));
    declare(mysqlSetting(QStringLiteral("User"), SettingKind::Text, QStringLiteral("root"),
                         [this] { return user->text(); }, [this](const QVariant &v) { user->setText(v.toString()); }));
    // Nothing while the session's keyring holds it.
    Setting password = mysqlSetting(QStringLiteral("Pass"), SettingKind::Text, QString(),
                                    [this] { return m_password->textForSettingsFile(); },
                                    [this](const QVariant &v) { pass->setText(v.toString()); });
    password.secret = true;
    declare(std::move(password));
    // Set once the user, asked whether the password moves to the keyring, said no: it stays here and
    // is not asked again. A file without the key: not asked yet.
    declare(mysqlSetting(QStringLiteral("PassDansFichier"), SettingKind::Bool, false,
                         [this] { return m_password->keepsInSettingsFile(); },
                         [this](const QVariant &v) { m_password->setKeepsInSettingsFile(v.toBool()); }));
    declare(mysqlSetting(QStringLiteral("Base"), SettingKind::Text, QStringLiteral("mysql"),
                         [this] { return base->text(); }, [this](const QVariant &v) { base->setText(v.toString()); }));
    // Ondrel's own MariaDB, for a new user when it is installed; one whose settings name another
    // host keeps that server. Saved empty when unticked for want of a server (the same default
    // again at the next start): installing one later offers it.
    declare({kMysqlSection, QStringLiteral("BaseIntegree"), SettingKind::Bool,
             [&hostSetting](const ProfileFile &ini) -> QVariant {
                 return !mariadbdExecutable().isEmpty() && hostSetting.read(ini) == hostSetting.fallback(ini);
             },
             [this]() -> QVariant {
                 const QString saved = builtinDatabaseSetting(cbBaseIntegree->isChecked(), !mariadbdExecutable().isEmpty());
                 return saved.isEmpty() ? QVariant(saved) : QVariant(saved == u"1");
             },
             [this](const QVariant &v) { cbBaseIntegree->setChecked(v.toBool()); }, {}, false});
    declare(mysqlSetting(QStringLiteral("ArbreSchema"), SettingKind::Bool, true, [this] { return !tvSchema->isFolded(); },
                         [this](const QVariant &v) { tvSchema->setFolded(!v.toBool()); }));
    Setting schemaWidth = mysqlSetting(QStringLiteral("ArbreSchemaLargeur"), SettingKind::Integer, 200,
                                       [this] { return tvSchema->shownWidth(); },
                                       [this](const QVariant &v) { tvSchema->setShownWidth(v.toInt()); });
    schemaWidth.accepts = isPositive;
    declare(std::move(schemaWidth));
    Setting timeout = mysqlSetting(QStringLiteral("DelaiConnexion"), SettingKind::Integer, kDefaultConnectTimeout,
                                   [this] { return DelaiConnexion; },
                                   [this](const QVariant &v) { DelaiConnexion = v.toInt(); });
    timeout.accepts = isPositive; // no time-out at all is not offered
    declare(std::move(timeout));
    // No TLS unless asked for: a settings file without the key connects as it always did.
    declare(mysqlSetting(QStringLiteral("Chiffrement"), SettingKind::Text, tlsModeSetting(TlsMode::None),
                         [this] { return tlsModeSetting(TlsMode(cbChiffrement->currentIndex())); },
                         [this](const QVariant &v) { cbChiffrement->setCurrentIndex(int(tlsModeFromSetting(v.toString()))); }));
    declare(mysqlSetting(QStringLiteral("FichierCA"), SettingKind::Text, QString(), [this] { return eFichierCA->text(); },
                         [this](const QVariant &v) { eFichierCA->setText(v.toString()); }));
}
