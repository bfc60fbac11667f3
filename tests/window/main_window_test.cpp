#include "site/book_page.hpp"
#include "playback/media_player.hpp"
#include "settings/window_place.hpp"
#include "window_fixture.hpp"

#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QScreen>
#include <QHeaderView>
#include <QImageReader>
#include <QLabel>
#include <QListWidget>
#include <QScrollBar>
#include <QTreeView>

namespace {

struct Placement {
    const char* name;
    const char* kind;
    QRect geometry;
};

// Every visible control, in the order the window stores them.
const Placement placements[] = {
    {"按钮3", "QPushButton", {536, 203, 40, 24}},
    {"超级列表框2", "QListWidget", {472, 235, 104, 408}},
    {"编辑框3", "QLineEdit", {528, 112, 48, 24}},
    {"编辑框2", "QLineEdit", {408, 112, 104, 24}},
    {"标签4", "QLabel", {528, 88, 48, 24}},
    {"标签3", "QLabel", {408, 88, 96, 24}},
    {"播放器1", "MediaPlayer", {264, 150, 312, 45}},
    {"图片框2", "QLabel", {264, 88, 136, 48}},
    {"按钮2", "QPushButton", {472, 203, 48, 24}},
    {"图片框1", "QLabel", {160, 56, 92, 136}},
    {"标签2", "QLabel", {8, 56, 152, 136}},
    {"超级链接框1", "QLabel", {280, 56, 224, 24}},
    {"标签1", "QLabel", {8, 24, 32, 24}},
    {"超级列表框1", "QTreeView", {8, 203, 456, 440}},
    {"按钮1", "QPushButton", {512, 56, 64, 24}},
    {"编辑框1", "QLineEdit", {40, 24, 536, 24}},
};

// Where a control stands when the window is `growth` larger than its default
// size: the episode list takes the width and the height, the folder list and
// the two buttons above it move with the right edge and the folder list takes
// the height, the address box takes the width; the rest stays. Without a cover
// the information takes the cover's room too.
QRect expected_place(const Placement& p, QSize growth, bool cover = false) {
    const std::string name = p.name;
    QRect r = p.geometry;
    if (name == "超级列表框1")
        r.adjust(0, 0, growth.width(), growth.height());
    else if (name == "超级列表框2")
        r.adjust(growth.width(), 0, growth.width(), growth.height());
    else if (name == "按钮2" || name == "按钮3")
        r.translate(growth.width(), 0);
    else if (name == "编辑框1" || name == "播放器1")
        r.adjust(0, 0, growth.width(), 0);
    else if (name == "标签2" && !cover)
        r.setWidth(152 + 92);
    return r;
}

// The cover stands in its place only while there is one.
bool placed(const char* name, QWidget* window) {
    QWidget* control = window->findChild<QWidget*>(to_qstring(gbk(name)));
    return control && control->isVisibleTo(window);
}

} // namespace

using MainWindowTest = WindowFixture;

