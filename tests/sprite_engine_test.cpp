// The sprite tree: depth order, moving, drawing, collisions and removal.
#include "sprites/ImageSprite.h"
#include "sprites/Sprite.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace varnok;

namespace {

// A sprite that writes what happens to it into a shared log.
class LogSprite : public TSprite {
public:
    LogSprite(TSprite* parent, std::string name, std::vector<std::string>* log)
        : TSprite(parent), name_(std::move(name)), log_(log) {
        Width = 10;
        Height = 10;
    }
    std::function<void(TSprite&, bool&)> onCollision;

protected:
    void DoDraw() override { log_->push_back("draw " + name_); }
    void DoMove(int32_t) override { log_->push_back("move " + name_); }
    void DoCollision(TSprite& other, bool& done) override {
        log_->push_back("hit " + static_cast<LogSprite&>(other).name_);
        if (onCollision) onCollision(other, done);
    }

private:
    std::string name_;
    std::vector<std::string>* log_;
};

struct EngineTest : ::testing::Test {
    TSpriteEngine engine;
    platform::Surface screen{640, 480, 16};
    std::vector<std::string> log;
    void SetUp() override { engine.SetSurface(&screen); }
    LogSprite& Make(const std::string& name, TSprite* parent = nullptr) {
        return TSprite::Create<LogSprite>(parent ? *parent : engine, name, &log);
    }
};

} // namespace

TEST_F(EngineTest, EqualDepthsDrawTheNewestFirstAndSetZResorts) {
    LogSprite& a = Make("a");
    LogSprite& b = Make("b");
    LogSprite& c = Make("c");
    c.SetZ(-1);
    engine.Draw();
    EXPECT_EQ(log, (std::vector<std::string>{"draw c", "draw b", "draw a"}));
    EXPECT_EQ(engine.DrawCount(), 3);

    log.clear();
    a.SetZ(0); // unchanged value: the order stays
    engine.Draw();
    EXPECT_EQ(log, (std::vector<std::string>{"draw c", "draw b", "draw a"}));

    log.clear();
    b.SetZ(5);
    a.SetZ(5); // re-inserted last: behind b, which already had depth 5
    engine.Draw();
    EXPECT_EQ(log, (std::vector<std::string>{"draw c", "draw a", "draw b"}));
    // Insertion order (moves, collisions) is not affected by depth.
    EXPECT_EQ(&engine.Items(0), &a);
    EXPECT_EQ(&engine.Items(2), &c);
    EXPECT_EQ(engine.AllCount(), 3);
}

TEST_F(EngineTest, TouchingTheScreenEdgeIsOffScreenOnePixelIsOn) {
    LogSprite& left = Make("left");
    LogSprite& right = Make("right");
    LogSprite& below = Make("below");
    left.X = -10;   // right edge at 0: touches
    right.X = 640;  // left edge at 640: touches
    below.Y = 480;
    engine.Draw();
    EXPECT_TRUE(log.empty());
    left.X = -9;
    right.X = 639;
    below.Y = 479;
    engine.Draw();
    EXPECT_EQ(log.size(), 3u);
    // The engine position moves every child with it.
    log.clear();
    engine.X = -1000;
    engine.Draw();
    EXPECT_TRUE(log.empty());
}

TEST_F(EngineTest, HiddenOrFrozenParentsHideOrFreezeTheirChildren) {
    LogSprite& parent = Make("parent");
    Make("child", &parent).X = 150;
    parent.Visible = false;
    parent.CanMove = false;
    engine.Draw();
    engine.Move(16);
    EXPECT_TRUE(log.empty());
    parent.Visible = true;
    parent.CanMove = true;
    parent.X = -100; // off screen itself, its child still draws
    engine.Draw();
    engine.Move(16);
    EXPECT_EQ(log, (std::vector<std::string>{"draw child", "move parent", "move child"}));
    EXPECT_EQ(engine.Items(0).Children().size(), 1u);
}

TEST_F(EngineTest, ImageSpriteAnimationLoopsAndOneShotsStop) {
    TImageSprite& s = TSprite::Create<TImageSprite>(engine);
    s.AnimCount = 4;
    s.AnimLoop = true;
    s.AnimSpeed = 0.01; // 10 frames per second
    s.Move(450);
    EXPECT_NEAR(s.AnimPos, 0.5, 1e-9);
    s.AnimSpeed = -0.01;
    s.Move(100);
    EXPECT_NEAR(s.AnimPos, 3.5, 1e-9); // wraps below zero to the end
    s.AnimStart = 20;
    EXPECT_EQ(s.DrawImageIndex(), 23);

    s.AnimLoop = false;
    s.AnimSpeed = 0.01;
    s.Move(1000);
    EXPECT_EQ(s.AnimPos, 3);
    EXPECT_EQ(s.AnimSpeed, 0);
    s.AnimSpeed = -0.01;
    s.Move(1000);
    EXPECT_EQ(s.AnimPos, 0);
    EXPECT_EQ(s.AnimSpeed, 0);

    s.AnimLoop = true;
    s.AnimCount = 0;
    s.AnimSpeed = 0.05;
    s.Move(100);
    EXPECT_EQ(s.DrawImageIndex(), 20);
}

