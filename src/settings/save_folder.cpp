#include "settings/save_folder.hpp"

#include "text/gbk.hpp"
#include "text/qt_text.hpp"

#include <QDir>
#include <QStandardPaths>

Text default_save_folder() {
    QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (music.isEmpty())
        music = QDir::homePath() + "/Music";
    return from_qstring(QDir::cleanPath(music)) + gbk("/有声书");
}
