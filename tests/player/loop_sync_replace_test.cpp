// LoopSync has two writers: the user-interface thread and the scan thread rebuilding a CD track's
// channel. Each interleaving that used to leave a sync nobody can remove is played out here step
// by step: a second writer runs in the middle of the first one's replacement.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <vector>

#include "player/LoopSync.h"

namespace tarvel::test {
namespace {

// Channels and their syncs, as the engine keeps them: a freed channel takes its syncs along and
// refuses new ones.
struct FakeSyncs {
    std::map<HSTREAM, std::vector<HSYNC>> live;
    HSYNC next = 100;

    void remove(HSTREAM channel, HSYNC sync) {
        const auto it = live.find(channel);
        if (it != live.end()) {
            std::erase(it->second, sync);
        }
    }
    HSYNC set(HSTREAM channel) {
        const auto it = live.find(channel);
        if (it == live.end()) {
            return 0;
        }
        it->second.push_back(++next);
        return next;
    }
};

struct Writer {
    FakeSyncs& syncs;
    PlayerSession& session;
    std::function<void()> inTheMiddle;  // runs once, between this writer's set and its store

    void replace() {
        ReplaceLoopSync(
            session, [this](HSTREAM c, HSYNC s) { syncs.remove(c, s); },
            [this](HSTREAM c) {
                const HSYNC made = syncs.set(c);
                if (inTheMiddle) {
                    auto once = std::move(inTheMiddle);
                    inTheMiddle = nullptr;
                    once();
                }
                return made;
            });
    }
};

// The scan's rebuild: the old channel goes (with its syncs), a new one takes its place.
void Rebuild(FakeSyncs& syncs, PlayerSession& session, HSTREAM fresh) {
    syncs.live.erase(session.PlayChannel.load());
    syncs.live[fresh] = {};
    session.PlayChannel = fresh;
    Writer{syncs, session, nullptr}.replace();
}

void ExpectOneSync(const FakeSyncs& syncs, const PlayerSession& session) {
    const auto& on = syncs.live.at(session.PlayChannel.load());
    ASSERT_EQ(on.size(), 1u);
    EXPECT_EQ(on[0], session.LoopSync.load());
}

TEST(LoopSyncReplace, AReplacementOverlappingTheRebuildLeavesOneSync) {
    FakeSyncs syncs;
    PlayerSession session;
    syncs.live[1] = {};
    session.PlayChannel = 1;
    Writer{syncs, session, nullptr}.replace();
    ExpectOneSync(syncs, session);

    // The user moves a mark while the scan swaps the channel under it: the user's sync lands
    // on the channel that is going away.
    Writer user{syncs, session, [&] { Rebuild(syncs, session, 2); }};
    user.replace();
    ExpectOneSync(syncs, session);
    EXPECT_EQ(session.PlayChannel.load(), 2u);
}

TEST(LoopSyncReplace, ARebuildOverlappingAReplacementLeavesOneSync) {
    FakeSyncs syncs;
    PlayerSession session;
    syncs.live[1] = {};
    session.PlayChannel = 1;
    Writer{syncs, session, nullptr}.replace();

    // The scan has put its channel in place and is about to store its sync when the user's
    // replacement runs to its end on the same channel.
    syncs.live.erase(1);
    syncs.live[2] = {};
    session.PlayChannel = 2;
    Writer scan{syncs, session, [&] { Writer{syncs, session, nullptr}.replace(); }};
    scan.replace();
    ExpectOneSync(syncs, session);
}

TEST(LoopSyncReplace, ManyOverlapsInARowStillLeaveOneSync) {
    FakeSyncs syncs;
    PlayerSession session;
    syncs.live[1] = {};
    session.PlayChannel = 1;
    HSTREAM channel = 1;
    for (int round = 0; round < 20; ++round) {
        Writer outer{syncs, session, nullptr};
        if (round % 3 == 0) {
            outer.inTheMiddle = [&] { Rebuild(syncs, session, ++channel); };
        } else {
            outer.inTheMiddle = [&] { Writer{syncs, session, nullptr}.replace(); };
        }
        outer.replace();
        ExpectOneSync(syncs, session);
    }
}

}  // namespace
}  // namespace tarvel::test