TEST_F(MainWindowTest, EveryControlIsInPlaceWithItsInitialContents) {
    window = std::make_unique<MainWindow>(); // created, not yet shown
    for (const Placement& p : placements) {
        auto* widget = control<QWidget>(p.name);
        ASSERT_TRUE(widget);
        EXPECT_TRUE(widget->inherits(p.kind)) << p.name << " " << widget->metaObject()->className();
        if (placed(p.name, window.get())) {
            EXPECT_EQ(widget->geometry(), expected_place(p, QSize(0, 0))) << p.name;
        }
    }
    EXPECT_FALSE(placed("图片框1", window.get())); // no cover yet
    EXPECT_EQ(text_of<QPushButton>("按钮3"), gbk("下载"));
    EXPECT_FALSE(control<QPushButton>("按钮3")->isEnabled());
    EXPECT_EQ(text_of<QPushButton>("按钮2"), gbk("配置"));
    EXPECT_EQ(text_of<QPushButton>("按钮1"), gbk("查询"));
    EXPECT_EQ(text_of<QLineEdit>("编辑框3"), "10");
    EXPECT_EQ(text_of<QLineEdit>("编辑框2"), "35");
    EXPECT_EQ(text_of<QLabel>("标签1"), gbk("网址："));
    for (const char* empty : {"标签2", "标签3", "标签4"})
        EXPECT_EQ(text_of<QLabel>(empty), "") << empty;
    EXPECT_TRUE(control<QLabel>("图片框1")->pixmap().isNull());
    Text sample = text_of<QLineEdit>("编辑框1");
    EXPECT_EQ(sample.rfind("https://", 0), 0u);
    EXPECT_NE(sample.find("/yousheng/28946/play_28946_31.htm"), Text::npos);
    EXPECT_FALSE(window->windowTitle().isEmpty());

    auto* episodes = control<QTreeView>("超级列表框1");
    EXPECT_EQ(episodes->model()->rowCount(), 0);
    EXPECT_FALSE(episodes->rootIsDecorated());
    EXPECT_FALSE(episodes->isHeaderHidden());
    const char* headers[] = {"集数", "网址", "时长", "状态"};
    ASSERT_EQ(episodes->model()->columnCount(), 4);
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(from_qstring(episodes->model()->headerData(c, Qt::Horizontal).toString()),
                  gbk(headers[c]));
    }
    // At least as wide as the form's columns, and wide enough for their texts.
    const QFontMetrics metrics(episodes->font());
    EXPECT_GE(episodes->columnWidth(0), 50);
    EXPECT_GT(episodes->columnWidth(0), metrics.horizontalAdvance(to_qstring(gbk("第1234集"))));
    EXPECT_GE(episodes->columnWidth(2), 50);
    EXPECT_GE(episodes->columnWidth(3), 50);
    EXPECT_GT(episodes->columnWidth(3), metrics.horizontalAdvance(to_qstring(gbk("已下载"))));
    EXPECT_EQ(control<QListWidget>("超级列表框2")->count(), 0);

    // The logo: our own single-frame 190 x 70 GIF, fitted into its box.
    QImageReader logo(":/window/logo.gif");
    EXPECT_EQ(logo.format(), "gif");
    EXPECT_EQ(logo.size(), QSize(190, 70));
    EXPECT_EQ(logo.imageCount(), 1);
    QPixmap shown = control<QLabel>("图片框2")->pixmap();
    EXPECT_FALSE(shown.isNull());
    EXPECT_LE(shown.width(), 136);
    EXPECT_LE(shown.height(), 48);
}

TEST_F(MainWindowTest, WithoutConfigurationItOpensEmptyAndLoadsNothing) {
    HomeFolder home;
    std::filesystem::create_directories(home.default_save_folder() / native_path(gbk("书甲")));
    open_window();
    EXPECT_EQ(window->frameGeometry().width(), 593);
    EXPECT_EQ(window->size(), window->default_size()); // the run line and the listening bar included
    EXPECT_EQ(text_of<QLineEdit>("编辑框1"), "");
    EXPECT_EQ(text_of<QLabel>("标签2"), "");
    EXPECT_TRUE(control<QLabel>("图片框1")->pixmap().isNull());
    EXPECT_EQ(window->episodes().row_count(), 0);
    EXPECT_FALSE(control<QPushButton>("按钮3")->isEnabled());
    EXPECT_EQ(window->session().startup_save_folder(), "");
    // The empty save folder stands for the music folder's 有声书.
    auto* folders = control<QListWidget>("超级列表框2");
    ASSERT_EQ(folders->count(), 1);
    EXPECT_EQ(from_qstring(folders->item(0)->text()), gbk("书甲"));
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(site->page_requests(), 0);
}

