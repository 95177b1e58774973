#include "sprites/Population.h"

#include "common/StrUtils.h"
#include "level/CryptedINI.h"
#include "level/ImageList.h"
#include "level/TSClasses.h"
#include "sprites/ActorSupport.h"
#include "sprites/GameWorld.h"
#include "sprites/GrateSprite.h"
#include "sprites/MySprite.h"
#include "sprites/PlatformSprite.h"

#include <string>
#include <vector>

namespace varnok {

namespace {

std::string Hex2(int tag) {
    return Format("%.2X", tag);
}

// Frame phase c mod count; an image without patterns has phase 0.
int32_t Phase(int32_t c, int32_t count) {
    return count > 0 ? c % count : 0;
}

bool InRange(uint8_t tag, uint8_t low, uint8_t high) {
    return tag >= low && tag <= high;
}

// How many actors of each kind the level holds, and later how many were made.
struct TKindCounts {
    size_t InfoSigns = 0;
    size_t Triggers = 0;
    size_t Blocks = 0;
    size_t Grates = 0;
    size_t Keycards = 0;
    size_t LaserLocks = 0;
    size_t PlatformTriggers = 0;
    size_t Enemies01 = 0;
    size_t Enemies02 = 0;
    size_t Enemies03 = 0;
    size_t Platforms = 0;
    size_t ObjectSprites = 0;
    size_t PointSprites = 0;
    size_t LiveSprites = 0;
    size_t AutoMoveSprites = 0;
};

class TPopulation {
  public:
    TPopulation(TGameWorld& world, TSpriteEngine& engine, TMapItem& map)
        : world_(world), engine_(engine), map_(map), store_(world.GlobalStore),
          cellWidth_(world.Geometry.CellWidth), cellHeight_(world.Geometry.CellHeight) {}

    void Count();
    void Create();

  private:
    void CreateAt(int32_t c, int32_t r, uint8_t tag);

    void InfoSign(int32_t c, int32_t r, uint8_t tag);
    void Trigger(int32_t c, int32_t r, uint8_t tag);
    void Block(int32_t c, int32_t r);
    void Grate(int32_t c, int32_t r);
    void Keycard(int32_t c, int32_t r, uint8_t tag);
    void LaserLock(int32_t c, int32_t r, uint8_t tag);
    void PlatformTrigger(int32_t c, int32_t r, uint8_t tag);
    void Enemy03(int32_t c, int32_t r, uint8_t tag);
    void Enemy02(int32_t c, int32_t r, uint8_t tag);
    void Enemy01(int32_t c, int32_t r, uint8_t tag);
    void Platform(int32_t c, int32_t r, uint8_t tag);
    void Object(int32_t c, int32_t r, uint8_t tag);
    void Point(int32_t c, int32_t r, uint8_t tag);
    void Life(int32_t c, int32_t r, uint8_t tag);
    void AutoMoveStart(int32_t c, int32_t r, uint8_t tag);

    int32_t Int(const std::string& section, const std::string& key, int32_t def) const {
        return store_.GetInteger(section, key, def);
    }

    // The image is looked up before the sprite is made, so that a missing
    // image leaves no half-built actor behind.
    TPictureCollectionItem& Image(const std::string& name) const { return world_.Images.Items.Find(name); }

    // A looping actor of class T showing image, sized by the image's stored
    // pattern size.
    template <class T> T& Make(TPictureCollectionItem& image) {
        T& sprite = TSprite::Create<T>(engine_);
        sprite.Image = &image;
        sprite.Width = image.PatternWidth;
        sprite.Height = image.PatternHeight;
        sprite.AnimLoop = true;
        world_.Lists.All.push_back({TSpriteRef<TImageSprite>(sprite), tag_});
        return sprite;
    }

    static void Animate(TImageSprite& sprite, int32_t start, int32_t count, double pos,
                        int32_t framesPerSecond) {
        sprite.AnimStart = start;
        sprite.AnimCount = count;
        sprite.AnimPos = pos;
        sprite.AnimSpeed = framesPerSecond / 1000.0;
    }

