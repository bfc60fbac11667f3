#include "widgets/dialogs.hpp"

#include "text/gbk.hpp"
#include "text/qt_text.hpp"

#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

void show_message(QWidget* parent, const Text& text) {
    show_message(parent, text, Text());
}

void show_message(QWidget* parent, const Text& text, const Text& detail) {
    QMessageBox box(parent);
    box.setIcon(QMessageBox::NoIcon);
    box.setWindowTitle(program_title());
    box.setTextFormat(Qt::PlainText); // the text is shown as it stands, never as markup
    box.setText(to_qstring(text));
    box.setInformativeText(to_qstring(detail));
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
}

QString program_title() {
    return to_qstring(gbk("有声书下载播放器"));
}

QString choose_folder(QWidget* parent, const Text& title) {
    // Qt's own dialog: the same on every desktop, and one the tests can drive.
    QFileDialog dialog(parent, to_qstring(title));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.first();
}