TEST_F(MainWindowTest, StoredAddressLoadsOnceAtStartAndBuildsNoRows) {
    configure(address());
    open_window();
    EXPECT_EQ(text_of<QLineEdit>("编辑框1"), address());
    EXPECT_EQ(window->session().startup_save_folder(), save.text());
    EXPECT_EQ(window->session().book().title, book.title);
    EXPECT_EQ(window->session().book().book_id, book.book_id);
    EXPECT_EQ(text_of<QLabel>("标签2"), information_text(window->session().book()));
    EXPECT_EQ(text_of<QLabel>("标签3"), gbk("开始：？/共120集"));
    EXPECT_EQ(text_of<QLabel>("标签4"), gbk("跨度"));
    EXPECT_FALSE(control<QLabel>("图片框1")->pixmap().isNull());
    EXPECT_EQ(window->episodes().row_count(), 0);
    EXPECT_FALSE(control<QPushButton>("按钮3")->isEnabled());
    EXPECT_TRUE(dialogs.messages.empty());
    // Putting the stored address into the box did not load a second time.
    EXPECT_EQ(site->page_requests(), 1);
    EXPECT_EQ(site->cover_requests(), 1);
    // The hyperlink leads to the home page of the book's site.
    Text link = text_of<QLabel>("超级链接框1");
    EXPECT_NE(link.find("href=\"https://" + site->catalogue_host() + "/\""), Text::npos) << link;
    EXPECT_EQ(window->session().book_host(), site->catalogue_host());
}

// The settings window is modal; a new save folder is taken when it closes: the
// book folders are listed from it, and nothing else changes.
TEST_F(MainWindowTest, SettingsWindowIsModalAndItsNewSaveFolderIsTakenAtOnce) {
    configure(address());
    open_window();
    Text info = text_of<QLabel>("标签2");
    TempFolder other;
    std::filesystem::create_directories(other.path / native_path(gbk("书乙")));
    bool was_modal = false;
    dialogs.on_dialog = [&](QWidget* dialog) {
        was_modal = dialog->isModal() && dialog->parentWidget() == window.get();
        DialogDriver::close_later(dialog);
    };
    QTest::mouseClick(control<QPushButton>("按钮2"), Qt::LeftButton);
    EXPECT_TRUE(was_modal);

    EXPECT_EQ(save_folder_in_settings(other.text()), std::vector<Text>{gbk("配置成功！")});
    EXPECT_EQ(read_setting(gbk("默认保存路径")), other.text());
    EXPECT_EQ(window->session().startup_save_folder(), other.text());
    auto* folders = control<QListWidget>("超级列表框2");
    ASSERT_EQ(folders->count(), 1);
    EXPECT_EQ(from_qstring(folders->item(0)->text()), gbk("书乙"));
    EXPECT_EQ(text_of<QLabel>("标签2"), info);
    EXPECT_EQ(site->page_requests(), 1);
}

TEST_F(MainWindowTest, ResizingGivesTheListsTheRoomAndTheRestStays) {
    open_window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    const QSize standard = window->size();
    EXPECT_EQ(standard, window->default_size());
    // Small enough for a 1920 x 1080 screen at scale 2, frame and panel included.
    EXPECT_LE(window->minimumHeight(), 480);
    EXPECT_LE(window->minimumWidth(), standard.width());
    EXPECT_EQ(window->maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));

    for (int r = 0; r < 60; ++r)
        add_row(gbk("第1234集"));
    auto* episodes = control<QTreeView>("超级列表框1");
    const QSize sizes[] = {standard + QSize(400, 250), window->minimumSize(), standard};
    for (const QSize& size : sizes) {
        SCOPED_TRACE(size.width() * 10000 + size.height());
        window->resize(size);
        QApplication::processEvents();
        ASSERT_EQ(window->size(), size);
        for (const Placement& p : placements)
            if (placed(p.name, window.get())) {
                EXPECT_EQ(control<QWidget>(p.name)->geometry(), expected_place(p, size - standard))
                    << p.name;
            }
        // Every column in sight beside the scroll bar, the address column the widest.
        ASSERT_TRUE(episodes->verticalScrollBar()->isVisible());
        const QHeaderView* header = episodes->header();
        EXPECT_LE(header->sectionPosition(3) + header->sectionSize(3),
                  episodes->viewport()->width());
        for (int c : {0, 2, 3})
            EXPECT_GT(header->sectionSize(1), header->sectionSize(c));
    }
    EXPECT_GT(control<QWidget>("超级列表框2")->height(), 90);
    EXPECT_GT(control<QWidget>("超级列表框1")->height(), 120);
}

