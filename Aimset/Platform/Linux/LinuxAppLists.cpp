#include "LinuxAppLists.h"

namespace aimset {

PlatformAppLists linuxAppLists() {
    PlatformAppLists lists;
    lists.alwaysAllowedIDs = listOf(
        // Aimset itself.
        "Aimset|"
        // Terminals.
        "org.gnome.Terminal|org.gnome.Console|org.gnome.Ptyxis|org.kde.konsole|xfce4-terminal|"
        "debian-xterm|debian-uxterm|xterm|XTerm|UXTerm|URxvt|kitty|Alacritty|com.gexperts.Tilix|"
        "terminator|org.wezfurlong.wezterm|lxterminal|qterminal|"
        // File managers.
        "org.gnome.Nautilus|org.kde.dolphin|thunar|Thunar|pcmanfm|pcmanfm-qt|nemo|caja|"
        // Settings and monitors.
        "org.gnome.Settings|gnome-control-center|systemsettings|kdesystemsettings|"
        "org.kde.systemsettings|xfce-settings-manager|org.gnome.SystemMonitor|"
        "gnome-system-monitor|org.kde.plasma-systemmonitor|org.kde.ksysguard|org.gnome.Logs|"
        "org.kde.kinfocenter|"
        // Disks and archives.
        "org.gnome.DiskUtility|org.gnome.baobab|org.kde.partitionmanager|org.kde.filelight|"
        "org.gnome.FileRoller|org.kde.ark|xarchiver|engrampa|"
        // Text editors.
        "org.gnome.TextEditor|org.gnome.gedit|org.kde.kate|org.kde.kwrite|org.xfce.mousepad|"
        "pluma|"
        // Document and image viewers, screenshots.
        "org.gnome.Evince|org.gnome.Papers|org.kde.okular|org.gnome.Loupe|org.gnome.eog|"
        "org.kde.gwenview|org.gnome.Screenshot|org.kde.spectacle|atril|ristretto|"
        // Calculators and fonts.
        "org.gnome.Calculator|org.kde.kcalc|org.gnome.font-viewer|org.kde.kfontview|"
        "org.gnome.Characters|"
        // Keyrings.
        "org.gnome.seahorse.Application|org.kde.kwalletmanager5|org.kde.kwalletmanager|"
        // Installers and updates.
        "org.gnome.Software|org.kde.discover|synaptic|update-manager|gnome-software-local-file");
    lists.alwaysAllowedIDs.prepend(QString::fromLatin1(kLinuxOwnAppID));
    lists.passwordManagerIDs = listOf(
        "org.keepassxc.KeePassXC|KeePassXC|keepassxc|KeePass2|keepass2|bitwarden|Bitwarden|"
        "com.bitwarden.desktop|1password|1Password|org.gnome.seahorse.Application|Seahorse|"
        "org.gnome.World.Secrets|org.kde.kwalletmanager5|org.kde.kwalletmanager|kwalletmanager5|"
        "Enpass|io.enpass.Enpass|proton-pass|Proton Pass|com.dashlane.Dashlane");
    return lists;
}

} // namespace aimset
