#include "platform/linux/keys/XkbKeyboard.h"

#include <QStringList>
#include <xkbcommon/xkbcommon.h>

namespace {

struct ModifierKey
{
    Qt::KeyboardModifier modifier;
    xkb_keysym_t keysym;
};

// In the order they are pressed.
constexpr ModifierKey modifierKeys[] = {
    {Qt::ControlModifier, XKB_KEY_Control_L},
    {Qt::ShiftModifier, XKB_KEY_Shift_L},
    {Qt::AltModifier, XKB_KEY_Alt_L},
    {Qt::MetaModifier, XKB_KEY_Super_L},
};

const char *nameOrNull(const QByteArray &name)
{
    return name.isEmpty() ? nullptr : name.constData();
}

QString keysymName(quint32 keysym)
{
    char name[64];
    if (xkb_keysym_get_name(keysym, name, sizeof name) < 0)
        return QStringLiteral("0x%1").arg(keysym, 0, 16);
    return QString::fromLatin1(name);
}

struct StateDeleter
{
    void operator()(xkb_state *state) const { xkb_state_unref(state); }
};

} // namespace

std::unique_ptr<XkbKeyboard> XkbKeyboard::compile(const Names &names, QString *error)
{
    xkb_context *context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (!context) {
        if (error)
            *error = tr("The keyboard descriptions of XKB cannot be read.");
        return {};
    }
    const QByteArray rules = names.rules.toUtf8(), model = names.model.toUtf8(),
                     layout = names.layout.toUtf8(), variant = names.variant.toUtf8(),
                     options = names.options.toUtf8();
    const xkb_rule_names rmlvo{nameOrNull(rules), nameOrNull(model), nameOrNull(layout),
                               nameOrNull(variant), nameOrNull(options)};
    xkb_keymap *keymap = xkb_keymap_new_from_names(context, &rmlvo, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!keymap) {
        xkb_context_unref(context);
        if (error)
            *error = tr("The keyboard layout \"%1\" cannot be compiled.")
                         .arg(names.layout.isEmpty() ? qEnvironmentVariable("XKB_DEFAULT_LAYOUT")
                                                     : names.layout);
        return {};
    }
    return std::unique_ptr<XkbKeyboard>(new XkbKeyboard(context, keymap));
}

XkbKeyboard::XkbKeyboard(xkb_context *context, xkb_keymap *keymap)
    : m_context(context)
    , m_keymap(keymap)
{
}

XkbKeyboard::~XkbKeyboard()
{
    xkb_keymap_unref(m_keymap);
    xkb_context_unref(m_context);
}

QByteArray XkbKeyboard::text() const
{
    char *text = xkb_keymap_get_as_string(m_keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
    const QByteArray copy(text);
    free(text);
    return copy;
}

QString XkbKeyboard::layoutNames() const
{
    QStringList names;
    for (xkb_layout_index_t layout = 0; layout < xkb_keymap_num_layouts(m_keymap); ++layout) {
        if (const char *name = xkb_keymap_layout_get_name(m_keymap, layout))
            names << QString::fromUtf8(name);
    }
    return names.join(QStringLiteral(", "));
}

std::optional<XkbKeyboard::KeyLocation>
XkbKeyboard::find(quint32 keysym, std::optional<quint32> preferredLayout) const
{
    QList<quint32> layouts;
    if (preferredLayout && *preferredLayout < xkb_keymap_num_layouts(m_keymap))
        layouts << *preferredLayout;
    for (xkb_layout_index_t layout = 0; layout < xkb_keymap_num_layouts(m_keymap); ++layout) {
        if (!layouts.contains(layout))
            layouts << layout;
    }
    const xkb_keycode_t min = xkb_keymap_min_keycode(m_keymap);
    const xkb_keycode_t max = xkb_keymap_max_keycode(m_keymap);
    for (const quint32 layout : std::as_const(layouts)) {
        for (xkb_keycode_t keycode = min; keycode <= max; ++keycode) {
            if (layout >= xkb_keymap_num_layouts_for_key(m_keymap, keycode))
                continue;
            const xkb_keysym_t *syms = nullptr;
            if (xkb_keymap_key_get_syms_by_level(m_keymap, keycode, layout, 0, &syms) == 1 &&
                syms[0] == keysym)
                return KeyLocation{keycode, layout};
        }
    }
    return std::nullopt;
}

std::optional<XkbKeyboard::Plan> XkbKeyboard::plan(const KeyChord &chord, QString *error) const
{
    const auto missing = [&](quint32 keysym) {
        if (error)
            *error = tr("The keyboard layout (%1) has no %2 key, so %3 cannot be typed.")
                         .arg(layoutNames(), keysymName(keysym), chord.toString());
        return std::nullopt;
    };
    const std::optional<KeyLocation> key = find(chord.keysym, std::nullopt);
    if (!key)
        return missing(chord.keysym);
    QList<KeyLocation> modifiers;
    for (const ModifierKey &modifier : modifierKeys) {
        if (!(chord.modifiers & modifier.modifier))
            continue;
        const std::optional<KeyLocation> location = find(modifier.keysym, key->layout);
        if (!location)
            return missing(modifier.keysym);
        modifiers << *location;
    }

    // The modifier masks are the keymap's own: pressing its keys in a state
    // of the key's layout says which bits they set.
    std::unique_ptr<xkb_state, StateDeleter> state(xkb_state_new(m_keymap));
    xkb_state_update_mask(state.get(), 0, 0, 0, 0, 0, key->layout);
    const auto depressed = [&] {
        return quint32(xkb_state_serialize_mods(state.get(), XKB_STATE_MODS_DEPRESSED));
    };
    Plan plan;
    plan.layout = key->layout;
    for (const KeyLocation &modifier : std::as_const(modifiers)) {
        xkb_state_update_key(state.get(), modifier.keycode, XKB_KEY_DOWN);
        plan.steps.append({modifier.keycode - 8, true, depressed(), true});
    }
    plan.steps.append({key->keycode - 8, true, depressed(), false});
    plan.steps.append({key->keycode - 8, false, depressed(), false});
    for (auto it = modifiers.crbegin(); it != modifiers.crend(); ++it) {
        xkb_state_update_key(state.get(), it->keycode, XKB_KEY_UP);
        plan.steps.append({it->keycode - 8, false, depressed(), true});
    }
    return plan;
}
