// The download on a worker thread: queued, coalesced signals on the handler's
// thread, exactly one finished(), and a cancel or destruction that is quick.
#include "download_fixture.hpp"
#include "transfer/transfer_handler.hpp"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

namespace {

class TransferHandlerTest : public DownloadFixture {
  protected:
    // Runs the event loop until `done` or 10 s.
    template <typename Done> static void wait_for(Done done) {
        QElapsedTimer timer;
        timer.start();
        while (!done() && timer.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
};

TEST_F(TransferHandlerTest, ReportsOnItsOwnThreadAndFinishesOnce) {
    site.set_media_status(503);
    site.set_media_fault_limit(1);
    site.set_media_pacing(0, 256, 5); // about 65 pieces over a third of a second or more
    std::vector<std::pair<qint64, qint64>> progress;
    std::vector<std::pair<int, int>> retries;
    int finished = 0;
    bool on_own_thread = true;
    QElapsedTimer timer;
    timer.start();
    TransferHandler handler(request(3));
    QObject::connect(&handler, &TransferHandler::progressed, [&](qint64 received, qint64 total) {
        on_own_thread = on_own_thread && QThread::currentThread() == handler.thread();
        progress.emplace_back(received, total);
    });
    QObject::connect(&handler, &TransferHandler::retrying,
                     [&](int retry, int of) { retries.emplace_back(retry, of); });
    QObject::connect(&handler, &TransferHandler::finished, [&] {
        on_own_thread = on_own_thread && QThread::currentThread() == handler.thread();
        ++finished;
    });
    wait_for([&] { return finished > 0; });
    const qint64 elapsed = timer.elapsed();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 100);

    EXPECT_EQ(finished, 1);
    EXPECT_TRUE(handler.isFinished());
    EXPECT_TRUE(on_own_thread);
    EXPECT_EQ(handler.result().status, EpisodeStatus::downloaded);
    EXPECT_EQ(retries, (std::vector<std::pair<int, int>>{{1, 3}}));
    const qint64 size = qint64(expected(3).size());
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), std::make_pair(size, size));
    EXPECT_LE(qint64(progress.size()), elapsed / 50 + 2); // coalesced, not one per piece
    EXPECT_EQ(read_all(target(3)), expected(3));
}

TEST_F(TransferHandlerTest, CancelAndDestructionEndAStalledTransferAtOnce) {
    site.set_media_stall(true);
    {
        TransferHandler handler(request(4));
        int finished = 0;
        QObject::connect(&handler, &TransferHandler::finished, [&] { ++finished; });
        wait_for([&] { return site.media_full_requests() == 1; });
        QElapsedTimer timer;
        timer.start();
        handler.cancel();
        wait_for([&] { return finished > 0; });
        EXPECT_LT(timer.elapsed(), 500);
        EXPECT_EQ(finished, 1);
        EXPECT_EQ(handler.result().status, EpisodeStatus::cancelled);
    }
    QElapsedTimer timer;
    {
        auto handler = std::make_unique<TransferHandler>(request(4));
        wait_for([&] { return site.media_full_requests() == 2; });
        timer.start();
    }
    EXPECT_LT(timer.elapsed(), 500);
    EXPECT_TRUE(names().empty());
}

} // namespace
