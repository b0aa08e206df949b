#include "LinuxAppLists.h"

namespace aimset {

PlatformAppLists linuxAppLists() {
    PlatformAppLists lists;
    lists.alwaysAllowedIDs = {
        // Aimset itself.
        QString::fromLatin1(kLinuxOwnAppID),
        QStringLiteral("Aimset"),
        // Terminals.
        QStringLiteral("org.gnome.Terminal"),
        QStringLiteral("org.gnome.Console"),
        QStringLiteral("org.gnome.Ptyxis"),
        QStringLiteral("org.kde.konsole"),
        QStringLiteral("xfce4-terminal"),
        QStringLiteral("debian-xterm"),
        QStringLiteral("debian-uxterm"),
        QStringLiteral("xterm"),
        QStringLiteral("XTerm"),
        QStringLiteral("UXTerm"),
        QStringLiteral("URxvt"),
        QStringLiteral("kitty"),
        QStringLiteral("Alacritty"),
        QStringLiteral("com.gexperts.Tilix"),
        QStringLiteral("terminator"),
        QStringLiteral("org.wezfurlong.wezterm"),
        QStringLiteral("lxterminal"),
        QStringLiteral("qterminal"),
        // File managers.
        QStringLiteral("org.gnome.Nautilus"),
        QStringLiteral("org.kde.dolphin"),
        QStringLiteral("thunar"),
        QStringLiteral("Thunar"),
        QStringLiteral("pcmanfm"),
        QStringLiteral("pcmanfm-qt"),
        QStringLiteral("nemo"),
        QStringLiteral("caja"),
        // Settings and monitors.
        QStringLiteral("org.gnome.Settings"),
        QStringLiteral("gnome-control-center"),
        QStringLiteral("systemsettings"),
        QStringLiteral("kdesystemsettings"),
        QStringLiteral("org.kde.systemsettings"),
        QStringLiteral("xfce-settings-manager"),
        QStringLiteral("org.gnome.SystemMonitor"),
        QStringLiteral("gnome-system-monitor"),
        QStringLiteral("org.kde.plasma-systemmonitor"),
        QStringLiteral("org.kde.ksysguard"),
        QStringLiteral("org.gnome.Logs"),
        QStringLiteral("org.kde.kinfocenter"),
        // Disks and archives.
        QStringLiteral("org.gnome.DiskUtility"),
        QStringLiteral("org.gnome.baobab"),
        QStringLiteral("org.kde.partitionmanager"),
        QStringLiteral("org.kde.filelight"),
        QStringLiteral("org.gnome.FileRoller"),
        QStringLiteral("org.kde.ark"),
        QStringLiteral("xarchiver"),
        QStringLiteral("engrampa"),
        // Text editors.
        QStringLiteral("org.gnome.TextEditor"),
        QStringLiteral("org.gnome.gedit"),
        QStringLiteral("org.kde.kate"),
        QStringLiteral("org.kde.kwrite"),
        QStringLiteral("org.xfce.mousepad"),
        QStringLiteral("pluma"),
        // Document and image viewers, screenshots.
        QStringLiteral("org.gnome.Evince"),
        QStringLiteral("org.gnome.Papers"),
        QStringLiteral("org.kde.okular"),
        QStringLiteral("org.gnome.Loupe"),
        QStringLiteral("org.gnome.eog"),
        QStringLiteral("org.kde.gwenview"),
        QStringLiteral("org.gnome.Screenshot"),
        QStringLiteral("org.kde.spectacle"),
        QStringLiteral("atril"),
        QStringLiteral("ristretto"),
        // Calculators and fonts.
        QStringLiteral("org.gnome.Calculator"),
        QStringLiteral("org.kde.kcalc"),
        QStringLiteral("org.gnome.font-viewer"),
        QStringLiteral("org.kde.kfontview"),
        QStringLiteral("org.gnome.Characters"),
        // Keyrings.
        QStringLiteral("org.gnome.seahorse.Application"),
        QStringLiteral("org.kde.kwalletmanager5"),
        QStringLiteral("org.kde.kwalletmanager"),
        // Installers and updates.
        QStringLiteral("org.gnome.Software"),
        QStringLiteral("org.kde.discover"),
        QStringLiteral("synaptic"),
        QStringLiteral("update-manager"),
        QStringLiteral("gnome-software-local-file"),
    };
    lists.passwordManagerIDs = {
        QStringLiteral("org.keepassxc.KeePassXC"),
        QStringLiteral("KeePassXC"),
        QStringLiteral("keepassxc"),
        QStringLiteral("KeePass2"),
        QStringLiteral("keepass2"),
        QStringLiteral("bitwarden"),
        QStringLiteral("Bitwarden"),
        QStringLiteral("com.bitwarden.desktop"),
        QStringLiteral("1password"),
        QStringLiteral("1Password"),
        QStringLiteral("org.gnome.seahorse.Application"),
        QStringLiteral("Seahorse"),
        QStringLiteral("org.gnome.World.Secrets"),
        QStringLiteral("org.kde.kwalletmanager5"),
        QStringLiteral("org.kde.kwalletmanager"),
        QStringLiteral("kwalletmanager5"),
        QStringLiteral("Enpass"),
        QStringLiteral("io.enpass.Enpass"),
        QStringLiteral("proton-pass"),
        QStringLiteral("Proton Pass"),
        QStringLiteral("com.dashlane.Dashlane"),
    };
    return lists;
}

} // namespace aimset