    // Horizontal placements in cell c and vertical ones in row r.
    double Left(int32_t c) const { return static_cast<double>(int64_t{c} * cellWidth_); }
    double Centred(int32_t c, const TSprite& s) const {
        return static_cast<double>(cellWidth_ / 2 + int64_t{c} * cellWidth_ - s.Width / 2);
    }
    double Right(int32_t c, const TSprite& s) const {
        return static_cast<double>((int64_t{c} + 1) * cellWidth_ - s.Width);
    }
    double Top(int32_t r) const { return static_cast<double>(int64_t{r} * cellHeight_); }
    double Bottom(int32_t r, const TSprite& s) const {
        return static_cast<double>((int64_t{r} + 1) * cellHeight_ - s.Height);
    }
    double Middle(int32_t r, const TSprite& s) const {
        return static_cast<double>(cellHeight_ / 2 + int64_t{r} * cellHeight_ - s.Height / 2);
    }

    // Puts sprite into the next free slot of its list; returns the slot.
    template <class T> static int32_t Register(std::vector<TSpriteRef<T>>& list, size_t& next, T& sprite) {
        if (next >= list.size()) list.resize(next + 1);
        list[next] = TSpriteRef<T>(sprite);
        return static_cast<int32_t>(next++);
    }

    void AddPoints(int32_t value) {
        world_.Geometry.LevelPointsTotal = Wrap32(int64_t{world_.Geometry.LevelPointsTotal} + value);
    }

