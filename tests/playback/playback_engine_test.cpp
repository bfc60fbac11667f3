// The engine alone, without widgets: what it reports while media opens, plays
// to its end or fails, and playing again after the end.
#include "playback/playback_engine.hpp"

#include "support/silent_mp3.hpp"

#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <fstream>
#include <vector>

namespace {

constexpr int kTimeout = 20000;

TEST(PlaybackEngine, ReportsOpeningPlayingToTheEndAndFailingInOrder) {
    QTemporaryDir folder;
    const QString good = folder.filePath("good.mp3");
    const QString bad = folder.filePath("bad.mp3");
    std::ofstream(good.toStdString(), std::ios::binary) << silent_mp3(0.5);
    std::ofstream(bad.toStdString(), std::ios::binary) << std::string(5000, 'x');

    using S = PlaybackEngine::MediaStatus;
    const struct {
        QString file;
        std::vector<S> statuses;
        bool says_why;
    } cases[] = {
        {good, {S::LoadingMedia, S::LoadedMedia, S::EndOfMedia}, false},
        {bad, {S::LoadingMedia, S::InvalidMedia}, true},
    };
    PlaybackEngine engine;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        std::vector<S> statuses;
        auto connection = QObject::connect(&engine, &PlaybackEngine::mediaStatusChanged,
                                           [&](S status) { statuses.push_back(status); });
        engine.setSource(QUrl::fromLocalFile(c.file));
        engine.play();
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return statuses.size() >= c.statuses.size(); }, kTimeout));
        QObject::disconnect(connection);
        EXPECT_EQ(statuses, c.statuses);
        EXPECT_EQ(engine.playbackState(), PlaybackEngine::StoppedState);
        EXPECT_EQ(engine.errorString().isEmpty(), !c.says_why);
        engine.setSource(QUrl());
        EXPECT_EQ(engine.mediaStatus(), S::NoMedia);
    }

    // Played to its end, it plays again from the start.
    engine.setSource(QUrl::fromLocalFile(good));
    engine.play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine.mediaStatus() == S::EndOfMedia; }, kTimeout));
    EXPECT_GE(engine.position(), 400);
    engine.play();
    EXPECT_TRUE(QTest::qWaitFor([&] { return engine.mediaStatus() == S::LoadedMedia; }, kTimeout));
    EXPECT_LT(engine.position(), 400);
    EXPECT_TRUE(QTest::qWaitFor([&] { return engine.mediaStatus() == S::EndOfMedia; }, kTimeout));
}

} // namespace
