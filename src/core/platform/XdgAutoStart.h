#pragma once

#include "core/platform/AutoStartSwitch.h"

#include <QString>

namespace kestrava {

// An XDG autostart entry, <directory>/kestrava.desktop, whose Exec names the program.
// Every copy of the console shares the one entry, so an entry of another copy reads as not set.
class XdgAutoStart final : public AutoStartSwitch {
public:
    XdgAutoStart(QString directory, QString programPath);

    // ~/.config/autostart
    static QString defaultDirectory();
    QString entryFile() const;

    // True when the entry exists and names this program, compared in lower case.
    bool isSet() const;
    // Each reports whether the entry was written or removed.
    bool set();
    bool unset();

    bool isAutoStartSet() const override { return isSet(); }
    void setAutoStart(bool on) override { on ? set() : unset(); }

    // The program that an entry's Exec line starts, with the entry's quoting and escapes undone.
    static QString programOfExec(const QString& exec);
    static QString execFor(const QString& programPath);

private:
    QString m_directory;
    QString m_programPath;
};

} // namespace kestrava
