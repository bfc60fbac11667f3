#include "catalogue/download_paths.hpp"
#include "catalogue/episode_query.hpp"
#include "catalogue/main_window.hpp"
#include "episodes/episode_list_model.hpp"
#include "files/files.hpp"
#include "text/qt_text.hpp"
#include "settings/config_file.hpp"
#include "text/gbk.hpp"

#include <QByteArray>
#include <QListWidget>

namespace fs = std::filesystem;

namespace {

// The folder item's native name, which its shown text may not give back.
constexpr int native_role = Qt::UserRole;

QByteArray native_bytes(const fs::path& path) {
    return QByteArray(path.native().data(), qsizetype(path.native().size()));
}

fs::path native_of(const QVariant& value) {
    QByteArray bytes = value.toByteArray();
    return fs::path(std::string(bytes.constData(), std::size_t(bytes.size())));
}

} // namespace

void MainWindow::list_book_folders() {
    folder_list_->clear();
    for (const FolderEntry& folder : list_subfolders(effective_save_folder(startup_save_folder))) {
        auto* item = new QListWidgetItem(to_qstring(folder.name), folder_list_);
        item->setData(native_role, native_bytes(folder.native.filename()));
    }
}

void MainWindow::show_book_folder() {
    QListWidgetItem* chosen = nullptr;
    for (int i = 0; i < folder_list_->count() && !chosen; ++i)
        if (folder_list_->item(i)->isSelected())
            chosen = folder_list_->item(i);
    if (!chosen)
        return;
    stop_query(); // the list now shows the folder's files
    EpisodeListModel& rows = *episodes_;
    rows.remove_all_rows();

    // The save folder is read afresh: the settings window may have changed it.
    Text save = effective_save_folder(read_setting(gbk("默认保存路径")));
    Text folder = join_path(save, from_qstring(chosen->text()));
    fs::path native_folder = native_path(save) / native_of(chosen->data(native_role));
    const RowBook folder_book{from_qstring(chosen->text()), save};
    int k = 1;
    for (const FolderEntry& file : list_files_in(native_folder, ".mp3")) {
        int row = rows.insert_row(-1, gbk("第") + number_to_text(k) + gbk("集"), folder_book);
        rows.set_cell(row, 1, join_path(folder, file.name));
        rows.set_row_native_path(row, file.native);
        rows.set_cell(row, 3, gbk("已下载"));
        ++k;
    }
}

