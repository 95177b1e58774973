#pragma once
// A small running level for actor tests: a sprite engine on a 640 x 480
// surface, a game world over a hand-made playfield map, settings read from a
// temporary .INI, image items made in code, and services that record what
// the actors ask of the main window.
#include "common/Image.h"
#include "level/CryptedINI.h"
#include "level/ImageList.h"
#include "sprites/GameWorld.h"
#include "tests/support/TestSupport.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace varnok::test {

class RecordingServices final : public TWorldServices {
  public:
    using Played = std::pair<std::string, std::optional<int>>;
    std::vector<Played> Sounds;
    std::vector<std::string> Stopped;
    std::vector<std::string> Looped;
    int MusicHalts = 0;
    int Refreshes = 0;
    int Pan = 1234; // what PlayerPan answers

    void PlaySound(const std::string& name, std::optional<int> pan) override {
        Sounds.emplace_back(name, pan);
    }
    void StopSound(const std::string& name) override { Stopped.push_back(name); }
    void SetSoundLooped(const std::string& name, bool looped) override {
        if (looped) Looped.push_back(name);
    }
    int PlayerPan(const TSprite&) override { return Pan; }
    void HaltMusic() override { ++MusicHalts; }
    void ResumeMusic() override {}
    void RefreshPlayfieldLayer() override { ++Refreshes; }
    int Count(const std::string& name) const {
        int n = 0;
        for (const Played& p : Sounds) n += p.first == name;
        return n;
    }
    void SetCaption(const std::string&) override {}
};

class TestWorld {
  public:
    TestWorld(uint16_t mapWidth, uint16_t mapHeight) {
        WriteFileBytes(dir / "GLOBAL.INI", "");
        store = std::make_unique<TMemIniFileCrypted>(dir / "GLOBAL.INI");
        level.CurrentTileSet.Maps.Add().Resize(mapWidth, mapHeight);
        world = std::make_unique<TGameWorld>(game, level, *store, images, services);
        world->Geometry.CellWidth = world->Geometry.CellHeight = 32;
        engine.SetSurface(&screen);
        engine.World = world.get();
    }
    ~TestWorld() { engine.Clear(); }

    TMapItem& Map() { return world->BoundMap(); }
    void SetCell(int32_t c, int32_t r, uint8_t tag, uint8_t low = 0) {
        Map().SetBound(static_cast<uint16_t>(tag << 8 | low), c, r);
    }
    void Settings(const std::string& text) {
        WriteFileBytes(dir / "GLOBAL.INI", text);
        store->Reload();
    }
    // An item of patterns frames of width x height in one row.
    TPictureCollectionItem& AddImage(const std::string& name, int width, int height, int patterns = 1) {
        TPictureCollectionItem& item = images.Items.Add();
        item.SetName(name);
        item.Picture.Assign(RgbaImage(width * patterns, height));
        item.PatternWidth = width;
        item.PatternHeight = height;
        return item;
    }

    TempDir dir;
    TGameGlobals game;
    TLevelData level;
    std::unique_ptr<TMemIniFileCrypted> store;
    TDXImageList images;
    RecordingServices services;
    std::unique_ptr<TGameWorld> world;
    platform::Surface screen{640, 480, 16};
    TSpriteEngine engine;
};

} // namespace varnok::test
