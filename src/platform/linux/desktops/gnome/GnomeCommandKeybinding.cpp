#include "platform/linux/desktops/gnome/GnomeCommandKeybinding.h"

#include "core/support/WrenlarkCommand.h"
#include "platform/linux/shortcuts/ShortcutKey.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringList>
#include <gio/gio.h>

namespace {

constexpr char listSchema[] = "org.gnome.settings-daemon.plugins.media-keys";
constexpr char listKey[] = "custom-keybindings";
constexpr char entrySchema[] = "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding";

QString tr(const char *text)
{
    return QCoreApplication::translate("GnomeCommandKeybinding", text);
}

bool schemaInstalled(const char *id)
{
    GSettingsSchemaSource *source = g_settings_schema_source_get_default();
    GSettingsSchema *schema = source ? g_settings_schema_source_lookup(source, id, TRUE) : nullptr;
    if (!schema)
        return false;
    g_settings_schema_unref(schema);
    return true;
}

// One GSettings object for the length of a call. GSettings delivers its
// change signals in the main context that was the thread's default when it
// was made; this process's global default context belongs to the AT-SPI
// thread, so each object gets a private one instead (nothing here listens).
class Settings
{
public:
    explicit Settings(const char *schema, const QString &path = {})
        : m_context(g_main_context_new())
    {
        g_main_context_push_thread_default(m_context);
        m_settings = path.isEmpty() ? g_settings_new(schema)
                                    : g_settings_new_with_path(schema, path.toUtf8().constData());
    }
    ~Settings()
    {
        g_settings_sync();
        g_object_unref(m_settings);
        g_main_context_pop_thread_default(m_context);
        g_main_context_unref(m_context);
    }
    Settings(const Settings &) = delete;
    Settings &operator=(const Settings &) = delete;

    QString string(const char *key) const
    {
        gchar *value = g_settings_get_string(m_settings, key);
        const QString text = QString::fromUtf8(value);
        g_free(value);
        return text;
    }
    bool setString(const char *key, const QString &value)
    {
        return g_settings_set_string(m_settings, key, value.toUtf8().constData());
    }
    QStringList strings(const char *key) const
    {
        gchar **values = g_settings_get_strv(m_settings, key);
        QStringList list;
        for (gchar **value = values; value && *value; ++value)
            list << QString::fromUtf8(*value);
        g_strfreev(values);
        return list;
    }
    bool setStrings(const char *key, const QStringList &values)
    {
        QList<QByteArray> bytes;
        for (const QString &value : values)
            bytes << value.toUtf8();
        std::vector<const gchar *> pointers;
        for (const QByteArray &value : bytes)
            pointers.push_back(value.constData());
        pointers.push_back(nullptr);
        return g_settings_set_strv(m_settings, key, pointers.data());
    }
    void reset(const char *key) { g_settings_reset(m_settings, key); }

private:
    GMainContext *m_context;
    GSettings *m_settings = nullptr;
};

// The settings where GNOME keeps the keys of its own actions.
constexpr const char *desktopKeybindingSchemas[] = {
    "org.gnome.desktop.wm.keybindings",
    "org.gnome.shell.keybindings",
    "org.gnome.mutter.keybindings",
    "org.gnome.mutter.wayland.keybindings",
    "org.gnome.settings-daemon.plugins.media-keys",
};

// Whether a GTK accelerator ("<Primary><Alt>K") is that key.
bool isKey(const QString &accelerator, const ShortcutKey &key)
{
    const std::optional<ShortcutKey> bound =
        ShortcutKey::fromPortableText(GnomeCommandKeybinding::readableAccelerator(accelerator));
    return bound && bound->key() == key.key() && bound->modifiers() == key.modifiers();
}

// The summary of the first key of `schemaId` that binds `wanted`.
std::optional<QString> keybindingUsing(const char *schemaId, const ShortcutKey &wanted)
{
    GSettingsSchemaSource *source = g_settings_schema_source_get_default();
    GSettingsSchema *schema =
        source ? g_settings_schema_source_lookup(source, schemaId, TRUE) : nullptr;
    if (!schema)
        return std::nullopt;
    std::optional<QString> use;
    const Settings settings(schemaId);
    gchar **keys = g_settings_schema_list_keys(schema);
    for (gchar **key = keys; key && *key && !use; ++key) {
        GSettingsSchemaKey *schemaKey = g_settings_schema_get_key(schema, *key);
        if (g_variant_type_equal(g_settings_schema_key_get_value_type(schemaKey),
                                 G_VARIANT_TYPE_STRING_ARRAY)) {
            for (const QString &bound : settings.strings(*key)) {
                if (isKey(bound, wanted)) {
                    const char *summary = g_settings_schema_key_get_summary(schemaKey);
                    use = summary ? QString::fromUtf8(summary) : QString::fromUtf8(*key);
                    break;
                }
            }
        }
        g_settings_schema_key_unref(schemaKey);
    }
    g_strfreev(keys);
    g_settings_schema_unref(schema);
    return use;
}

QString lockedMessage()
{
    return tr("GNOME's keyboard shortcuts cannot be changed in this session.");
}

} // namespace

GnomeCommandKeybinding::GnomeCommandKeybinding(bool onGnome, QString command, QString path,
                                               QString name)
    : m_onGnome(onGnome)
    , m_command(std::move(command))
    , m_path(std::move(path))
    , m_name(std::move(name))
{
}

