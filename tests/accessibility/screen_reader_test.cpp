// The main window as a screen reader meets it on the accessibility bus, against
// the sample site: the roles, names and states it reads, and the changes it is
// told of (the events handed to Qt's bridge, and the name changes as the bus
// carries them). Keys move through the episode list without playing; Enter,
// Space and the mouse play.
#include "accessibility/atspi_guard.hpp"
#include "playback/media_player.hpp"
#include "playback/playback_engine.hpp"
#include "playback/player.hpp"
#include "settings/settings_window.hpp"
#include "site/download_paths.hpp"
#include "widgets/announcer.hpp"
#include "widgets/run_progress_line.hpp"
#include "window/window_fixture.hpp"

#include <QAbstractSlider>
#include <QAccessible>
#include <QComboBox>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusReply>
#include <QDBusVariant>
#include <QLabel>
#include <QListWidget>
#include <QSpinBox>
#include <QTreeWidget>
#include <QToolButton>

#include <fstream>

namespace {

constexpr int wait_ms = 20000;

// AT-SPI's roles and states, as a screen reader receives them.
enum AtSpiRole { frame_role = 23, label_role = 29, status_bar_role = 54, link_role = 88, notification_role = 101 };
constexpr int state_focusable = 11, state_read_only = 43;

QString q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// Every accessibility event the program hands to the bridge, as it was then.
struct Seen {
    QAccessible::Event type;
    QObject* object;
    int child;
};
std::vector<Seen> seen;
bool recording = false;

// Behind the program's own handler (accessible_events.hpp), in front of the
// bridge: what the bridge receives.
void record(QAccessibleEvent* event) {
    seen.push_back({event->type(), event->object(), event->child()});
    const QAccessible::UpdateHandler installed = QAccessible::installUpdateHandler(nullptr);
    QAccessible::updateAccessibility(event);
    QAccessible::installUpdateHandler(installed);
}

// Name changes as the accessibility bus carries them to a screen reader.
class NameChanges : public QObject {
    Q_OBJECT
  public:
    std::vector<std::pair<QString, QString>> said; // path, text

  public slots:
    void changed(const QDBusMessage& message) {
        const QVariantList a = message.arguments();
        if (a.size() >= 4 && a[0].toString() == QLatin1String("accessible-name"))
            said.emplace_back(message.path(), a[3].value<QDBusVariant>().variant().toString());
    }
};

class ScreenReader : public WindowFixture {
  protected:
    ScreenReader() { site_options.episode_size = 4 * 1024 * 1024; } // a few minutes each

    void SetUp() override {
        WindowFixture::SetUp();
        if (!std::exchange(recording, true))
            QAccessible::installUpdateHandler(record);
        guard_accessibility_bridge();
        configure(address());
        open_window();
        ASSERT_FALSE(window->session().book().title.empty());
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        QDBusReply<QString> bus =
            QDBusInterface("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus").call("GetAddress");
        ASSERT_TRUE(bus.isValid());
        ASSERT_TRUE(QTest::qWaitFor([] { return accessibility_bridge_guarded(); }, wait_ms));
        probe = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(bus.value(), "reader"));
        ASSERT_TRUE(probe->isConnected());
        program = QDBusConnection("a11y").baseService();
        probe->connect(program, QString(), "org.a11y.atspi.Event.Object", "PropertyChange", &names,
                       SLOT(changed(QDBusMessage)));
        player = &control<MediaPlayer>("播放器1")->player();
        list = control<QTreeView>("超级列表框1");
        announcer = window->findChild<Announcer*>();
        ASSERT_TRUE(announcer);
    }
    void TearDown() override {
        window.reset();
        probe.reset();
        QDBusConnection::disconnectFromBus("reader");
        WindowFixture::TearDown();
    }

