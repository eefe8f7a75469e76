#pragma once

#include "settings/profile.h"
#include "settings/sidefiles.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <vector>

/** How the settings file holds a value. */
enum class SettingKind
{
    Text,    // as typed
    Integer, // decimal, read by the settings file's integer rules
    Bool,    // "1" or "0"
    Colour,  // 0x00BBGGRR as a signed decimal, as Windows stores it
};

/**
 * Where a setting lives in the settings file. Owners declare their settings
 * into a block; the file holds the blocks in this order and, inside a block,
 * the settings in the order they were declared. Start-up applies them in the
 * same order, so a value that depends on another comes after it.
 */
enum class SettingsBlock
{
    WindowPlacement, // [MainW]
    FilesPage,       // the file, the site, the query string, the start folder
    EditorColours,
    Keywords,
    BuiltInServer,
    EditorOptions, // the preview beside the editor, saving while typing, tabs, colouring
    Debugger,
    Database, // [Mysql]
};

/**
 * One key of the settings file, declared once by the code that owns its value:
 * where it lives, what a file without it gives, how the owner's value is taken
 * for storing and how a read value is applied.
 */
struct Setting
{
    QString section;
    QString key;
    SettingKind kind = SettingKind::Text;
    /** The value a file without the key gives; may look at the rest of the file. */
    std::function<QVariant(const ProfileFile &ini)> fallback;
    /** The owner's value now. */
    std::function<QVariant()> value;
    /** Applies a read value at start-up; may throw OndrelError, which stops start-up there. */
    std::function<void(const QVariant &value)> apply;
    /** A read value this refuses (when set) reads as the fallback. */
    std::function<bool(const QVariant &value)> accepts;
    /** Holds a password: the settings file is kept owner-only while it has one. */
    bool secret = false;

    /** "Section/Key", as SideFileState names settings. */
    QString id() const { return section + u'/' + key; }
    /** The value in `ini`, or the fallback when the file lacks it, it does not read as its kind or is refused. */
    QVariant read(const ProfileFile &ini) const;
    /** The owner's value now, as the settings file holds it. */
    QString text() const;
    /** `value` (of this setting's kind) as the settings file holds it. */
    QString textOf(const QVariant &value) const;
};

/** A fallback that does not depend on the file. */
inline std::function<QVariant(const ProfileFile &)> constantFallback(QVariant value)
{
    return [value = std::move(value)](const ProfileFile &) { return value; };
}

/**
 * Every setting of the settings file, each declared once by its owner. Load and
 * store iterate it: nothing outside the declarations names a key or states a
 * default.
 */
class SettingsRegistry
{
public:
    /**
     * Declares `setting` at the end of `block`. The returned reference stays valid
     * as long as the registry, so a later declaration may read it (a fallback that
     * depends on another key).
     */
    const Setting &declare(SettingsBlock block, Setting setting);

    /** Every setting in the order of the settings file. */
    QList<const Setting *> all() const;
    /** The settings of `section`, in the order of the file. */
    QList<const Setting *> inSection(QStringView section) const;
    /** Every setting's value now, as the settings file holds it, in the order of the file. */
    QList<StoredSetting> stored() const;
    /** stored() for `settings` only. */
    static QList<StoredSetting> stored(const QList<const Setting *> &settings);

private:
    struct Entry
    {
        SettingsBlock block;
        std::unique_ptr<Setting> setting;
    };
    std::vector<Entry> m_entries; // sorted by block, stable
};
