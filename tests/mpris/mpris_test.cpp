// The player on a real session bus, driven as the desktop drives it: dbus-send
// calls the MPRIS methods and reads the properties while a real file plays.
#include "listening/listening_session.hpp"
#include "mpris/mpris_service.hpp"
#include "playback/listening_control.hpp"
#include "playback/player.hpp"
#include "playback/playback_engine.hpp"
#include "text/gbk.hpp"

#include "support/silent_mp3.hpp"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <fstream>
#include <memory>

namespace {

constexpr int timeout_ms = 20000; // generous for sanitizer builds on a busy machine

// dbus-send run while the event loop goes on (the service answers from it).
QString dbus_send(const QStringList& arguments) {
    QProcess process;
    process.start("dbus-send", QStringList{"--session", "--print-reply",
                                           QString("--dest=") + MprisService::service_name,
                                           MprisService::object_path} +
                                   arguments);
    EXPECT_TRUE(QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; },
                                timeout_ms));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

QString call(const char* method, const QStringList& arguments = {}) {
    return dbus_send(QStringList{QString("org.mpris.MediaPlayer2.Player.") + method} + arguments);
}

QString property(const char* name) {
    return dbus_send({"org.freedesktop.DBus.Properties.Get",
                      "string:org.mpris.MediaPlayer2.Player", QString("string:") + name});
}

class Mpris : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        episode = folder.filePath("1.mp3").toStdString();
        std::ofstream(episode, std::ios::binary) << silent_mp3(120.0);
        auto session = std::make_unique<ListeningSession>(folder.filePath("s.ini").toStdString());
        control = std::make_unique<ListeningControl>(player, std::move(session));
        QObject::connect(&player, &Player::OpenStateChange,
                         [this](int) { player.controls().play(); });
        MprisHooks hooks;
        hooks.next = [this] { ++nexts; };
        hooks.previous = [this] { ++previouses; };
        hooks.play = [this] { player.setURL(episode); };
        hooks.track = [] { return MprisTrack{7, gbk("第1集"), gbk("三体"), "/tmp/c/1.gif"}; };
        service = std::make_unique<MprisService>(*control, std::move(hooks));
    }
    void TearDown() override {
        service.reset();
        control.reset();
    }
    bool status_is(const char* status) {
        return QTest::qWaitFor(
            [&] { return property("PlaybackStatus").contains(QString("\"%1\"").arg(status)); },
            timeout_ms);
    }

    QTemporaryDir folder;
    Text episode;
    Player player;
    std::unique_ptr<ListeningControl> control;
    std::unique_ptr<MprisService> service;
    int nexts = 0;
    int previouses = 0;
};

} // namespace

TEST_F(Mpris, TheDesktopPlaysPausesSeeksAndChangesTheSpeedOverTheSessionBus) {
    ASSERT_TRUE(service->registered());
    EXPECT_TRUE(dbus_send({"org.freedesktop.DBus.Properties.Get", "string:org.mpris.MediaPlayer2",
                           "string:Identity"})
                    .contains(QString::fromUtf8("有声书下载播放器")));
    EXPECT_TRUE(status_is("Stopped"));

    call("PlayPause"); // nothing was playing: listening goes on
    EXPECT_TRUE(status_is("Playing"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.engine().isSeekable(); }, timeout_ms));
    const QString metadata = property("Metadata");
    EXPECT_TRUE(metadata.contains(QString::fromUtf8("三体"))) << metadata.toStdString();
    EXPECT_TRUE(metadata.contains("/org/mpris/MediaPlayer2/track/7")) << metadata.toStdString();
    EXPECT_TRUE(metadata.contains("file:///tmp/c/1.gif")) << metadata.toStdString();

    call("Seek", {"int64:30000000"});
    EXPECT_TRUE(QTest::qWaitFor([&] { return player.engine().position() >= 29000; }, timeout_ms));
    EXPECT_TRUE(property("Position").contains(QRegularExpression("int64 [3-9][0-9]{7}")));
    call("SetPosition", {"objpath:/org/mpris/MediaPlayer2/track/7", "int64:10000000"});
    EXPECT_TRUE(QTest::qWaitFor([&] { return player.engine().position() < 20000; }, timeout_ms));

    dbus_send({"org.freedesktop.DBus.Properties.Set", "string:org.mpris.MediaPlayer2.Player",
               "string:Rate", "variant:double:1.5"});
    EXPECT_EQ(control->session().speed_tenths(), 15);
    EXPECT_TRUE(property("Rate").contains("double 1.5"));

    // The volume goes past 1.0 up to 2.0, held there beyond.
    const struct {
        const char* sent;
        int volume;
        const char* read;
    } volumes[] = {{"1.5", 150, "double 1.5"}, {"2", 200, "double 2"}, {"3.5", 200, "double 2"},
                   {"0.4", 40, "double 0.4"}};
    for (const auto& v : volumes) {
        dbus_send({"org.freedesktop.DBus.Properties.Set", "string:org.mpris.MediaPlayer2.Player",
                   "string:Volume", QString("variant:double:") + v.sent});
        EXPECT_EQ(control->session().volume(), v.volume) << v.sent;
        EXPECT_TRUE(property("Volume").contains(v.read)) << v.sent;
    }

    struct Step {
        const char* method;
        const char* status;
    };
    for (const Step& step : {Step{"PlayPause", "Paused"}, Step{"Play", "Playing"},
                             Step{"Pause", "Paused"}, Step{"Stop", "Stopped"}}) {
        call(step.method);
        EXPECT_TRUE(status_is(step.status)) << step.method;
    }
    call("Next");
    call("Next");
    call("Previous");
    EXPECT_EQ(nexts, 2);
    EXPECT_EQ(previouses, 1);
}