    void query(const char* start, const char* span) {
        control<QLineEdit>("编辑框2")->setText(start);
        control<QLineEdit>("编辑框3")->setText(span);
        QTest::mouseClick(control<QPushButton>("按钮1"), Qt::LeftButton);
        ASSERT_TRUE(finish_long_work());
    }
    void click_row(int row) {
        const QModelIndex item = list->model()->index(row, 0);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(item).center());
    }

    static QString path_of(QObject* object) {
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(object);
        return QString("/org/a11y/atspi/accessible/%1").arg(QAccessible::uniqueId(face));
    }
    QDBusMessage call(const QString& path, const char* interface, const char* method,
                      const QVariantList& arguments = {}) {
        QDBusMessage message = QDBusMessage::createMethodCall(program, path, interface, method);
        message.setArguments(arguments);
        QDBusPendingCall pending = probe->asyncCall(message, wait_ms);
        EXPECT_TRUE(QTest::qWaitFor([&] { return pending.isFinished(); }, wait_ms));
        return pending.reply();
    }
    QVariant property(const QString& path, const char* name) {
        const QDBusMessage reply = call(path, "org.freedesktop.DBus.Properties", "Get",
                                        {QString("org.a11y.atspi.Accessible"), QString(name)});
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }
    QString name_of(const QString& path) { return property(path, "Name").toString(); }
    int role_of(const QString& path) {
        return call(path, "org.a11y.atspi.Accessible", "GetRole").arguments().value(0).toInt();
    }
    bool has_state(const QString& path, int state) {
        QList<uint> words;
        const QDBusArgument argument =
            call(path, "org.a11y.atspi.Accessible", "GetState").arguments().value(0).value<QDBusArgument>();
        argument >> words;
        return words.size() > state / 32 && (words[state / 32] >> (state % 32)) & 1u;
    }
    // The name of the episode list's cell at `row`, `column`, on the bus.
    QString cell_name(int row, int column) {
        return name_of_reference(
            call(path_of(list), "org.a11y.atspi.Table", "GetAccessibleAt", {row, column}));
    }
    // The name of the object a call answered with (a service and a path).
    QString name_of_reference(const QDBusMessage& answer) {
        const QDBusArgument reference = answer.arguments().value(0).value<QDBusArgument>();
        QString service;
        QDBusObjectPath path;
        reference.beginStructure();
        reference >> service >> path;
        reference.endStructure();
        return name_of(path.path());
    }
    std::vector<Seen> events_of(QObject* object, QAccessible::Event type) const {
        std::vector<Seen> found;
        for (const Seen& s : seen)
            if (s.object == object && s.type == type)
                found.push_back(s);
        return found;
    }
    QString play_url() const { return to_qstring(player->URL()); }
    // Whether `box` was told focused before any change of its caret or
    // selection was told, among the events seen.
    bool focused_before_its_text(QObject* box) const {
        for (const Seen& e : seen) {
            if (e.object != box)
                continue;
            if (e.type == QAccessible::Focus)
                return true;
            if (e.type == QAccessible::TextSelectionChanged || e.type == QAccessible::TextCaretMoved)
                return false;
        }
        return false;
    }

    // What a text call answers: a text and where it starts and ends.
    struct Span {
        QString text;
        int start = -1, end = -1;
    };
    Span text_span(const QString& path, const char* method, const QVariantList& arguments) {
        const QVariantList a = call(path, "org.a11y.atspi.Text", method, arguments).arguments();
        return {a.value(0).toString(), a.value(1).toInt(), a.value(2).toInt()};
    }
    // The text from `start` to `end` as a screen reader reads it: in the
    // stretches of the attribute runs, joined where they meet, up to where the
    // last run ends.
    QString read_in_runs(const QString& path, int start, int end) {
        int from = start, to = start;
        for (int offset = start; offset < end;) {
            const QVariantList run = call(path, "org.a11y.atspi.Text", "GetAttributeRun", {offset, false})
                                         .arguments();
            const int run_end = run.value(2).toInt();
            to = std::min(run_end, end);
            offset = std::max(run_end, offset + 1);
        }
        return text_span(path, "GetText", {from, to}).text;
    }
    QString attribute(const QString& path, const QString& key) {
        const QDBusArgument map =
            call(path, "org.a11y.atspi.Accessible", "GetAttributes").arguments().value(0).value<QDBusArgument>();
        QMap<QString, QString> attributes;
        map >> attributes;
        return attributes.value(key);
    }

    std::unique_ptr<QDBusConnection> probe;
    QString program;
    NameChanges names;
    Player* player = nullptr;
    QTreeView* list = nullptr;
    Announcer* announcer = nullptr;
};

} // namespace

