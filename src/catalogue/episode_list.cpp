#include "catalogue/download_paths.hpp"
#include "catalogue/episode_query.hpp"
#include "catalogue/main_window.hpp"
#include "files/files.hpp"
#include "text/qt_text.hpp"
#include "widgets/report_list.hpp"
#include "settings/config_file.hpp"
#include "text/gbk.hpp"

#include <QByteArray>
#include <QListWidget>
#include <QTreeWidget>

namespace fs = std::filesystem;

namespace {

constexpr int column_count = 4;
constexpr int native_role = Qt::UserRole;
// Kept on column 0: the row's number for life, and its book.
constexpr int id_role = Qt::UserRole + 1;
constexpr int title_role = Qt::UserRole + 2;
constexpr int save_folder_role = Qt::UserRole + 3;

QByteArray text_bytes(const Text& text) {
    return QByteArray(text.data(), qsizetype(text.size()));
}

Text text_of(const QVariant& value) {
    const QByteArray bytes = value.toByteArray();
    return Text(bytes.constData(), std::size_t(bytes.size()));
}

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
    remove_all_rows();

    // The save folder is read afresh: the settings window may have changed it.
    Text save = effective_save_folder(read_setting(gbk("默认保存路径")));
    Text folder = join_path(save, from_qstring(chosen->text()));
    fs::path native_folder = native_path(save) / native_of(chosen->data(native_role));
    const RowBook folder_book{from_qstring(chosen->text()), save};
    int k = 1;
    for (const FolderEntry& file : list_files_in(native_folder, ".mp3")) {
        int row = insert_row(-1, gbk("第") + number_to_text(k) + gbk("集"), folder_book);
        set_cell(row, 1, join_path(folder, file.name));
        set_row_native_path(row, file.native);
        set_cell(row, 3, gbk("已下载"));
        ++k;
    }
}

void MainWindow::remove_all_rows() {
    episode_list_->clear();
}

int MainWindow::insert_row(int index, const Text& column0, const RowBook& row_book) {
    auto* item = new QTreeWidgetItem();
    item->setText(0, to_qstring(column0));
    item->setData(0, id_role, QVariant::fromValue<qulonglong>(++last_row_id_));
    item->setData(0, title_role, text_bytes(row_book.title));
    item->setData(0, save_folder_role, text_bytes(row_book.save_folder));
    int count = episode_list_->topLevelItemCount();
    if (index < 0 || index >= count)
        index = count;
    episode_list_->insertTopLevelItem(index, item);
    return index;
}

void MainWindow::set_cell(int row, int column, const Text& text) {
    QTreeWidgetItem* item = episode_list_->topLevelItem(row);
    if (!item || column < 0 || column >= column_count)
        return;
    item->setText(column, to_qstring(text));
    if (column == 1)
        item->setData(1, native_role, QVariant());
}

Text MainWindow::cell(int row, int column) const {
    QTreeWidgetItem* item = episode_list_->topLevelItem(row);
    if (!item || column < 0 || column >= column_count)
        return {};
    return from_qstring(item->text(column));
}

int MainWindow::row_count() const {
    return episode_list_->topLevelItemCount();
}

std::vector<int> MainWindow::selected_rows() const {
    std::vector<int> rows;
    for (int i = 0; i < episode_list_->topLevelItemCount(); ++i)
        if (episode_list_->topLevelItem(i)->isSelected())
            rows.push_back(i);
    return rows;
}

int MainWindow::current_row() const {
    QTreeWidgetItem* item = episode_list_->currentItem();
    return item ? episode_list_->indexOfTopLevelItem(item) : -1;
}

void MainWindow::set_current_row(int row) {
    moving_row_from_code_ = true;
    QTreeWidgetItem* item = episode_list_->topLevelItem(row);
    if (item) {
        episode_list_->setCurrentItem(
            item, 0, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        episode_list_->scrollToItem(item);
    } else {
        episode_list_->clearSelection();
        episode_list_->setCurrentItem(nullptr);
    }
    moving_row_from_code_ = false;
}

fs::path MainWindow::row_native_path(int row) const {
    QTreeWidgetItem* item = episode_list_->topLevelItem(row);
    return item ? native_of(item->data(1, native_role)) : fs::path();
}

void MainWindow::set_row_native_path(int row, const fs::path& native) {
    if (QTreeWidgetItem* item = episode_list_->topLevelItem(row))
        item->setData(1, native_role, native.empty() ? QVariant() : QVariant(native_bytes(native)));
}

RowBook MainWindow::row_book(int row) const {
    QTreeWidgetItem* item = episode_list_->topLevelItem(row);
    if (!item)
        return {};
    return {text_of(item->data(0, title_role)), text_of(item->data(0, save_folder_role))};
}

std::uint64_t MainWindow::row_id(int row) const {
    QTreeWidgetItem* item = episode_list_->topLevelItem(row);
    return item ? item->data(0, id_role).toULongLong() : 0;
}

int MainWindow::row_of(std::uint64_t id) const {
    for (int r = 0; r < episode_list_->topLevelItemCount(); ++r)
        if (episode_list_->topLevelItem(r)->data(0, id_role).toULongLong() == id)
            return r;
    return -1;
}

void MainWindow::set_state_note(int row, const Text& note) {
    if (QTreeWidgetItem* item = episode_list_->topLevelItem(row))
        item->setToolTip(3, to_qstring(note));
}

Text MainWindow::state_note(int row) const {
    QTreeWidgetItem* item = episode_list_->topLevelItem(row);
    return item ? from_qstring(item->toolTip(3)) : Text();
}
