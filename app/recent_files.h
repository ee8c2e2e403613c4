#pragma once
// What the viewer remembers between runs: the files opened last and the
// folder the Open dialog showed last. Kept in the user's settings
// ($XDG_CONFIG_HOME/tessel/tessel.conf, or wherever QSettings::setPath
// sends the user scope).

#include <QString>
#include <QStringList>

namespace tessel {

constexpr int kRecentFileCount = 8;

// The list with path put first: an earlier entry of the same file goes, and
// so does whatever falls beyond kRecentFileCount. Paths are compared after
// cleaning ("a/./b" and "a/b" are one file).
QStringList with_recent_file(const QStringList& list, const QString& path);

// The remembered files, most recent first.
QStringList recent_files();
// Puts a file that has just been opened first in the remembered list.
void remember_recent_file(const QString& path);
// Takes a file out of the remembered list.
void forget_recent_file(const QString& path);

// The text of the recent list's item for a file: "&N name (folder)", N from
// 1, with ampersands of the path shown as written.
QString recent_file_text(int index, const QString& path);

// The folder the Open dialog showed last, empty when none is remembered.
QString remembered_open_folder();
void remember_open_folder(const QString& folder);

}  // namespace tessel