TEST_F(ScreenReader, RolesNamesAndStatesOnTheBus) {
    query("35", "3");
    const Text title = window->session().book().title;
    auto* information = control<QLabel>("标签2");
    const struct {
        QObject* object;
        int role;
        QString name_holds;
    } objects[] = {
        {window.get(), frame_role, window->windowTitle()},
        {information, label_role, to_qstring(title)},
        {control<QLabel>("超级链接框1"), link_role, q("支持网站")},
        {window->findChild<RunProgressLine*>(QStringLiteral("run_line")), status_bar_role, q("已列出 3 集")},
        {announcer, notification_role, q("已列出 3 集")},
    };
    for (const auto& o : objects) {
        SCOPED_TRACE(o.object->objectName().toStdString());
        EXPECT_EQ(role_of(path_of(o.object)), o.role);
        EXPECT_TRUE(name_of(path_of(o.object)).contains(o.name_holds))
            << name_of(path_of(o.object)).toStdString();
    }
    // The book's details: a read-only text Tab reaches, read whole.
    const QString info_path = path_of(information);
    EXPECT_TRUE(has_state(info_path, state_focusable));
    EXPECT_TRUE(has_state(info_path, state_read_only));
    const QDBusMessage text = call(info_path, "org.a11y.atspi.Text", "GetText", {0, -1});
    ASSERT_EQ(text.type(), QDBusMessage::ReplyMessage) << text.errorMessage().toStdString();
    EXPECT_EQ(text.arguments().value(0).toString(), information->text().remove('\r'));

    // A row reads its cells in turn, each saying its own: the episode, the
    // address, heard or playing in words, the state.
    window->session().episodes().update(window->episodes().id_at(1), [](Episode& e) { e.heard = true; });
    window->session().episodes().update(window->episodes().id_at(2), [](Episode& e) { e.playing = true; });
    const struct {
        int row, column;
        QString name;
    } cells[] = {
        {0, 0, to_qstring(episode_at(0).label)},
        {2, 0, to_qstring(episode_at(2).label)},
        {2, 1, to_qstring(episode_at(2).address()).section('?', 0, 0)},
        {2, 2, q("正在播放")},
        {1, 2, q("已听完")},
        {2, 3, q("未下载")},
    };
    for (const auto& c : cells) {
        SCOPED_TRACE(testing::Message() << c.row << "," << c.column);
        EXPECT_EQ(cell_name(c.row, c.column), c.name);
    }
    // The marks still show, under 时长, with no ordinal beside them.
    EXPECT_EQ(window->episodes().data(window->episodes().index(1, 2)).toString(), q("\u2713"));
    EXPECT_EQ(window->episodes().data(window->episodes().index(0, 2)).toString(), QString());
}

