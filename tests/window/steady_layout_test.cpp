// Controls stay where the user aims while texts come and go, texts fit their
// cells, and a first start says what to do and offers nothing that cannot work.
#include "playback/listening_control.hpp"
#include "playback/playback_engine.hpp"
#include "playback/player.hpp"
#include "widgets/report_list.hpp"
#include "window/book_view.hpp"
#include "window_fixture.hpp"

#include <QAbstractButton>
#include <QAccessible>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QScreen>
#include <QSlider>
#include <QStandardItemModel>
#include <QStyle>
#include <QTreeWidget>

#include <fstream>
#include <functional>
#include <map>

namespace {

// The controls a user aims at, by name.
const char* const aimed_at[] = {"按钮1", "按钮2", "按钮3", "超级列表框1", "超级列表框2",
                                "编辑框2", "播放器1", "添加书签", "skip_silence_box",
                                "follow_switch", "speed_box", "volume_slider", "continue_button"};

} // namespace

class SteadyLayout : public WindowFixture {
  protected:
    std::map<std::string, QRect> places() const {
        std::map<std::string, QRect> at;
        for (const char* name : aimed_at) {
            QWidget* w = window->findChild<QWidget*>(to_qstring(gbk(name)));
            if (w)
                at[name] = QRect(w->mapTo(window.get(), QPoint(0, 0)), w->size());
        }
        return at;
    }
    QAbstractButton* silence() const { return control<QAbstractButton>("skip_silence_box"); }
};