// A larger font, set before the window opens or while it is open: every control
// of text is as tall as it asks, controls apart at the form's font stay apart,
// the window grows by what that takes and the lists keep their height; the font
// set back puts every control in its place again.
TEST_F(MainWindowTest, ALargerFontGrowsTheLinesAndKeepsControlsApart) {
    const QFont usual = QApplication::font();
    const struct FontBack {
        QFont font;
        ~FontBack() { QApplication::setFont(font); }
    } font_back{usual}; // the next tests have the usual font, whatever fails here
    // 14 pt would make the window taller than the 768 px screen: the line of the
    // run progress also holds the bookmark button and the silence switch.
    QFont large = usual;
    large.setPointSize(13);
    for (const bool while_open : {false, true}) {
        SCOPED_TRACE(while_open ? "while open" : "before opening");
        if (!while_open)
            QApplication::setFont(large);
        open_window();
        if (while_open)
            QApplication::setFont(large);
        QApplication::processEvents();
        for (QWidget* w : window->findChildren<QWidget*>()) {
            const bool in_spin_box = qobject_cast<QAbstractSpinBox*>(w->parentWidget()); // frameless
            if (w->isVisible() && !in_spin_box &&
                (qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractButton*>(w) ||
                 qobject_cast<QLabel*>(w))) {
                EXPECT_GE(w->height(), w->sizeHint().height()) << from_qstring(w->objectName());
                // and as wide as its text's ink, a caption of one line or a button
                const auto* label = qobject_cast<QLabel*>(w);
                const auto* button = qobject_cast<QAbstractButton*>(w);
                const QString text = label ? label->text() : button ? button->text() : QString();
                if (!(label && (label->wordWrap() || Qt::mightBeRichText(text)))) {
                    EXPECT_GE(w->contentsRect().width(), w->fontMetrics().boundingRect(text).width())
                        << text.toStdString();
                }
            }
        }
        for (const Placement& a : placements)
            for (const Placement& b : placements)
                if (&a < &b && placed(a.name, window.get()) && placed(b.name, window.get()) &&
                    !expected_place(a, QSize(0, 0)).intersects(expected_place(b, QSize(0, 0)))) {
                    EXPECT_FALSE(control<QWidget>(a.name)->geometry().intersects(
                        control<QWidget>(b.name)->geometry()))
                        << a.name << " " << b.name;
                }
        auto* strip = control<QWidget>("bottom_strip"); // wider than the form: the window widens
        EXPECT_GE(strip->width(), strip->minimumSizeHint().width());
        EXPECT_GT(window->height(), 674);
        EXPECT_EQ(window->size(), window->default_size());
        EXPECT_EQ(control<QWidget>("超级列表框1")->height(), 440);

        QApplication::setFont(usual);
        QApplication::processEvents();
        EXPECT_EQ(window->size(), window->default_size());
        for (const Placement& p : placements)
            if (placed(p.name, window.get())) {
                EXPECT_EQ(control<QWidget>(p.name)->geometry(), expected_place(p, QSize(0, 0))) << p.name;
            }
        window.reset();
    }
}

TEST_F(MainWindowTest, RowsBelowTheListsMakeTheWindowTaller) {
    open_window();
    const QSize before = window->size();
    auto* row = new QLabel("row below");
    row->setMinimumHeight(30);
    window->add_bottom_strip(row);
    QApplication::processEvents();
    EXPECT_GE(window->size().height(), before.height() + 30);
    EXPECT_EQ(window->size(), window->default_size());
    // The lists keep their places; the row stands below them, across the window.
    for (const Placement& p : placements)
        if (placed(p.name, window.get())) {
            EXPECT_EQ(control<QWidget>(p.name)->geometry(), expected_place(p, QSize(0, 0))) << p.name;
        }
    EXPECT_GE(row->mapTo(window.get(), QPoint(0, 0)).y(), 640);
    EXPECT_EQ(row->mapTo(window.get(), QPoint(0, 0)).x(), 8);
    EXPECT_EQ(row->width(), 568);
    EXPECT_LE(row->mapTo(window.get(), QPoint(0, row->height())).y(), window->height());
}