TEST_F(ScreenReader, KeysMoveTheCurrentRowWithoutPlayingEnterSpaceAndClicksPlay) {
    query("35", "6");
    // The query left the first row current, and said what it listed.
    EXPECT_EQ(current_row(), 0);
    EXPECT_EQ(announcer->message(), q("已列出 6 集"));
    EXPECT_FALSE(events_of(announcer, QAccessible::ObjectShow).empty());

    // Tab into the list: the list and its current row are focused for a reader.
    control<QWidget>("按钮1")->setFocus();
    seen.clear();
    list->setFocus(Qt::TabFocusReason);
    EXPECT_TRUE(eventually([&] {
        const auto focused = events_of(list, QAccessible::Focus);
        return !focused.empty() && focused.back().child >= 0;
    })) << "the current row is not focused last";

    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int row;
    } moves[] = {
        {Qt::Key_Down, {}, 1},       {Qt::Key_Down, {}, 2},  {Qt::Key_End, {}, 5},
        {Qt::Key_Home, {}, 0},       {Qt::Key_PageDown, {}, 5}, {Qt::Key_Up, {}, 4},
        {Qt::Key_Up, Qt::ControlModifier, 3}, {Qt::Key_PageUp, {}, 0},
    };
    for (const auto& m : moves) {
        SCOPED_TRACE(m.key);
        QTest::keyClick(list, m.key, m.modifiers);
        EXPECT_EQ(current_row(), m.row);
    }
    QTest::qWait(300);
    EXPECT_TRUE(play_url().isEmpty()) << "arrows played " << play_url().toStdString();

    // Enter plays the current row; Space pauses and resumes it; Space on
    // another row plays that one.
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Return);
    ASSERT_TRUE(eventually([&] { return player->playState() == int(Player::Playing); }));
    EXPECT_EQ(player->URL(), window->episodes().cell(1, 1));
    for (int expected : {Player::Paused, Player::Playing}) {
        QTest::keyClick(list, Qt::Key_Space);
        EXPECT_TRUE(eventually([&] { return player->playState() == expected; }));
    }
    // Ctrl+Down and back leaves the episode playing where it was.
    QTest::keyClick(list, Qt::Key_Space);
    ASSERT_TRUE(eventually([&] { return player->playState() == int(Player::Paused); }));
    QTest::keyClick(list, Qt::Key_Down, Qt::ControlModifier);
    QTest::keyClick(list, Qt::Key_Up, Qt::ControlModifier);
    QTest::qWait(300);
    EXPECT_EQ(player->playState(), Player::Paused);
    EXPECT_EQ(announcer->message(), q("已暂停 ") + to_qstring(episode_at(1).label));
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_TRUE(eventually([&] { return player->URL() == window->episodes().cell(2, 1); }));

    // A click plays the row clicked; a double click on it does not start it over.
    click_row(4);
    ASSERT_TRUE(eventually([&] { return player->playState() == int(Player::Playing); }));
    EXPECT_EQ(player->URL(), window->episodes().cell(4, 1));
    int opened = 0;
    QObject::connect(player, &Player::OpenStateChange, list, [&](int) { ++opened; });
    const QPoint at = list->visualRect(list->model()->index(4, 0)).center();
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::qWait(300);
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(player->playState(), Player::Playing);
}

TEST_F(ScreenReader, FocusStaysWhereTheUserHasIt) {
    query("35", "4");
    click_row(1);
    ASSERT_TRUE(eventually([&] { return player->playState() == int(Player::Playing); }));
    // The user is at the forward button when the episode ends; the queue moves
    // to the next episode, and the user's row stays.
    auto* forward = control<QWidget>("forward_button");
    forward->setFocus();
    seen.clear();
    PlaybackEngine& engine = player->engine();
    ASSERT_TRUE(eventually([&] { return engine.isSeekable() && engine.duration() > 0; }));
    engine.setPosition(engine.duration() - 1000);
    ASSERT_TRUE(eventually([&] { return window->session().current() == window->episodes().id_at(2); }));
    EXPECT_EQ(current_row(), 1);
    EXPECT_EQ(QApplication::focusWidget(), forward);
    EXPECT_TRUE(events_of(list, QAccessible::Focus).empty()) << "the list took a reader's focus";

    // The download button, disabled under the focus when its run ends, hands the
    // focus to the episode list, whose row is said; not to the folder list.
    query("35", "2");
    auto* download = control<QPushButton>("按钮3");
    download->setFocus();
    QTest::keyClick(download, Qt::Key_Space);
    ASSERT_TRUE(eventually([&] { return !download->isEnabled(); }, 60000));
    EXPECT_EQ(QApplication::focusWidget(), list);
    EXPECT_FALSE(events_of(list, QAccessible::Focus).empty());
}