// Each change of a text below or beside the controls leaves every control where
// it was, and the window its size.
TEST_F(SteadyLayout, ChangingTextsMoveNoControl) {
    configure(address());
    open_window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    // Room below for the bookmark list to come.
    window->resize(window->width(), window->height() - 200);
    QApplication::processEvents();
    ASSERT_NE(window->findChild<QWidget*>("follow_switch"), nullptr);
    const auto before = places();
    const QSize size = window->size();
    PlaybackEngine& engine = window->session().listening_control().player().engine();
    const struct {
        const char* what;
        std::function<void()> change;
        std::function<bool()> shown; // the change has shown
    } cases[] = {
        {"a failure said in a box", [&] { paste_address("http://127.0.0.1:9/yousheng/1/play_1_1.htm"); },
         [&] { return !dialogs.messages.empty(); }},
        {"a status line typed into",
         [&] {
             auto* box = control<QLineEdit>("编辑框1");
             box->setFocus();
             box->selectAll();
             QTest::keyClicks(box, "http://127.0.0.1:9/yousheng/1/play_1_2.htm");
             wait_for_book_page();
         },
         [&] {
             auto* status = control<QLabel>("load_status");
             return status->isVisible() && status->toolTip() == status->text();
         }},
        {"a short silence cut", [&] { emit engine.silenceSkippedChanged(16'000); },
         [&] { return silence()->text() == to_qstring(gbk("跳过静音 -0:16")); }},
        {"a long silence cut", [&] { emit engine.silenceSkippedChanged(59 * 60'000 + 59'000); },
         [&] { return silence()->text() == to_qstring(gbk("跳过静音 -59:59")); }},
        {"the status line gone", [&] { paste_address(address()); },
         [&] { return !control<QLabel>("load_status")->isVisible(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.change();
        EXPECT_TRUE(eventually(c.shown));
        QApplication::processEvents();
        EXPECT_EQ(places(), before);
        EXPECT_EQ(window->size(), size);
    }
    // The bookmark list comes below everything: the window grows by it and
    // every control above stays; gone again, the window is as it was.
    auto* bookmarks = control<QTreeWidget>("书签");
    EXPECT_FALSE(bookmarks->isVisible());
    bookmarks->show();
    QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_EQ(places(), before);
    EXPECT_GE(window->height(), size.height() + bookmarks->height());
    EXPECT_GE(bookmarks->mapTo(window.get(), QPoint(0, 0)).y(),
              control<QWidget>("continue_button")->mapTo(window.get(), QPoint(0, 0)).y());
    bookmarks->hide();
    QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_EQ(window->size(), size);
    EXPECT_EQ(places(), before);
}

// A row's warning icon neither cuts its state nor adds to its height: the
// state column is as wide as the widest state with its icon, in the list's
// font, and a row with an icon, the first one too, is as tall as one without.
TEST(EpisodeColumns, StatesShowWholeBesideTheirIconsAndRowsAreEven) {
    for (const int points : {9, 12, 16}) {
        SCOPED_TRACE(points);
        ReportList list;
        QFont font = list.font();
        font.setPointSize(points);
        list.setFont(font);
        QStandardItemModel model(0, 4);
        const QIcon warning = list.style()->standardIcon(QStyle::SP_MessageBoxWarning);
        const struct {
            const char* state;
            bool icon;
        } rows[] = {{"未下载", true},  {"已暂停 62%", false}, {"已暂停 100%", false},
                    {"已下载", false}, {"重试 3/3", true}};
        for (const auto& r : rows) {
            auto* state = new QStandardItem(to_qstring(gbk(r.state)));
            if (r.icon)
                state->setIcon(warning);
            model.appendRow({new QStandardItem(to_qstring(gbk("第1000集"))), new QStandardItem("x"),
                             new QStandardItem("1:02:03"), state});
        }
        list.setModel(&model);
        fit_episode_columns(&list);
        list.resize(700, 300);
        list.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
        const QFontMetrics metrics(list.font());
        const int plain_height = list.visualRect(model.index(1, 3)).height();
        for (int r = 0; r < model.rowCount(); ++r) {
            SCOPED_TRACE(rows[r].state);
            const QRect cell = list.visualRect(model.index(r, 3));
            EXPECT_EQ(cell.height(), plain_height);
            const int icon = rows[r].icon ? list.iconSize().width() : 0;
            EXPECT_GE(cell.width(), metrics.horizontalAdvance(model.item(r, 3)->text()) + icon + 8);
            EXPECT_GE(list.columnWidth(0), metrics.horizontalAdvance(model.item(r, 0)->text()) + 8);
        }
        EXPECT_LE(list.iconSize().height(), metrics.height());
    }
}

// A first start with nothing kept: the boxes say what they are for, nothing
// that needs an episode can be pressed, the window stands in the middle of the
// screen; a book loaded takes the hints away, the information takes the room
// of a missing cover, and a cover gets its room back.
TEST_F(SteadyLayout, AFirstStartGuidesTheUser) {
    configure();
    open_window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    QApplication::processEvents();
    EXPECT_FALSE(control<QLineEdit>("编辑框1")->placeholderText().isEmpty());
    for (const char* box : {"编辑框2", "编辑框3"})
        EXPECT_FALSE(control<QLineEdit>(box)->toolTip().isEmpty()) << box;
    auto* player = control<QWidget>("播放器1");
    const std::vector<QWidget*> need_an_episode = {
        player->findChild<QWidget*>("play_pause_button"), player->findChild<QWidget*>("stop_button"),
        control<QWidget>("添加书签"), control<QWidget>("back_button"),
        control<QWidget>("forward_button")};
    for (QWidget* w : need_an_episode)
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    const QRect free = window->screen()->availableGeometry();
    EXPECT_LE((window->frameGeometry().center() - free.center()).manhattanLength(), 40);
    EXPECT_FALSE(control<QLabel>("图片框1")->isVisible());
    EXPECT_EQ(control<QLabel>("标签2")->width(), 152 + 92);

    const QSize size = window->size();
    paste_address(address());
    EXPECT_TRUE(eventually([&] { return control<QLabel>("图片框1")->isVisible(); }));
    QApplication::processEvents();
    EXPECT_EQ(control<QLabel>("标签2")->width(), 152);
    EXPECT_EQ(window->size(), size); // the cover takes the information's room, no more
    for (const char* box : {"编辑框2", "编辑框3"})
        EXPECT_TRUE(control<QLineEdit>(box)->toolTip().isEmpty()) << box;

    // Opened: the settings window stands over the main window's middle.
    QPoint settings_centre;
    dialogs.on_dialog = [&](QWidget* dialog) {
        settings_centre = dialog->frameGeometry().center();
        DialogDriver::close_later(dialog);
    };
    QTest::mouseClick(control<QPushButton>("按钮2"), Qt::LeftButton);
    EXPECT_LE((settings_centre - window->frameGeometry().center()).manhattanLength(), 40);
}

// The volume slider is longer than it was, names its unit and tells its value.
TEST_F(SteadyLayout, TheVolumeSliderSaysItsValue) {
    open_window();
    auto* volume = control<QSlider>("volume_slider");
    EXPECT_GE(volume->width(), 11 * volume->fontMetrics().averageCharWidth());
    EXPECT_TRUE(volume->accessibleName().contains('%'));
    for (const int value : {0, 150, 200}) {
        volume->setValue(value);
        EXPECT_TRUE(volume->toolTip().contains(QString::number(value) + QStringLiteral(" %")))
            << volume->toolTip().toStdString();
    }
}

// A right click on a library entry chooses it for its menu and opens nothing.
TEST_F(SteadyLayout, ARightClickOnALibraryEntryOnlyOpensItsMenu) {
    for (const char* name : {"b", "c"}) {
        std::filesystem::create_directories(save.path / name);
        std::ofstream(save.path / name / (std::string(name) + "_1.mp3")) << "x";
    }
    configure();
    open_window();
    auto* folders = control<QListWidget>("超级列表框2");
    ASSERT_EQ(folders->count(), 2);
    bool menu_shown = false;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            menu_shown = true;
            menu->close();
        }
    });
    closer.start(5);
    const QPoint at = folders->visualItemRect(folders->item(1)).center();
    QTest::mouseClick(folders->viewport(), Qt::RightButton, {}, at);
    // The window system follows the press with the menu's event.
    QContextMenuEvent menu_event(QContextMenuEvent::Mouse, at, folders->viewport()->mapToGlobal(at));
    QApplication::sendEvent(folders->viewport(), &menu_event);
    QTest::qWait(100);
    EXPECT_TRUE(menu_shown);
    EXPECT_EQ(window->session().episodes().size(), 0u);
    ASSERT_EQ(folders->selectedItems().size(), 1);
    EXPECT_EQ(folders->selectedItems()[0]->text(), QStringLiteral("c"));
}
