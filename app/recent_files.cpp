#include "app/recent_files.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace tessel {

namespace {

const QString kRecentFilesKey = QStringLiteral("recentFiles");
const QString kOpenFolderKey = QStringLiteral("openFolder");

// Named explicitly: without an organisation name QSettings refuses to write.
QSettings viewer_settings() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("tessel"),
                     QStringLiteral("tessel"));
}

// Another viewer may have changed the list since this one started, so every
// change reads it afresh.
void change_recent_files(const auto& change) {
    QSettings settings = viewer_settings();
    settings.setValue(kRecentFilesKey, change(settings.value(kRecentFilesKey).toStringList()));
}

}  // namespace

QStringList with_recent_file(const QStringList& list, const QString& path) {
    const QString first = QDir::cleanPath(path);
    QStringList result{first};
    for (const QString& entry : list) {
        if (result.size() >= kRecentFileCount) break;
        const QString cleaned = QDir::cleanPath(entry);
        if (!cleaned.isEmpty() && !result.contains(cleaned)) result.push_back(cleaned);
    }
    return result;
}

QStringList recent_files() {
    QStringList list = viewer_settings().value(kRecentFilesKey).toStringList();
    // A list edited by hand may be longer than the menu has room for.
    if (list.size() > kRecentFileCount) list = list.mid(0, kRecentFileCount);
    list.removeAll(QString());
    return list;
}

void remember_recent_file(const QString& path) {
    change_recent_files([&](const QStringList& list) { return with_recent_file(list, path); });
}

void forget_recent_file(const QString& path) {
    change_recent_files([&](QStringList list) {
        list.removeAll(QDir::cleanPath(path));
        return list;
    });
}

QString recent_file_text(int index, const QString& path) {
    const QFileInfo info(path);
    QString shown = QStringLiteral("%1 (%2)").arg(info.fileName(), QDir::toNativeSeparators(info.absolutePath()));
    // A single & would mark the next letter as the item's mnemonic; only the
    // number's may.
    shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return QStringLiteral("&%1 ").arg(index + 1) + shown;
}

QString remembered_open_folder() { return viewer_settings().value(kOpenFolderKey).toString(); }

void remember_open_folder(const QString& folder) { viewer_settings().setValue(kOpenFolderKey, folder); }

}  // namespace tessel