TEST_F(ScreenReader, ChangesAreSaidAndTheSeekBarIsQuietWhilePlaying) {
    // The book that loaded was said, once.
    EXPECT_TRUE(announcer->message().startsWith(to_qstring(window->session().book().title)));
    query("35", "3");

    // The play button, renamed under the focus: the bus carries the new name
    // itself, which a screen reader says.
    click_row(0);
    ASSERT_TRUE(eventually([&] { return player->playState() == int(Player::Playing); }));
    auto* play = control<MediaPlayer>("播放器1")->findChild<QToolButton*>("play_pause_button");
    play->setFocus();
    QTest::keyClick(play, Qt::Key_Space);
    ASSERT_TRUE(eventually([&] { return player->playState() == int(Player::Paused); }));
    EXPECT_TRUE(eventually([&] {
        return std::count(names.said.begin(), names.said.end(),
                          std::pair(path_of(play), q("播放"))) > 0;
    })) << "no name change with its text on the bus";
    QTest::keyClick(play, Qt::Key_Space);
    ASSERT_TRUE(eventually([&] { return player->playState() == int(Player::Playing); }));

    // Playback moves the focused seek bar in silence; the user's key is said.
    auto* seek = control<MediaPlayer>("播放器1")->findChild<QAbstractSlider*>("seek_bar");
    seek->setFocus();
    seen.clear();
    names.said.clear();
    ASSERT_TRUE(eventually([&] { return seek->value() >= 2; }));
    EXPECT_TRUE(events_of(seek, QAccessible::ValueChanged).empty());
    for (const auto& [path, name] : names.said)
        EXPECT_NE(path, path_of(seek)) << name.toStdString();
    QTest::keyClick(seek, Qt::Key_PageUp);
    EXPECT_FALSE(events_of(seek, QAccessible::ValueChanged).empty());

    // Jumps, the speed, the sleep time: each said in words.
    struct Said {
        std::function<void()> act;
        QString starts;
    };
    auto* sleep = control<QComboBox>("sleep_timer");
    const Said acts[] = {
        {[&] { QTest::mouseClick(control<QToolButton>("forward_button"), Qt::LeftButton); },
         q("前进30秒，")},
        {[&] { QTest::mouseClick(control<QToolButton>("back_button"), Qt::LeftButton); },
         q("后退15秒，")},
        {[&] { QTest::keyClick(list, Qt::Key_BracketRight); }, q("播放速度 1.1")},
        {[&] {
             sleep->setFocus();
             QTest::keyClick(sleep, Qt::Key_Down);
         },
         sleep->itemText(1) + q("，剩余 ")},
    };
    for (const Said& s : acts) {
        SCOPED_TRACE(s.starts.toStdString());
        s.act();
        EXPECT_TRUE(announcer->message().startsWith(s.starts)) << announcer->message().toStdString();
    }
    // The time left is in its button's name, which counts down in silence.
    auto* left = control<QToolButton>("sleep_left");
    left->setFocus();
    names.said.clear();
    const QString started = left->text();
    ASSERT_TRUE(eventually([&] { return left->text() != started; }));
    EXPECT_TRUE(left->accessibleName().contains(left->text()));
    EXPECT_FALSE(left->text().isEmpty());
    QTest::qWait(100);
    for (const auto& [path, name] : names.said)
        EXPECT_NE(path, path_of(left)) << name.toStdString();
}

TEST_F(ScreenReader, TheRunIsToldAsEpisodesEndNotAsBytesArrive) {
    query("35", "3");
    std::vector<QString> titles;
    QObject::connect(window.get(), &QWidget::windowTitleChanged, window.get(),
                     [&](const QString& t) { titles.push_back(t); });
    seen.clear();
    QTest::mouseClick(control<QPushButton>("按钮3"), Qt::LeftButton);
    ASSERT_TRUE(finish_long_work(std::chrono::seconds(60)));
    // Started, each of three episodes, the end: no more.
    const auto shows = events_of(announcer, QAccessible::ObjectShow);
    EXPECT_GE(shows.size(), 2u);
    EXPECT_LE(shows.size(), 6u);
    EXPECT_TRUE(announcer->message().startsWith(q("下载结束：3/3 集"))) << announcer->message().toStdString();
    EXPECT_LE(titles.size(), 6u);
    // The status bar's name is the whole run line.
    auto* line = window->findChild<RunProgressLine*>(QStringLiteral("run_line"));
    EXPECT_EQ(name_of(path_of(line)), line->line());
}