    TGameWorld& world_;
    TSpriteEngine& engine_;
    TMapItem& map_;
    const TMemIniFileCrypted& store_;
    int32_t cellWidth_;
    int32_t cellHeight_;
    TKindCounts made_;
    uint8_t tag_ = 0; // the tag of the cell being populated
};

void TPopulation::Count() {
    TLevelGeometry& geometry = world_.Geometry;
    TKindCounts n;
    for (int32_t r = 0; r < map_.Height(); ++r)
        for (int32_t c = 0; c < map_.Width(); ++c) {
            const uint8_t tag = map_.BoundHigh(c, r);
            if (tag <= 0x0F)
                ++n.InfoSigns;
            else if (tag <= 0x1F)
                ++n.Triggers;
            else if (tag == 0x30)
                ++n.Blocks;
            else if (tag == 0x31)
                ++n.Grates;
            else if (InRange(tag, 0x32, 0x34))
                ++n.Keycards;
            else if (InRange(tag, 0x35, 0x37))
                ++n.LaserLocks;
            else if (InRange(tag, 0x40, 0x4F))
                ++n.PlatformTriggers;
            else if (tag == 0x80 || tag == 0x81 || InRange(tag, 0x88, 0x8F)) {
                ++n.Enemies03;
                ++geometry.LevelEnemyTotal;
            } else if (InRange(tag, 0x82, 0x83)) {
                ++n.Enemies02;
                ++geometry.LevelEnemyTotal;
            } else if (InRange(tag, 0x84, 0x85)) {
                ++n.Enemies01;
                ++geometry.LevelEnemyTotal;
            } else if (InRange(tag, 0x90, 0x9F))
                ++n.Platforms;
            else if (InRange(tag, 0xB0, 0xB5))
                ++n.ObjectSprites;
            else if (InRange(tag, 0xC0, 0xCF))
                ++n.PointSprites;
            else if (InRange(tag, 0xD0, 0xD9) || InRange(tag, 0xE0, 0xE2))
                ++n.LiveSprites;
            else if (InRange(tag, 0xFA, 0xFD))
                ++n.AutoMoveSprites;
            else if (tag == 0xF0) {
                geometry.PlayerStartCol = c;
                geometry.PlayerStartRow = r;
            } else if (tag == 0xF1) {
                geometry.ExitCol = c;
                geometry.ExitRow = r;
            }
        }

    TActorLists& lists = world_.Lists;
    lists.Clear();
    lists.InfoSigns.resize(n.InfoSigns);
    lists.Triggers.resize(n.Triggers);
    lists.Blocks.resize(n.Blocks);
    lists.Grates.resize(n.Grates);
    lists.Keycards.resize(n.Keycards);
    lists.LaserLocks.resize(n.LaserLocks);
    lists.PlatformTriggers.resize(n.PlatformTriggers);
    lists.Enemies01.resize(n.Enemies01);
    lists.Enemies02.resize(n.Enemies02);
    lists.Enemies03.resize(n.Enemies03);
    lists.Platforms.resize(n.Platforms);
    lists.ObjectSprites.resize(n.ObjectSprites);
    lists.PointSprites.resize(n.PointSprites);
    lists.LiveSprites.resize(n.LiveSprites);
    lists.AutoMoveSprites.resize(n.AutoMoveSprites);
}

void TPopulation::Create() {
    for (int32_t r = 0; r < map_.Height(); ++r)
        for (int32_t c = 0; c < map_.Width(); ++c)
            CreateAt(c, r, map_.BoundHigh(c, r));
}

void TPopulation::CreateAt(int32_t c, int32_t r, uint8_t tag) {
    tag_ = tag;
    if (InRange(tag, 0x01, 0x0F))
        InfoSign(c, r, tag);
    else if (InRange(tag, 0x10, 0x1F))
        Trigger(c, r, tag);
    else if (tag == 0x30)
        Block(c, r);
    else if (tag == 0x31)
        Grate(c, r);
    else if (InRange(tag, 0x32, 0x34))
        Keycard(c, r, tag);
    else if (InRange(tag, 0x35, 0x37))
        LaserLock(c, r, tag);
    else if (InRange(tag, 0x40, 0x4F))
        PlatformTrigger(c, r, tag);
    else if (tag == 0x80 || tag == 0x81 || InRange(tag, 0x88, 0x8F))
        Enemy03(c, r, tag);
    else if (InRange(tag, 0x82, 0x83))
        Enemy02(c, r, tag);
    else if (InRange(tag, 0x84, 0x85))
        Enemy01(c, r, tag);
    else if (InRange(tag, 0x90, 0x9F))
        Platform(c, r, tag);
    else if (InRange(tag, 0xB0, 0xB5))
        Object(c, r, tag);
    else if (InRange(tag, 0xC0, 0xC2))
        Point(c, r, tag);
    else if (InRange(tag, 0xD0, 0xD9) || InRange(tag, 0xE0, 0xE2))
        Life(c, r, tag);
    else if (InRange(tag, 0xFA, 0xFD))
        AutoMoveStart(c, r, tag);
}

void TPopulation::InfoSign(int32_t c, int32_t r, uint8_t tag) {
    TLevelSprite& s = Make<TLevelSprite>(Image("Info"));
    s.X = Left(c);
    s.Y = Bottom(r, s);
    s.SetZ(2);
    Animate(s, 0, s.Image->PatternCount(), 0, Int("InfoSprite", "AnimSpeed", 4));
    s.IsInfo = true;
    s.Text = store_.GetString("Level" + std::to_string(world_.Game.CurrentLevel), std::to_string(tag),
                              "No info specified");
    s.Index = Register(world_.Lists.InfoSigns, made_.InfoSigns, s);
}

void TPopulation::Trigger(int32_t c, int32_t r, uint8_t tag) {
    const std::string section = "Trigger" + Hex2(tag);
    TTriggerSprite& s = Make<TTriggerSprite>(Image(store_.GetString(section, "Image", "")));
    const int32_t value = Int(section, "TriggerValue", 0);
    s.X = Left(c);
    s.Y = Bottom(r, s);
    s.SetZ(Int(section, "Z", 3));
    // The first half of the frames shows off, the second half on. The
    // animation starts on the first frame of its half.
    const int32_t half = s.Image->PatternCount() / 2;
    Animate(s, Wrap32(int64_t{value} * half), half, 0, Int(section, "AnimSpeed", 4));
    s.TargetTag = tag + 0x10;
    s.State = value;
    s.TileOn = Int(section, "TileOn", 0);
    s.TileOff = Int(section, "TileOff", 0);
    s.BoundsOn = Int(section, "BoundsOn", 15);
    s.BoundsOff = Int(section, "BoundsOff", 0);
    Register(world_.Lists.Triggers, made_.Triggers, s);
}

void TPopulation::Block(int32_t c, int32_t r) {
    TBlockSprite& s = Make<TBlockSprite>(Image("30"));
    s.X = Left(c);
    s.Y = Bottom(r, s) - 1;
    s.SetZ(Int("Blocks", "Z", 3));
    const int32_t count = s.Image->PatternCount();
    Animate(s, 0, count, Phase(c, count), Int("Blocks", "AnimSpeed", 3));
    s.Col = c;
    s.Row = r;
    s.HitCount = Int("Blocks", "HitCount", 1);
    s.Index = Register(world_.Lists.Blocks, made_.Blocks, s);
    map_.SetBound(bound::Solid, c, r);
}

void TPopulation::Grate(int32_t c, int32_t r) {
    TGrateSprite& s = Make<TGrateSprite>(Image("31"));
    s.X = Centred(c, s);
    s.Y = static_cast<double>((int64_t{r} + 1) * cellHeight_ - 2);
    s.SetZ(Int("Grate", "Z", 3));
    const int32_t count = s.Image->PatternCount();
    Animate(s, 0, count, Phase(c, count), Int("Grate", "AnimSpeed", 3));
    s.Col = c;
    s.Row = r + 1;
    s.HitCount = Int("Grate", "HitCount", 1);
    s.Index = Register(world_.Lists.Grates, made_.Grates, s);
    map_.SetBound(static_cast<uint16_t>(map_.BoundHigh(c, r + 1) << 8 | bound::Solid), c, r + 1);
}

void TPopulation::Keycard(int32_t c, int32_t r, uint8_t tag) {
    TKeycardSprite& s = Make<TKeycardSprite>(Image(Hex2(tag)));
    s.X = Centred(c, s);
    s.Y = Bottom(r, s) - 1;
    s.SetZ(Int("Keycards", "Z", 3));
    const int32_t count = s.Image->PatternCount();
    Animate(s, 0, count, Phase(c, count), Int("Keycards", "AnimSpeed", 3));
    s.LockTag = static_cast<uint8_t>(tag + 3);
    Register(world_.Lists.Keycards, made_.Keycards, s);
}

void TPopulation::LaserLock(int32_t c, int32_t r, uint8_t tag) {
    TLaserLockSprite& s = Make<TLaserLockSprite>(Image(Hex2(tag)));
    s.X = Centred(c, s);
    s.Y = Bottom(r, s);
    s.SetZ(Int("LaserLocks", "Z", 3));
    const int32_t count = s.Image->PatternCount();
    Animate(s, 0, count, Phase(c, count), Int("LaserLocks", "AnimSpeed", 3));
    s.Tag = tag;
    s.Col = c;
    s.Row = r;
    Register(world_.Lists.LaserLocks, made_.LaserLocks, s);
    map_.SetBound(static_cast<uint16_t>(tag << 8 | bound::Solid), c, r);
}

void TPopulation::PlatformTrigger(int32_t c, int32_t r, uint8_t tag) {
    const std::string section = "PlatformTrigger" + Hex2(tag);
    TPlatformTrigger& s = Make<TPlatformTrigger>(Image("40"));
    s.X = Left(c);
    s.Y = Bottom(r, s);
    s.SetZ(Int(section, "Z", 1));
    Animate(s, 0, s.Image->PatternCount(), 0, Int(section, "AnimSpeed", 3));
    s.DX = Int(section, "DX", 0);
    s.DY = Int(section, "DY", 0);
    s.Group = tag & 0x0F;
    Register(world_.Lists.PlatformTriggers, made_.PlatformTriggers, s);
}

void TPopulation::Enemy03(int32_t c, int32_t r, uint8_t tag) {
    // Tags come in pairs sharing one image: 0x80/0x81 use "8081".
    const uint8_t even = tag & 0xFE;
    const std::string section = "Enemy" + Hex2(tag);
    TEnemySprite03& s = Make<TEnemySprite03>(Image(Hex2(even) + Hex2(even + 1)));
    s.X = Left(c);
    s.Y = Bottom(r, s);
    s.SetZ(Int(section, "Z", 3));
    // One half of the frames per walking direction; odd tags start on the second.
    const int32_t half = s.Image->PatternCount() / 2;
    Animate(s, (tag & 1) ? half : 0, half, Phase(c, half), Int(section, "AnimSpeed", 4));
    s.DX = Int(section, "DX", 48);
    s.DY = 0;
    s.HitCount = Int(section, "HitCount", 3);
    s.Damage = Int(section, "Damage", 50);
    s.Index = Register(world_.Lists.Enemies03, made_.Enemies03, s);
}

void TPopulation::Enemy02(int32_t c, int32_t r, uint8_t tag) {
    const std::string section = "Enemy" + Hex2(tag);
    TEnemySprite02& s = Make<TEnemySprite02>(Image("8283"));
    s.X = Left(c);
    s.Y = Bottom(r, s);
    s.SetZ(Int(section, "Z", 3));
    const int32_t count = s.Image->PatternCount();
    Animate(s, 0, count, Phase(c, count), Int(section, "AnimSpeed", 4));
    const int64_t x = Trunc(s.X), y = Trunc(s.Y);
    s.Range = {Wrap32(x - 80), Wrap32(y - 10), Wrap32(x + 80), Wrap32(y + 10)};
    s.DX = Int(section, "DX", 48);
    s.DY = Int(section, "DY", 8);
    s.HitCount = Int(section, "HitCount", 3);
    if (tag & 1) {
        // The odd tag starts moving left and up.
        s.DX = Wrap32(-int64_t{s.DX});
        s.DY = Wrap32(-int64_t{s.DY});
    }
    s.Damage = Int(section, "Damage", 50);
    s.Index = Register(world_.Lists.Enemies02, made_.Enemies02, s);
}

void TPopulation::Enemy01(int32_t c, int32_t r, uint8_t tag) {
    const std::string section = "Enemy" + Hex2(tag);
    TEnemySprite01& s = Make<TEnemySprite01>(Image("8485"));
    s.X = Left(c);
    s.Y = Bottom(r, s);
    s.SetZ(Int(section, "Z", 3));
    Animate(s, 0, s.Image->PatternCount(), 0, Int(section, "AnimSpeed", 4));
    s.DX = Int(section, "DX", 32);
    s.DY = Int(section, "DY", 0);
    s.HitCount = Int(section, "HitCount", 3);
    s.Damage = Int(section, "Damage", 100);
    s.Index = Register(world_.Lists.Enemies01, made_.Enemies01, s);
}

void TPopulation::Platform(int32_t c, int32_t r, uint8_t tag) {
    const std::string section = "Platform" + Hex2(tag);
    TPlatformSprite& s = Make<TPlatformSprite>(Image(store_.GetString(section, "Image", "")));
    s.X = Left(c);
    s.Y = Bottom(r, s);
    s.SetZ(Int(section, "Z", 1));
    Animate(s, 0, s.Image->PatternCount(), 0, Int(section, "AnimSpeed", 1));
    s.DX = Int(section, "DX", 0);
    s.DY = Int(section, "DY", 0);
    s.DistanceX = Wrap32(int64_t{Int(section, "DistanceX", 0)} * cellWidth_);
    s.DistanceY = Wrap32(int64_t{Int(section, "DistanceY", 0)} * cellHeight_);
    const int64_t x = Trunc(s.X), y = Trunc(s.Y);
    s.Range = {Wrap32(x - s.DistanceX / 2), Wrap32(y - s.DistanceY / 2), Wrap32(x + s.DistanceX / 2),
               Wrap32(y + s.DistanceY / 2)};
    s.Group = tag & 0x0F;
    Register(world_.Lists.Platforms, made_.Platforms, s);
}

void TPopulation::Object(int32_t c, int32_t r, uint8_t tag) {
    const std::string section = "Objects" + Hex2(tag);
    TObjectSprite& s = Make<TObjectSprite>(Image(Hex2(tag)));
    s.X = Centred(c, s);
    s.Y = Bottom(r, s);
    s.SetZ(Int(section, "Z", 2));
    Animate(s, 0, s.Image->PatternCount(), 0, Int("Objects", "AnimSpeed", 4));
    s.JumpTiles = Int(section, "JumpTiles", 1);
    Register(world_.Lists.ObjectSprites, made_.ObjectSprites, s);
}

void TPopulation::Point(int32_t c, int32_t r, uint8_t tag) {
    const std::string section = "Points" + Hex2(tag);
    TPointSprite& s = Make<TPointSprite>(Image(Hex2(tag)));
    s.X = Centred(c, s);
    s.Y = Bottom(r, s);
    s.SetZ(2);
    const int32_t count = s.Image->PatternCount();
    Animate(s, 0, count, Phase(c, count), Int(section, "AnimSpeed", 4));
    s.Value = Int(section, "Value", 1);
    AddPoints(s.Value);
    s.Index = Register(world_.Lists.PointSprites, made_.PointSprites, s);
}

void TPopulation::Life(int32_t c, int32_t r, uint8_t tag) {
    const bool good = tag >= 0xE0;
    const std::string section = (good ? "Goodies" : "Badies") + Hex2(tag);
    TLiveSprite& s = Make<TLiveSprite>(Image(Hex2(tag)));
    if (good) {
        s.Value = Int(section, "Health", 100);
        s.AnimSpeed = Int(section, "AnimSpeed", 2) / 1000.0;
    } else {
        s.Value = Int(section, "Damage", tag == 0xD0 ? -100 : -25);
        s.AnimSpeed = Int(section, "AnimSpeed", tag == 0xD0 ? 12 : 1) / 1000.0;
    }
    s.SetZ(Int(section, "Z", 2));
    s.IsGoodie = good;
    s.IsPopUp = false;
    switch (good ? 0xD0 : tag) {
    case 0xD1:
    case 0xD5:
        s.X = Centred(c, s);
        s.Y = Top(r);
        break;
    case 0xD2:
    case 0xD6:
        s.X = Centred(c, s);
        s.Y = Bottom(r, s);
        break;
    case 0xD3:
    case 0xD7:
        s.X = Left(c);
        s.Y = Middle(r, s);
        break;
    case 0xD4:
    case 0xD8:
        s.X = Right(c, s);
        s.Y = Middle(r, s);
        break;
    case 0xD9:
        // Rests sunk in the floor and pops up when the player comes near.
        s.X = Centred(c, s);
        s.Y = static_cast<double>((int64_t{r} + 1) * cellHeight_ - 8);
        s.IsPopUp = true;
        s.HomeY = s.Y;
        break;
    default: // 0xD0 and the good items
        s.X = Centred(c, s);
        s.Y = Middle(r, s);
        break;
    }
    s.AnimStart = 0;
    const int32_t count = s.Image->PatternCount();
    if (count != 0) s.AnimCount = count;
    s.AnimLoop = s.AnimCount > 0;
    AddPoints(s.Value);
    s.Index = Register(world_.Lists.LiveSprites, made_.LiveSprites, s);
}

void TPopulation::AutoMoveStart(int32_t c, int32_t r, uint8_t tag) {
    TAutoMoveSprite& s = Make<TAutoMoveSprite>(Image("AutomoveStart"));
    s.X = Left(c);
    s.Y = Top(r);
    s.SetZ(2);
    Animate(s, 0, s.Image->PatternCount(), 0, Int("Player", "AutomoveAnimSpeed", 10));
    s.Direction = tag;
    Register(world_.Lists.AutoMoveSprites, made_.AutoMoveSprites, s);
}

} // namespace

void MarkSlopeJoins(TMapItem& map) {
    const auto isSlope = [&](int32_t c, int32_t r) { return (map.BoundAt(c, r) & bound::Slope) != 0; };
    const auto risesLeft = [&](int32_t c, int32_t r) { return (map.BoundAt(c, r) & bound::Floor) != 0; };
    for (int32_t r = 1; r <= map.Height() - 2; ++r)
        for (int32_t c = 1; c <= map.Width() - 2; ++c) {
            if (!isSlope(c, r)) continue;
            // The slope goes on one cell further down on its falling side.
            const int32_t next = risesLeft(c, r) ? c + 1 : c - 1;
            if (isSlope(next, r + 1) && risesLeft(next, r + 1) == risesLeft(c, r))
                map.SetBound(static_cast<uint16_t>(map.BoundLow(c, r + 1) | bound::SlopeJoin), c, r + 1);
        }
}

void PopulateLevel(TGameWorld& world, TSpriteEngine& engine, TMapItem& map) {
    TLevelGeometry& geometry = world.Geometry;
    geometry.PlayerStartCol = 0;
    geometry.PlayerStartRow = 0;
    geometry.ExitCol = 0;
    geometry.ExitRow = 0;
    geometry.LevelPointsTotal = 0;
    geometry.LevelEnemyTotal = 0;

    MarkSlopeJoins(map);
    TPopulation population(world, engine, map);
    population.Count();
    population.Create();
}

} // namespace varnok
