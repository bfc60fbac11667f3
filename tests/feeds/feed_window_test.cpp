// The window's feed address: a QR code a phone can scan (dark modules on a
// quiet zone of white), the address in a read-only box, and a copy button,
// each named for a screen reader.
#include "window/feed_address.hpp"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QString q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

TEST(FeedAddressDialog, ShowsTheAddressAsTextAndAsAQrCodeAndCopiesIt) {
    const QString address =
        q("http://192.168.1.20:8738/0123456789abcdef0123456789abcdef/%E6%B5%8B%E8%AF%95/feed.xml");
    FeedAddressDialog dialog(q("测试"), address, false);
    dialog.show();
    auto* box = dialog.findChild<QLineEdit*>(q("收听地址"));
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text(), address);
    EXPECT_TRUE(box->isReadOnly());
    EXPECT_EQ(box->accessibleName(), q("收听地址"));
    EXPECT_TRUE(dialog.findChild<QLabel*>(q("局域网收听未开"))) << "it says the switch is off";

    auto* picture = dialog.findChild<QLabel*>(q("收听地址二维码"));
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->accessibleName(), q("《测试》收听地址的二维码"));
    const QImage code = picture->pixmap().toImage();
    ASSERT_FALSE(code.isNull());
    EXPECT_EQ(code.width(), code.height());
    // A version-5 or larger code at 4 pixels a module, the quiet zone white,
    // the finder pattern's corner dark.
    EXPECT_GE(code.width(), (37 + 8) * 4);
    EXPECT_EQ(code.pixelColor(2, 2), QColor(Qt::white));
    EXPECT_EQ(code.pixelColor(4 * 4 + 1, 4 * 4 + 1), QColor(Qt::black));

    auto* copy = dialog.findChild<QPushButton*>(q("复制地址"));
    ASSERT_TRUE(copy);
    QApplication::clipboard()->clear();
    QTest::mouseClick(copy, Qt::LeftButton);
    EXPECT_EQ(QApplication::clipboard()->text(), address);
    EXPECT_EQ(copy->accessibleName(), q("已复制地址"));
}

TEST(FeedAddressDialog, QrCodesGrowWithTheTextAndRefuseWhatCannotFit) {
    EXPECT_LT(qr_code(q("http://a/b"), 1).width(), qr_code(QString(300, 'a'), 1).width());
    EXPECT_TRUE(qr_code(QString(5000, 'a'), 1).isNull());
}

} // namespace
