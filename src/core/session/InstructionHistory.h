#pragma once

#include "core/settings/UserDefaults.h"

#include <QString>
#include <QStringList>

// The instructions the user sent from the command bar, newest first, so that
// the bar can offer them again. Only instruction text is ever kept, never a
// selection or a reply. The list lives in
// $XDG_STATE_HOME/Wrenlark/instruction-history.json, readable by the owner
// only, as {"version": 1, "instructions": [newest, …]}; every change rewrites
// it atomically.
//
// A file that exists but cannot be read as such a list is moved aside (to
// "<file>.unreadable") and logged before an empty history replaces it; when
// it cannot be moved, the history stays empty and never writes over it.
//
// While the "instruction_history_enabled" setting is off, add() keeps nothing
// and recall offers nothing; what is already stored stays until clear().
//
// Main thread: every change writes the whole file synchronously, which is
// quick at this size.
class InstructionHistory
{
public:
    static constexpr qsizetype maximumEntries = 300;
    // Longer instructions are pasted text rather than something typed again.
    static constexpr qsizetype maximumInstructionLength = 4000;

    // Reads the user's file.
    InstructionHistory();

    static QString standardFilePath();
    QString filePath() const { return m_filePath; }

    // Whether the setting lets the history record and offer instructions.
    bool isEnabled() const;

    // Puts the instruction, trimmed, at the front (moving it there when it
    // is already present further down) and drops the oldest beyond
    // maximumEntries. Blank or overlong instructions are not kept.
    void add(const QString &instruction);
    // Forgets every instruction and deletes the file (and one set aside).
    void clear();

    const QStringList &entries() const { return m_entries; }

private:
    void load();
    void save() const;

    const QString m_filePath;
    UserDefaults m_settings;
    QStringList m_entries;
    // False while an unreadable file could not be moved out of the way.
    bool m_mayWrite = true;
};
