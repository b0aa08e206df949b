#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace aimset {

// One application as the desktop's menu knows it.
struct DesktopEntry {
    QString id;   // desktop-file id: file name without ".desktop", sub-folders joined by "-"
    QString name; // Name
    QString startupWMClass;
    QString executable; // the file name of Exec's program, without path or arguments
};

// The trimmed keys and values of the file's [Desktop Entry] group; nothing
// when the file cannot be read.
std::optional<QHash<QString, QString>> desktopEntryKeys(const QString& path);

// Installed .desktop entries, matched against a window's WM_CLASS so that a
// window reports the name and identifier the user knows from the menu.
class DesktopEntries {
public:
    // The applications/ folders of the data directories; an entry in an
    // earlier one hides one with the same id in a later one.
    static DesktopEntries load(const QStringList& dataDirectories);

    // The entry for a window of this WM_CLASS, if one matches: StartupWMClass
    // first, then the id (exactly, or its last dotted part), then the program.
    std::optional<DesktopEntry> match(const QString& instance, const QString& windowClass) const;

private:
    std::vector<DesktopEntry> m_entries;
};

} // namespace aimset
