#include "DesktopEntries.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <functional>
#include <set>

namespace aimset {

using namespace Qt::StringLiterals;

namespace {

// The program of an Exec line: its first word, without quotes or path;
// "env VAR=x program" names it further on.
QString programOf(const QString& exec) {
    const QStringList words = exec.split(u' ', Qt::SkipEmptyParts);
    QString first = words.value(0);
    first.remove(u'"');
    if (first == u"env"_s) {
        const auto program = std::ranges::find_if(
            words.begin() + 1, words.end(), [](const QString& w) { return !w.contains(u'='); });
        first = program == words.end() ? first : *program;
    }
    return QFileInfo(first).fileName();
}

std::optional<DesktopEntry> entryFrom(const QString& id, const QHash<QString, QString>& keys) {
    const QString name = keys.value(u"Name"_s);
    const QString type = keys.value(u"Type"_s, u"Application"_s);
    if (keys.value(u"Hidden"_s) == u"true"_s || name.isEmpty() || type != u"Application"_s) {
        return std::nullopt;
    }
    return DesktopEntry{id, name, keys.value(u"StartupWMClass"_s),
                        programOf(keys.value(u"Exec"_s))};
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
        if (line.startsWith(u'[')) {
            inMainGroup = line == u"[Desktop Entry]"_s;
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (inMainGroup && equals > 0 && !line.startsWith(u'#')) {
            keys.insert(line.left(equals).trimmed(), line.mid(equals + 1).trimmed());
        }
    }
    return keys;
}

DesktopEntries DesktopEntries::load(const QStringList& dataDirectories) {
    DesktopEntries result;
    std::set<QString> seen;
    for (const QString& dataDirectory : dataDirectories) {
        const QString root = dataDirectory + u"/applications"_s;
        QDirIterator files(root, {u"*.desktop"_s}, QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString path = files.next();
            QString id = QDir(root).relativeFilePath(path).chopped(sizeof(".desktop") - 1);
            id.replace(u'/', u'-');
            if (!seen.insert(id).second) {
                continue;
            }
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
            return same(e.id, windowClass) || same(e.id.section(u'.', -1), windowClass);
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