// Each book of the library is read by its title and counts, and a run's
// episodes count there as soon as they land.
TEST_F(ScreenReader, TheLibrarySaysEachBooksCountsAsEpisodesLand) {
    const Text title = window->session().book().title;
    const std::filesystem::path folder = native_path(book_folder(save.text(), title));
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "1.mp3") << "x";
    window->session().list_book_folders();
    auto* folders = control<QListWidget>("超级列表框2");
    const auto entry = [&] {
        return name_of_reference(
            call(path_of(folders), "org.a11y.atspi.Accessible", "GetChildAtIndex", {0}));
    };
    ASSERT_EQ(folders->count(), 1);
    EXPECT_EQ(entry(), to_qstring(title) + q("，已听 0，共 1 集"));

    query("35", "2");
    QTest::mouseClick(control<QPushButton>("按钮3"), Qt::LeftButton);
    ASSERT_TRUE(finish_long_work(std::chrono::seconds(60)));
    EXPECT_EQ(entry(), to_qstring(title) + q("，已听 0，共 3 集"));
}


// A text box is read whole, as a screen reader asks for it: the line at the
// caret (at its last character when the caret is at the end), read in the
// stretches of its attribute runs, and the selection.
TEST_F(ScreenReader, TextBoxesAreReadWholeAtTheCaretAndInTheSelection) {
    SettingsWindow settings(window.get());
    settings.show();
    const auto box = [&](const char* name) { return settings.findChild<QLineEdit*>(q(name)); };
    const struct {
        QLineEdit* box;
        QString text;
        int caret; // -1: at the end
        bool all_selected;
    } cases[] = {
        {control<QLineEdit>("编辑框1"), q("https://www.example.com/yousheng/28946/play_28946_31.htm"), -1, false},
        {control<QLineEdit>("编辑框2"), q("35"), -1, true},
        {control<QLineEdit>("编辑框3"), q("10"), 0, false},
        {box("媒体主机"), q("127.0.0.1:4179"), -1, false},
        {box("编辑框1"), q("/tmp/sav"), 3, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        ASSERT_TRUE(c.box);
        c.box->setText(c.text);
        c.box->setCursorPosition(c.caret < 0 ? int(c.text.size()) : c.caret);
        if (c.all_selected)
            c.box->selectAll();
        const QString path = path_of(c.box);
        const int length = int(c.text.size());
        const int caret = c.box->cursorPosition();
        for (const int offset : {caret, std::max(0, length - 1), 0}) {
            const Span line = text_span(path, "GetTextAtOffset", {offset, 5u}); // a line's start
            EXPECT_EQ(line.text, c.text) << "at " << offset;
            EXPECT_EQ(line.start, 0);
            EXPECT_EQ(line.end, length);
            EXPECT_EQ(read_in_runs(path, line.start, line.end), c.text) << "at " << offset;
        }
        if (c.all_selected) {
            const QVariantList selected =
                call(path, "org.a11y.atspi.Text", "GetSelection", {0}).arguments();
            EXPECT_EQ(read_in_runs(path, selected.value(0).toInt(), selected.value(1).toInt()), c.text);
        }
        // The text is the box's value, not its name or description too.
        EXPECT_FALSE(name_of(path).contains(c.text)) << name_of(path).toStdString();
        EXPECT_FALSE(property(path, "Description").toString().contains(c.text));
    }
}

// Controls are named by their purpose, once, and say their values in words.
TEST_F(ScreenReader, ControlsSayTheirPurposeOnceAndTheirValueInWords) {
    SettingsWindow settings(window.get());
    settings.show();
    auto* media = control<MediaPlayer>("播放器1");
    auto* seek = media->findChild<QAbstractSlider*>("seek_bar");
    const struct {
        QObject* object;
        QString name, description;
    } named[] = {
        {seek, q("播放位置"), QString()},
        {control<QComboBox>("sleep_timer"), q("睡眠定时"), QString()},
        {settings.findChild<QSpinBox*>(q("调节框1")), q("同时下载"), QString()},
        {control<QLineEdit>("编辑框2"),
         q("开始集数，共") + to_qstring(window->session().book().episode_total) + q("集"), QString()},
        {settings.findChild<QLineEdit*>(q("编辑框1")), q("下载保存路径："),
         q("空白时存到音乐文件夹里的“有声书”文件夹。")},
        {settings.findChild<QLineEdit*>(q("媒体主机")), q("媒体主机"),
         q("音频文件所在的主机（可带端口）；空白时用书页网址的主机。")},
    };
    for (const auto& n : named) {
        ASSERT_TRUE(n.object);
        SCOPED_TRACE(n.object->objectName().toStdString());
        EXPECT_EQ(name_of(path_of(n.object)), n.name);
        EXPECT_EQ(property(path_of(n.object), "Description").toString(), n.description);
    }
    // The sleep timer's choice is read as its text, a screen reader's value of
    // a combo box.
    auto* sleep = control<QComboBox>("sleep_timer");
    sleep->setCurrentIndex(1);
    EXPECT_EQ(text_span(path_of(sleep), "GetText", {0, -1}).text, sleep->currentText());

    // The seek bar's value is a time, of the length once known.
    query("35", "1");
    click_row(0);
    ASSERT_TRUE(eventually([&] { return player->playState() == int(Player::Playing); }));
    ASSERT_TRUE(eventually([&] { return seek->maximum() > 0; }));
    seek->setValue(65);
    EXPECT_TRUE(attribute(path_of(seek), "valuetext").startsWith(q("01:05 / ")))
        << attribute(path_of(seek), "valuetext").toStdString();
}

// A box taking the focus by Tab is told focused before its selection is: a
// screen reader says the text once, with the focus; leaving it, the dropped
// selection is not said either.
TEST_F(ScreenReader, ABoxIsToldFocusedBeforeItsSelection) {
    auto* start = control<QLineEdit>("编辑框2");
    auto* span = control<QLineEdit>("编辑框3");
    control<QWidget>("按钮1")->setFocus(Qt::TabFocusReason);
    for (QLineEdit* box : {start, span}) {
        seen.clear();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget(), box);
        ASSERT_TRUE(box->hasSelectedText());
        EXPECT_TRUE(focused_before_its_text(box)) << "the selection was told before the focus";
        if (box == span) {
            EXPECT_TRUE(events_of(start, QAccessible::TextSelectionChanged).empty())
                << "the box left told of its selection dropped";
        }
    }
}

