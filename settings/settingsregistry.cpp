#include "settings/settingsregistry.h"

#include <algorithm>

QVariant Setting::read(const ProfileFile &ini) const
{
    const QVariant byDefault = fallback ? fallback(ini) : QVariant();
    QVariant value;
    switch (kind) {
    case SettingKind::Text:
        value = ini.readString(section, key, byDefault.toString());
        break;
    case SettingKind::Integer:
        value = ini.readInteger(section, key, byDefault.toInt());
        break;
    case SettingKind::Bool:
        value = ini.readBool(section, key, byDefault.toBool());
        break;
    case SettingKind::Colour:
        value = static_cast<quint32>(ini.readInteger(section, key, static_cast<qint32>(byDefault.toUInt())));
        break;
    }
    if (accepts && !accepts(value))
        return byDefault;
    return value;
}

QString Setting::textOf(const QVariant &v) const
{
    switch (kind) {
    case SettingKind::Text:
        return v.toString();
    case SettingKind::Integer:
        return QString::number(v.toInt());
    case SettingKind::Bool:
        if (v.typeId() == QMetaType::QString) // the file's text already, "" for no choice made
            return v.toString();
        return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case SettingKind::Colour:
        return QString::number(static_cast<qint32>(v.toUInt())); // signed decimal, as Windows stores it
    }
    return v.toString();
}

QString Setting::text() const
{
    return textOf(value());
}

const Setting &SettingsRegistry::declare(SettingsBlock block, Setting setting)
{
    // After the last entry of the same block or an earlier one.
    const auto at = std::upper_bound(m_entries.begin(), m_entries.end(), block,
                                     [](SettingsBlock b, const Entry &e) { return b < e.block; });
    const auto placed = m_entries.insert(at, Entry{block, std::make_unique<Setting>(std::move(setting))});
    return *placed->setting;
}

QList<const Setting *> SettingsRegistry::all() const
{
    QList<const Setting *> out;
    out.reserve(qsizetype(m_entries.size()));
    for (const Entry &e : m_entries)
        out.append(e.setting.get());
    return out;
}

QList<const Setting *> SettingsRegistry::inSection(QStringView section) const
{
    QList<const Setting *> out;
    for (const Entry &e : m_entries)
        if (e.setting->section == section)
            out.append(e.setting.get());
    return out;
}

QList<StoredSetting> SettingsRegistry::stored(const QList<const Setting *> &settings)
{
    QList<StoredSetting> out;
    out.reserve(settings.size());
    for (const Setting *s : settings)
        out.append({s->section, s->key, s->text()});
    return out;
}

QList<StoredSetting> SettingsRegistry::stored() const
{
    return stored(all());
}