QString GnomeCommandKeybinding::commandForThisExecutable(const QStringList &arguments)
{
    const auto quoted = [](const QString &word) {
        static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./+-]+$"));
        if (plain.match(word).hasMatch())
            return word;
        gchar *quotedWord = g_shell_quote(word.toUtf8().constData());
        const QString text = QString::fromUtf8(quotedWord);
        g_free(quotedWord);
        return text;
    };
    const QString self = QFileInfo(WrenlarkCommand::path()).canonicalFilePath();
    const QString inPath = QStandardPaths::findExecutable(QStringLiteral("wrenlark"));
    QStringList words{!inPath.isEmpty() && QFileInfo(inPath).canonicalFilePath() == self
                          ? QStringLiteral("wrenlark")
                          : quoted(self)};
    for (const QString &argument : arguments)
        words << quoted(argument);
    return words.join(u' ');
}

bool GnomeCommandKeybinding::runsToggle(const QString &command)
{
    gchar **argv = nullptr;
    gint argc = 0;
    if (!g_shell_parse_argv(command.toUtf8().constData(), &argc, &argv, nullptr))
        return false;
    const bool toggles =
        argc == 2 &&
        QFileInfo(QString::fromUtf8(argv[0])).fileName() == QLatin1String("wrenlark") &&
        (qstrcmp(argv[1], "toggle") == 0 || qstrcmp(argv[1], "--toggle") == 0);
    g_strfreev(argv);
    return toggles;
}

QString GnomeCommandKeybinding::readableAccelerator(const QString &accelerator)
{
    static const QList<std::pair<QString, QString>> modifiers{
        {QStringLiteral("<control>"), QStringLiteral("Ctrl")},
        {QStringLiteral("<primary>"), QStringLiteral("Ctrl")},
        {QStringLiteral("<ctrl>"), QStringLiteral("Ctrl")},
        {QStringLiteral("<alt>"), QStringLiteral("Alt")},
        {QStringLiteral("<shift>"), QStringLiteral("Shift")},
        {QStringLiteral("<super>"), QStringLiteral("Super")},
    };
    QStringList parts;
    QString rest = accelerator.trimmed();
    while (rest.startsWith(u'<')) {
        const qsizetype end = rest.indexOf(u'>');
        if (end < 0)
            break;
        const QString modifier = rest.left(end + 1).toLower();
        rest = rest.mid(end + 1);
        for (const auto &[name, text] : modifiers) {
            if (modifier == name && !parts.contains(text))
                parts << text;
        }
    }
    if (!rest.isEmpty())
        parts << rest.left(1).toUpper() + rest.mid(1);
    return parts.join(u'+');
}

std::optional<QString> GnomeCommandKeybinding::desktopUseOf(const QString &portableShortcut) const
{
    const std::optional<ShortcutKey> key = ShortcutKey::fromPortableText(portableShortcut);
    if (!m_onGnome || !key)
        return std::nullopt;
    for (const char *schema : desktopKeybindingSchemas) {
        if (std::optional<QString> use = keybindingUsing(schema, *key))
            return use;
    }
    return std::nullopt;
}

bool GnomeCommandKeybinding::isAvailable() const
{
    return m_onGnome && schemaInstalled(listSchema) && schemaInstalled(entrySchema);
}

std::optional<QString> GnomeCommandKeybinding::installedBinding() const
{
    if (!isAvailable())
        return std::nullopt;
    std::optional<QString> found;
    for (const QString &path : Settings(listSchema).strings(listKey)) {
        const Settings entry(entrySchema, path);
        if (!runsToggle(entry.string("command")))
            continue;
        if (path == ownPath)
            return readableAccelerator(entry.string("binding"));
        if (!found)
            found = readableAccelerator(entry.string("binding"));
    }
    return found;
}

bool GnomeCommandKeybinding::isOwnBinding() const
{
    if (!isAvailable() || !Settings(listSchema).strings(listKey).contains(ownPath))
        return false;
    return runsToggle(Settings(entrySchema, ownPath).string("command"));
}

bool GnomeCommandKeybinding::install(const QString &portableShortcut, QString *error)
{
    if (!isAvailable()) {
        *error = tr("GNOME's keyboard shortcuts are not available in this session.");
        return false;
    }
    QString problem;
    const std::optional<ShortcutKey> key =
        ShortcutKey::fromPortableText(portableShortcut, &problem);
    if (!key) {
        *error = problem;
        return false;
    }
    // GNOME's own action would take the key, and the shortcut never fire:
    // the user chooses, Wrenlark never unbinds GNOME's keys by itself.
    if (const std::optional<QString> use = desktopUseOf(portableShortcut)) {
        *error = tr("GNOME already uses %1 (%2). Choose another shortcut, or free %1 in "
                    "GNOME's keyboard settings first.")
                     .arg(readableAccelerator(key->gtkAccelerator()), *use);
        return false;
    }
    // The entry is complete before it is listed, so GNOME never binds half of it.
    {
        Settings entry(entrySchema, m_path);
        if (!entry.setString("name", m_name) || !entry.setString("command", m_command) ||
            !entry.setString("binding", key->gtkAccelerator())) {
            *error = lockedMessage();
            return false;
        }
    }
    Settings list(listSchema);
    QStringList paths = list.strings(listKey);
    if (paths.contains(m_path))
        return true;
    paths << m_path;
    if (!list.setStrings(listKey, paths)) {
        *error = lockedMessage();
        return false;
    }
    return true;
}

bool GnomeCommandKeybinding::remove(QString *error)
{
    if (!isAvailable()) {
        *error = tr("GNOME's keyboard shortcuts are not available in this session.");
        return false;
    }
    {
        Settings list(listSchema);
        QStringList paths = list.strings(listKey);
        if (paths.removeAll(m_path) > 0 && !list.setStrings(listKey, paths)) {
            *error = lockedMessage();
            return false;
        }
    }
    Settings entry(entrySchema, m_path);
    for (const char *key : {"name", "command", "binding"})
        entry.reset(key);
    return true;
}