// Tab into the library: an entry is current and read, with what Enter does;
// nothing opens until Enter, which says what it opened.
TEST_F(ScreenReader, TheLibraryHasACurrentEntryOnTabAndSaysWhatItOpens) {
    const Text title = window->session().book().title;
    const std::filesystem::path folder = native_path(book_folder(save.text(), title));
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "1.mp3") << "x";
    window->session().list_book_folders();
    auto* folders = control<QListWidget>("超级列表框2");
    ASSERT_EQ(folders->count(), 1);
    query("35", "3");
    seen.clear();
    folders->setFocus(Qt::TabFocusReason);
    EXPECT_TRUE(eventually([&] {
        const auto focused = events_of(folders, QAccessible::Focus);
        return !focused.empty() && focused.back().child == 0;
    })) << "no entry focused";
    EXPECT_EQ(folders->currentRow(), 0);
    const QDBusMessage entry =
        call(path_of(folders), "org.a11y.atspi.Accessible", "GetChildAtIndex", {0});
    EXPECT_EQ(name_of_reference(entry), to_qstring(title) + q("，已听 0，共 1 集"));
    QTest::qWait(200);
    EXPECT_EQ(window->episodes().row_count(), 3) << "the focus opened the book";

    QTest::keyClick(folders, Qt::Key_Return);
    EXPECT_TRUE(eventually([&] { return window->episodes().row_count() == 1; }));
    EXPECT_EQ(announcer->message(), q("已打开《") + to_qstring(title) + q("》，1 集"));
}