TEST_F(EngineTest, MarkDeadTwiceListsOnceAndHandlesReadEmptyAfterRemoval) {
    LogSprite& a = Make("a");
    LogSprite& child = Make("child", &a);
    LogSprite& b = Make("b");
    TSpriteRef<LogSprite> refA(a), refChild(child), refB(b);
    a.MarkDead();
    a.MarkDead();
    child.MarkDead();
    EXPECT_EQ(engine.DeadList().size(), 2u);
    engine.Move(1); // dead sprites still move and draw until removed
    EXPECT_EQ(log.size(), 3u);
    engine.RemoveDead();
    EXPECT_FALSE(refA);
    EXPECT_FALSE(refChild);
    EXPECT_EQ(refB.Get(), &b);
    EXPECT_EQ(engine.AllCount(), 1);
    EXPECT_TRUE(engine.DeadList().empty());
    engine.Clear();
    EXPECT_FALSE(refB);
    EXPECT_EQ(engine.AllCount(), 0);
}

TEST_F(EngineTest, ChildIndexErrors) {
    EXPECT_THROW(engine.Items(0), ESpriteError);
    try {
        engine.Items(3);
    } catch (const ESpriteError& e) {
        EXPECT_STREQ(e.what(), "Index of the list exceeds the range. (3)");
    }
    Make("a");
    EXPECT_THROW(engine.Items(1), EListError);
    EXPECT_THROW(engine.Items(-1), EListError);
}

TEST_F(EngineTest, CollisionScanSkipsItselfAndStopsAfterTheScannerDies) {
    LogSprite& scanner = Make("scanner");
    LogSprite& far = Make("far");
    far.X = 100;
    LogSprite& group = Make("group");
    LogSprite& inner1 = Make("inner1", &group);
    Make("inner2", &group);
    LogSprite& later = Make("later");
    EXPECT_EQ(scanner.Collision(), 4); // group, its two children, later
    EXPECT_EQ(log, (std::vector<std::string>{"hit group", "hit inner1", "hit inner2", "hit later"}));

    // Dying while visiting inner1: its children are skipped, and so are the
    // children of every sprite visited after it; those sprites' own tests
    // still run.
    log.clear();
    Make("inner1Child", &inner1);
    Make("laterChild", &later);
    scanner.onCollision = [&](TSprite& other, bool&) {
        if (&other == &inner1) scanner.MarkDead();
    };
    scanner.Collision();
    EXPECT_EQ(log, (std::vector<std::string>{"hit group", "hit inner1", "hit inner2", "hit later"}));

    // A dead scanner or one that cannot collide scans nothing.
    EXPECT_EQ(scanner.Collision(), 0);
    later.CanCollide = false;
    log.clear();
    EXPECT_EQ(far.Collision(), 0);
}

TEST_F(EngineTest, ACollisionScanWithOneTargetFindsOnlyItsContacts) {
    LogSprite& scanner = Make("scanner");
    LogSprite& other = Make("other");
    LogSprite& target = Make("target");
    Make("child", &target);
    LogSprite& away = Make("away");
    away.X = 100;
    EXPECT_EQ(scanner.CollisionWith(target), 2);
    EXPECT_EQ(log, (std::vector<std::string>{"hit target", "hit child"}));
    log.clear();
    EXPECT_EQ(scanner.CollisionWith(away), 0);
    EXPECT_EQ(scanner.CollisionWith(scanner), 0) << "never itself";
    other.CanCollide = false;
    EXPECT_EQ(other.CollisionWith(target), 0);
    TSpriteEngine elsewhere;
    LogSprite& stranger = TSprite::Create<LogSprite>(elsewhere, "stranger", &log);
    EXPECT_EQ(scanner.CollisionWith(stranger), 0) << "another engine's sprite";
    EXPECT_TRUE(log.empty());
}

TEST_F(EngineTest, SpritesCreatedDuringMoveWaitForTheNextPass) {
    class Spawner : public TSprite {
    public:
        using TSprite::TSprite;
        int moves = 0;

    protected:
        void DoMove(int32_t) override {
            ++moves;
            if (moves == 1) TSprite::Create<Spawner>(*Parent());
        }
    };
    Spawner& s = TSprite::Create<Spawner>(engine);
    engine.Move(1);
    ASSERT_EQ(engine.Count(), 2);
    EXPECT_EQ(static_cast<Spawner&>(engine.Items(1)).moves, 0);
    engine.Move(1);
    EXPECT_EQ(s.moves, 2);
}
