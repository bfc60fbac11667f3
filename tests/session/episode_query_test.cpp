// The episode query on its own: episodes in order with exactly the addresses
// that resolving one at a time gives, and a query that stops or is replaced.
#include "site/episode_address.hpp"
#include "session/episode_query.hpp"
#include "http/web_access.hpp"
#include "support/site_fixture.hpp"

#include <QTest>

namespace {

struct Row {
    int ordinal;
    Text number;
    Text address;
    bool operator==(const Row&) const = default;
};

class QueryTest : public SiteFixture {
  protected:
    void SetUp() override {
        SiteFixture::SetUp();
        configure();
        web_access_text(address()); // the play page hands out the session cookie
        QObject::connect(&query, &EpisodeQuery::rowResolved, [this](EpisodeId id) {
            const Episode* e = model.find(id);
            rows.push_back({e->ordinal, e->number, e->remote});
        });
        QObject::connect(&query, &EpisodeQuery::finished, [this] { ++finished; });
    }
    QueryPlan plan(double start, int span) const {
        return {site->catalogue_host(), book.book_id, book.category, book.title, start, span,
                {book.title, "save"}};
    }
    bool wait_done() {
        return QTest::qWaitFor([this] { return !query.running(); }, 30000);
    }
    int script_requests() const {
        return site->script_requests_with_cookie() + site->script_requests_without_cookie();
    }

    EpisodeList model;
    EpisodeQuery query{model};
    std::vector<Row> rows;
    int finished = 0;
};

} // namespace

// The second query also shows that the workers kept their connections.
TEST_F(QueryTest, RowsComeInOrderWithTheAddressesOfOneAtATime) {
    int connections_after_first = 0;
    for (double start : {35.0, 2.5}) {
        SCOPED_TRACE(start);
        rows.clear();
        query.start(plan(start, 13));
        ASSERT_TRUE(wait_done());
        if (connections_after_first == 0)
            connections_after_first = site->connections_accepted();
        EXPECT_EQ(site->connections_accepted(), connections_after_first);
        std::vector<Row> expected;
        for (int i = 1; i <= 13; ++i) {
            const Text number = number_to_text(start + i);
            expected.push_back({i, number,
                                resolve_episode_address(site->catalogue_host(), book.book_id,
                                                        book.category, book.title, number)});
        }
        EXPECT_EQ(rows, expected);
        // The episodes went into the list: label, address, ordinal, state, own book.
        ASSERT_EQ(model.size(), 13);
        for (int r = 0; r < 13; ++r) {
            const Row& want = expected[std::size_t(r)];
            const Episode& e = *model.at(r);
            EXPECT_EQ(e.label, gbk("第") + want.number + gbk("集"));
            EXPECT_EQ(e.remote, want.address);
            EXPECT_EQ(e.ordinal, r + 1);
            EXPECT_EQ(e.state, DownloadState::not_on_disk);
            EXPECT_EQ(e.book.title, book.title);
            EXPECT_EQ(e.source.episode_number, want.number);
        }
        EXPECT_EQ(query.row_counter(), 13);
        EXPECT_EQ(query.last_row(), 12);
        EXPECT_FALSE(site->episode_key(book.book_id, expected[0].number).empty());
        EXPECT_TRUE(contains_text(rows[0].address,
                                  "key=" + site->episode_key(book.book_id, expected[0].number)));
    }
    EXPECT_EQ(finished, 2);
}

TEST_F(QueryTest, AnEmptySpanFinishesAtOnce) {
    query.start(plan(35, 0));
    EXPECT_FALSE(query.running());
    EXPECT_EQ(finished, 1);
    EXPECT_TRUE(rows.empty());
    EXPECT_EQ(script_requests(), 0);
}

TEST_F(QueryTest, ANewQueryReplacesTheRunningOneAndCancelStopsRequests) {
    query.start(plan(0, 1000));
    ASSERT_TRUE(QTest::qWaitFor([this] { return !rows.empty(); }, 30000));
    query.start(plan(100, 3));
    const std::size_t from = rows.size();
    ASSERT_TRUE(wait_done());
    ASSERT_EQ(rows.size() - from, 3u);
    EXPECT_EQ(rows[from].number, "101");
    EXPECT_EQ(rows.back().ordinal, 3);
    EXPECT_EQ(finished, 1); // the replaced query never finished

    query.start(plan(0, 1000));
    ASSERT_TRUE(QTest::qWaitFor([this, from] { return rows.size() > from + 3; }, 30000));
    query.cancel();
    const std::size_t seen = rows.size();
    QTest::qWait(50); // requests under way give up; their answers are dropped
    const int asked = script_requests();
    QTest::qWait(200);
    EXPECT_EQ(script_requests(), asked);
    EXPECT_EQ(rows.size(), seen);
    EXPECT_FALSE(query.running());
    EXPECT_EQ(finished, 1);
}