TEST_F(MainWindowTest, SizeAndPlaceComeBackOnTheNextStart) {
    const struct {
        QRect normal;
        bool maximised;
    } cases[] = {{{120, 90, 800, 560}, false}, {{60, 40, 700, 600}, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.maximised);
        open_window();
        window->setGeometry(c.normal);
        if (c.maximised)
            window->showMaximized();
        QApplication::processEvents();
        window->close();
        window.reset();

        open_window();
        QApplication::processEvents();
        EXPECT_EQ(window->isMaximized(), c.maximised);
        const QRect normal = c.maximised ? window->normalGeometry() : window->geometry();
        EXPECT_EQ(normal.size(), c.normal.size());
        // The offscreen platform draws a 2 px frame around a maximised window.
        EXPECT_LE((normal.topLeft() - c.normal.topLeft()).manhattanLength(), 4);
        window->showNormal();
        window->close();
        window.reset();
    }
}

TEST_F(MainWindowTest, TabGoesThroughEveryNamedControlInOrderAndBack) {
    open_window();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    EXPECT_EQ(QApplication::focusWidget(), control<QWidget>("编辑框1"));

    auto* player = control<QWidget>("播放器1");
    const std::vector<QWidget*> order = {
        control<QWidget>("编辑框1"),      control<QWidget>("标签2"),
        control<QWidget>("超级链接框1"),
        control<QWidget>("按钮1"),        control<QWidget>("编辑框2"),
        control<QWidget>("编辑框3"),      control<QWidget>("range_line"),
        player->findChild<QWidget*>("seek_bar"),
        control<QWidget>("超级列表框1"), control<QWidget>("按钮2"),
        control<QWidget>("超级列表框2"),     control<QWidget>("run_line"),
        control<QWidget>("now_playing"),
        control<QWidget>("skip_silence_box"),
        control<QWidget>("speed_box"),    control<QWidget>("sleep_timer"),
        control<QWidget>("volume_slider"), control<QWidget>("continue_button"),
    };
    // The download button is disabled at start, and so are the skips of the
    // intro and outro before a book plays, and ▶, ■, 添加书签 and the jumps
    // with no episode open, so Tab passes them by.
    std::vector<QWidget*> forward;
    for (std::size_t i = 0; i < order.size(); ++i) {
        forward.push_back(QApplication::focusWidget());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(forward, order);
    std::vector<QWidget*> backward;
    for (std::size_t i = 0; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        backward.insert(backward.begin(), QApplication::focusWidget());
    }
    EXPECT_EQ(backward, order);

    // Each says what it is.
    for (QWidget* w : order) {
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(w);
        ASSERT_TRUE(face);
        EXPECT_FALSE(face->text(QAccessible::Name).isEmpty()) << w->objectName().toStdString();
    }
    EXPECT_EQ(QAccessible::queryAccessibleInterface(control<QWidget>("编辑框1"))
                  ->text(QAccessible::Name),
              to_qstring(gbk("网址：")));
}

TEST_F(MainWindowTest, EnterInABoxQueriesAndCtrlQCloses) {
    configure(address());
    for (const char* box : {"编辑框1", "编辑框2", "编辑框3"}) {
        SCOPED_TRACE(box);
        open_window();
        ASSERT_TRUE(finish_long_work());
        QTest::keyClick(control<QLineEdit>(box), Qt::Key_Return);
        EXPECT_TRUE(QTest::qWaitFor([&] { return window->episodes().row_count() > 0; }, 30000));
        ASSERT_TRUE(finish_long_work());
        EXPECT_TRUE(control<QPushButton>("按钮3")->isEnabled());
        QTest::keyClick(window.get(), Qt::Key_Q, Qt::ControlModifier);
        EXPECT_FALSE(window->isVisible());
        window.reset();
    }
}

// The start and span boxes begin from the start and count the settings window
// stores, or from 35 and 10.
TEST_F(MainWindowTest, RangeBoxesStartFromTheStoredStartAndCount) {
    struct Case {
        const char *start, *count, *start_box, *span_box;
    } const cases[] = {{"", "", "35", "10"}, {"100", "5", "100", "5"}, {"2.5", "", "2.5", "10"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start);
        configure();
        ASSERT_TRUE(write_setting(gbk("显示与下载开始集数"), c.start));
        ASSERT_TRUE(write_setting(gbk("默认显示集数"), c.count));
        open_window();
        EXPECT_EQ(text_of<QLineEdit>("编辑框2"), c.start_box);
        EXPECT_EQ(text_of<QLineEdit>("编辑框3"), c.span_box);
    }
}

// The seek bar takes the room beside the player's buttons and grows with the
// window; the volume slider keeps its length; choosing any item of any combo
// box leaves the window's size as it was.
TEST_F(MainWindowTest, SeekBarTakesTheRoomAndChoicesKeepTheWindowsSize) {
    open_window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    auto* player = control<QWidget>("播放器1");
    auto* seek = player->findChild<QWidget*>("seek_bar");
    auto* volume = window->findChild<QWidget*>("volume_slider");
    ASSERT_TRUE(seek && volume);
    EXPECT_GT(seek->width(), player->width() / 3);
    const int volume_length = volume->width();
    window->resize(window->size() + QSize(300, 0));
    QApplication::processEvents();
    EXPECT_EQ(volume->width(), volume_length);
    window->resize(window->default_size());
    QApplication::processEvents();

    const QSize size = window->size();
    for (QComboBox* box : window->findChildren<QComboBox*>()) {
        for (int i = 0; i < box->count(); ++i) {
            SCOPED_TRACE(box->itemText(i).toStdString());
            box->setCurrentIndex(i);
            emit box->activated(i);
            QApplication::processEvents();
            EXPECT_EQ(window->size(), size);
        }
        box->setCurrentIndex(0);
        emit box->activated(0);
    }
    EXPECT_FALSE(window->findChildren<QComboBox*>().isEmpty());
}

// Wherever the kept place puts it, and however large it was, the window opens on
// the screen's free area, frame included; a place on it comes back exactly, time
// after time.
TEST_F(MainWindowTest, TheWindowOpensOnTheScreenAndAKeptPlaceComesBackExactly) {
    const QRect free = QGuiApplication::primaryScreen()->availableGeometry();
    const struct {
        QRect kept;
        bool exact;
    } cases[] = {
        {{120, 90, 700, 600}, true},
        {{-400, -300, 700, 600}, false},
        {{5000, 4000, 700, 600}, false},
        {{20, 10, 3000, 2000}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kept.x());
        ASSERT_TRUE(write_window_place(window_place_file(), {c.kept.x(), c.kept.y(), c.kept.width(),
                                                             c.kept.height(), false}));
        for (int run = 0; run < 3; ++run) {
            open_window();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
            QApplication::processEvents();
            EXPECT_TRUE(free.contains(window->frameGeometry())) << run;
            if (c.exact) {
                EXPECT_EQ(QRect(window->pos(), window->size()), c.kept) << run;
            }
            window->close();
            window.reset();
        }
    }
}

// The book's information is a read-only text as soon as it is shown, so a screen
// reader says it wherever it meets the label; its caption is its description.
TEST_F(MainWindowTest, TheBooksInformationIsExposedToScreenReaders) {
    configure(address());
    open_window();
    auto* information = control<QLabel>("标签2");
    ASSERT_FALSE(information->text().isEmpty());
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(information);
    ASSERT_TRUE(face);
    ASSERT_TRUE(face->textInterface());
    EXPECT_EQ(face->textInterface()->text(0, face->textInterface()->characterCount()),
              information->text().remove('\r'));
    EXPECT_EQ(face->text(QAccessible::Name), information->text().simplified());
    EXPECT_EQ(face->text(QAccessible::Description), to_qstring(gbk("书籍信息")));
    EXPECT_NE(face->text(QAccessible::Name).indexOf(to_qstring(window->session().book().title)), -1);
}
