#include "DesktopEntries.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <functional>

namespace aimset {

namespace {

// The program of an Exec line: its first word, without quotes or path.
QString programOf(const QString& exec) {
    QString first = exec.trimmed().section(QLatin1Char(' '), 0, 0);
    first.remove(QLatin1Char('"'));
    // "env VAR=x program" and "flatpak run id" name the program further on.
    if (first == QStringLiteral("env")) {
        const QStringList words = exec.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (qsizetype i = 1; i < words.size(); ++i) {
            if (!words[i].contains(QLatin1Char('='))) {
                first = words[i];
                break;
            }
        }
    }
    return QFileInfo(first).fileName();
}

} // namespace

std::optional<QHash<QString, QString>> desktopEntryKeys(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    QHash<QString, QString> keys;
    bool inMainGroup = false;
    for (const QByteArray& rawLine : file.read(256 * 1024).split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inMainGroup = line == QStringLiteral("[Desktop Entry]");
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (inMainGroup && equals > 0 && !line.startsWith(QLatin1Char('#'))) {
            keys.insert(line.left(equals).trimmed(), line.mid(equals + 1).trimmed());
        }
    }
    return keys;
}

namespace {

std::optional<DesktopEntry> entryFrom(const QString& id, const QHash<QString, QString>& keys) {
    const QString name = keys.value(QStringLiteral("Name"));
    const QString type = keys.value(QStringLiteral("Type"), QStringLiteral("Application"));
    if (keys.value(QStringLiteral("Hidden")) == QStringLiteral("true") || name.isEmpty() ||
        type != QStringLiteral("Application")) {
        return std::nullopt;
    }
    return DesktopEntry{id, name, keys.value(QStringLiteral("StartupWMClass")),
                        programOf(keys.value(QStringLiteral("Exec")))};
}

} // namespace

DesktopEntries DesktopEntries::load(const QStringList& dataDirectories) {
    DesktopEntries result;
    QSet<QString> seen;
    for (const QString& dataDirectory : dataDirectories) {
        const QString root = dataDirectory + QStringLiteral("/applications");
        QDirIterator files(root, {QStringLiteral("*.desktop")}, QDir::Files,
                           QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString path = files.next();
            QString id = QDir(root).relativeFilePath(path);
            id.chop(static_cast<int>(sizeof(".desktop") - 1));
            id.replace(QLatin1Char('/'), QLatin1Char('-'));
            if (seen.contains(id)) {
                continue;
            }
            seen.insert(id);
            const auto keys = desktopEntryKeys(path);
            if (auto entry = keys ? entryFrom(id, *keys) : std::nullopt) {
                result.m_entries.push_back(std::move(*entry));
            }
        }
    }
    return result;
}

std::optional<DesktopEntry> DesktopEntries::match(const QString& instance,
                                                  const QString& windowClass) const {
    // An empty name matches nothing.
    const auto same = [](const QString& a, const QString& b) {
        return !a.isEmpty() && a.compare(b, Qt::CaseInsensitive) == 0;
    };
    const std::function<bool(const DesktopEntry&)> rules[] = {
        [&](const DesktopEntry& e) {
            return same(e.startupWMClass, windowClass) || same(e.startupWMClass, instance);
        },
        [&](const DesktopEntry& e) {
            return same(e.id, windowClass) || same(e.id.section(QLatin1Char('.'), -1), windowClass);
        },
        [&](const DesktopEntry& e) {
            return same(e.executable, windowClass) || same(e.executable, instance);
        }};
    for (const auto& rule : rules) {
        if (const auto found = std::ranges::find_if(m_entries, rule); found != m_entries.end()) {
            return *found;
        }
    }
    return std::nullopt;
}

} // namespace aimset
