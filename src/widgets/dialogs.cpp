#include "widgets/dialogs.hpp"

#include "text/gbk.hpp"
#include "text/qt_text.hpp"

#include <QFileDialog>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>
#include <QStringList>

int title_room(const QString& title, const QFont& font) {
    if (title.isEmpty())
        return 0;
    QFont bold = font; // many window managers draw titles in bold
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    // The title, and the frame's icon and close, minimise and maximise buttons.
    return metrics.horizontalAdvance(title) + 5 * metrics.height() + 16;
}

void fit_title(QMessageBox& box) {
    const int width = title_room(box.windowTitle(), box.font());
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (width == 0 || !grid)
        return;
    // A message box sizes itself to its text; a row as wide as the title keeps
    // the window manager from cutting the title short.
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

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
    fit_title(box);
    box.exec();
}

QString program_title() {
    return to_qstring(gbk("有声书下载播放器"));
}

QString choose_folder(QWidget* parent, const Text& title, const QString& start_in) {
    // Qt's own dialog: the same on every desktop, and one the tests can drive.
    QFileDialog dialog(parent, to_qstring(title), start_in);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.first();
}