// Adding a bookmark says so and names the note's editor; playing one says the
// jump and leaves the current bookmark where it was, wherever the automatic one
// it leaves goes; one is added for the episode playing when another list shows.
TEST_F(ScreenReader, BookmarksSayWhatTheyDidAndKeepTheCurrentOne) {
    query("35", "3");
    auto* add = control<QToolButton>("添加书签");
    auto* marks = control<QTreeWidget>("书签");
    const auto play_row = [&](int row) {
        click_row(row);
        ASSERT_TRUE(eventually([&] {
            return player->URL() == window->episodes().cell(row, 1) &&
                   player->playState() == int(Player::Playing);
        }));
    };
    const auto add_mark = [&](std::size_t count) { // the note's editor opens, Escape closes it
        QTest::mouseClick(add, Qt::LeftButton);
        ASSERT_EQ(std::size_t(marks->topLevelItemCount()), count);
        ASSERT_TRUE(eventually([&] { return qobject_cast<QLineEdit*>(QApplication::focusWidget()); }));
        EXPECT_EQ(name_of(path_of(QApplication::focusWidget())), q("书签备注"));
        EXPECT_TRUE(focused_before_its_text(QApplication::focusWidget()));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    };
    const auto jump_to = [&](int row) {
        marks->setFocus();
        marks->setCurrentItem(marks->topLevelItem(row));
        const QString label = marks->topLevelItem(row)->text(0);
        QTest::keyClick(marks, Qt::Key_Return);
        EXPECT_TRUE(announcer->message().startsWith(q("跳到书签 ") + label))
            << announcer->message().toStdString();
    };
    play_row(1);
    seen.clear();
    add_mark(1);
    EXPECT_TRUE(announcer->message().startsWith(q("已添加书签 ") + to_qstring(episode_at(1).label)))
        << announcer->message().toStdString();
    // From another episode, back to it: the automatic bookmark of 第37集 comes
    // first, and the bookmark played stays current.
    play_row(2);
    const QString chosen = marks->topLevelItem(0)->text(0) + marks->topLevelItem(0)->text(1);
    jump_to(0);
    ASSERT_EQ(marks->topLevelItemCount(), 2);
    EXPECT_EQ(marks->topLevelItem(0)->text(0), to_qstring(episode_at(2).label) + q("（跳转前）"));
    ASSERT_TRUE(marks->currentItem());
    EXPECT_EQ(marks->currentItem()->text(0) + marks->currentItem()->text(1), chosen);
    EXPECT_EQ(QApplication::focusWidget(), marks);

    // Tab back into the list: its current bookmark is focused for a reader.
    control<QWidget>("按钮1")->setFocus();
    marks->setCurrentItem(nullptr);
    seen.clear();
    marks->setFocus(Qt::TabFocusReason);
    EXPECT_TRUE(eventually([&] {
        const auto focused = events_of(marks, QAccessible::Focus);
        return !focused.empty() && focused.back().child >= 0;
    })) << "no bookmark focused";

    // The playing episode is not in the list shown.
    query("40", "2");
    ASSERT_TRUE(eventually([&] { return player->playState() == int(Player::Playing); }));
    QTest::mouseClick(add, Qt::LeftButton);
    EXPECT_EQ(window->session().bookmarks().size(), 3u);
    EXPECT_TRUE(announcer->message().startsWith(q("已添加书签"))) << announcer->message().toStdString();
}

// A second start with the book kept says the book and the list that came back.
TEST_F(ScreenReader, ASecondStartSaysTheBookAndTheListThatCameBack) {
    query("35", "2");
    click_row(0);
    ASSERT_TRUE(eventually([&] { return player->playState() == int(Player::Playing); }));
    window.reset();
    open_window();
    window->activateWindow();
    announcer = window->findChild<Announcer*>();
    const QString title = to_qstring(window->session().book().title);
    EXPECT_TRUE(eventually([&] {
        return announcer->message() == title + q("，作者 ") + to_qstring(window->session().book().author) +
                                           q("；上次的列表已恢复，2 集");
    })) << announcer->message().toStdString();
}

#include "screen_reader_test.moc"
