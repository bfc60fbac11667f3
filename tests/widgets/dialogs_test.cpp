// Qt's own texts in Chinese, and message boxes titled with the program's name.
#include "widgets/dialogs.hpp"
#include "widgets/qt_translations.hpp"

#include "text/gbk.hpp"
#include "text/qt_text.hpp"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

QString chinese(const char* utf8) {
    return to_qstring(gbk(utf8));
}

TEST(QtTranslations, DialogButtonsSpeakChinese) {
    ASSERT_TRUE(install_qt_translations());
    const struct {
        QDialogButtonBox::StandardButton button;
        const char* text;
    } cases[] = {{QDialogButtonBox::Ok, "确定"},
                 {QDialogButtonBox::Cancel, "取消"},
                 {QDialogButtonBox::Yes, "是"}};
    QDialogButtonBox box;
    for (const auto& c : cases) {
        box.setStandardButtons(c.button);
        EXPECT_EQ(box.button(c.button)->text().remove('&').remove(QRegularExpression("\\(.*\\)")),
                  chinese(c.text));
    }
    // Qt's folder dialog asks in Chinese too.
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::Directory);
    auto* buttons = dialog.findChild<QDialogButtonBox*>();
    ASSERT_TRUE(buttons);
    EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text().remove('&').remove(
                  QRegularExpression("\\(.*\\)")),
              chinese("取消"));
}

TEST(MessageBoxes, AreTitledWithTheProgramsName) {
    QString title, text;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_TRUE(box);
        title = box->windowTitle();
        text = box->text();
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    show_message(nullptr, gbk("配置成功！"));
    EXPECT_EQ(title, chinese("有声书下载播放器"));
    EXPECT_EQ(title, program_title());
    EXPECT_EQ(text, chinese("配置成功！"));
}

// A box is wide enough for its title in the frame, however short its text.
TEST(MessageBoxes, AreWideEnoughForTheirTitle) {
    for (const char* text : {"好", "配置成功！"}) {
        int width = 0, needed = 0;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_TRUE(box);
            width = box->width();
            needed = title_room(box->windowTitle(), box->font());
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        });
        show_message(nullptr, gbk(text));
        EXPECT_GT(needed, QFontMetrics(QApplication::font()).horizontalAdvance(program_title()));
        EXPECT_GE(width, needed) << text;
    }
}

} // namespace
