// The cached-text delegate must draw what the style's own delegate draws: same
// texts in the same places, elided the same way, in the same colours, and
// again correctly after the texts, the column widths or the font change.
#include "widgets/cached_text_delegate.hpp"

#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QStyleFactory>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <memory>

namespace {

// Two identical lists side by side, one with each delegate, in the style given.
class CachedTextDelegateTest : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        QApplication::setStyle(QStyleFactory::create(GetParam()));
        for (auto* list : {&plain, &cached}) {
            *list = std::make_unique<QTreeWidget>();
            QTreeWidget& l = **list;
            l.resize(456, 300);
            l.setColumnCount(4);
            l.setRootIsDecorated(false);
            l.setUniformRowHeights(true);
            l.setHeaderLabels({"集数", "网址", "时长", "状态"});
            const int widths[] = {50, 300, 50, 50};
            for (int c = 0; c < 4; ++c)
                l.setColumnWidth(c, widths[c]);
            for (int i = 1; i <= 12; ++i) {
                auto* item = new QTreeWidgetItem(&l);
                item->setText(0, QString("第%1集").arg(i));
                item->setText(1, QString("http://127.0.0.1:8080/yousheng/kehuan/三体/%1.mp3"
                                         "?key=0123456789abcdef0123456789abcdef")
                                     .arg(i, 3, 10, QChar('0')));
                item->setText(2, QString::number(i));
                item->setText(3, "未下载");
            }
            l.topLevelItem(3)->setText(1, "short");
            l.topLevelItem(4)->setText(1, QString());
            l.topLevelItem(5)->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
            l.topLevelItem(6)->setText(1, "two\nlines");
            l.topLevelItem(2)->setSelected(true);
            l.topLevelItem(7)->setSelected(true);
            l.show();
        }
        cached->setItemDelegate(new CachedTextDelegate(cached.get()));
    }

    // Both lists changed the same way.
    template <typename Change> void change(Change&& how) {
        how(*plain);
        how(*cached);
    }

    // Pixels that differ between the two lists' current pictures.
    int differing_pixels() {
        QApplication::processEvents();
        const QImage a = plain->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QImage b = cached->grab().toImage().convertToFormat(QImage::Format_RGB32);
        if (a.size() != b.size())
            return a.width() * a.height();
        int differing = 0;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x)
                differing += a.pixel(x, y) != b.pixel(x, y);
        return differing;
    }

    std::unique_ptr<QTreeWidget> plain, cached;
};

// Glyph edges may blend a shade differently; a misplaced, stale or recoloured
// text changes hundreds of pixels.
constexpr int tolerance = 20;

TEST_P(CachedTextDelegateTest, DrawsWhatTheStyleDraws) {
    EXPECT_LE(differing_pixels(), tolerance);
}

TEST_P(CachedTextDelegateTest, FollowsChangedTextsWidthsAndFonts) {
    ASSERT_LE(differing_pixels(), tolerance); // fills the cache

    change([](QTreeWidget& l) {
        l.topLevelItem(0)->setText(3, "已下载");
        l.topLevelItem(1)->setText(1, "/home/user/有声书/三体/三体_第2集.mp3");
    });
    EXPECT_LE(differing_pixels(), tolerance) << "after new texts";

    change([](QTreeWidget& l) { l.setColumnWidth(1, 120); });
    EXPECT_LE(differing_pixels(), tolerance) << "after a narrower column";

    change([](QTreeWidget& l) {
        QFont larger = l.font();
        larger.setPointSize(larger.pointSize() + 4);
        l.setFont(larger);
    });
    EXPECT_LE(differing_pixels(), tolerance) << "after a larger font";

    change([](QTreeWidget& l) {
        l.clearSelection();
        l.topLevelItem(0)->setSelected(true);
        l.setEnabled(false);
    });
    EXPECT_LE(differing_pixels(), tolerance) << "disabled, another row selected";
}

TEST_P(CachedTextDelegateTest, ManyDistinctTextsStayCorrect) {
    // More texts than the cache keeps: it starts over and goes on drawing right.
    for (int k = 0; k < 100; ++k) {
        change([k](QTreeWidget& l) {
            for (int r = 0; r < l.topLevelItemCount(); ++r)
                for (int c = 0; c < 4; ++c)
                    l.topLevelItem(r)->setText(c, QString("%1-%2-%3").arg(k).arg(r).arg(c));
            l.setColumnWidth(1, 100 + 7 * (k % 20));
        });
        ASSERT_LE(differing_pixels(), tolerance) << k;
    }
}

INSTANTIATE_TEST_SUITE_P(Styles, CachedTextDelegateTest, ::testing::Values("Fusion", "Windows"));

} // namespace
