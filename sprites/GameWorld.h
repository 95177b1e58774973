#pragma once
// The running level as the actors see it: the shared game state, the level's
// geometry, the registry of the player and its helpers, the per-kind actor
// lists filled by the population, and the services of the main window that
// actors use (sounds, music, the playfield layer). The main window owns one
// world and hangs it on the game's sprite engine, where every actor finds it.
#include "app/GameState.h"
#include "level/TSINI.h"
#include "level/TSLayer.h"
#include "sprites/Sprite.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace varnok {

class TMemIniFileCrypted;
class TDXImageList;
class TImageSprite;
class TPlayerSprite;
class TDustSprite;
class TLevelSprite;
class TTriggerSprite;
class TBlockSprite;
class TGrateSprite;
class TKeycardSprite;
class TLaserLockSprite;
class TPlatformTrigger;
class TEnemySprite01;
class TEnemySprite02;
class TEnemySprite03;
class TPlatformSprite;
class TObjectSprite;
class TPointSprite;
class TLiveSprite;
class TAutoMoveSprite;

// What the main window does for the actors.
class TWorldServices {
public:
    virtual ~TWorldServices() = default;
    // Plays the named sound once (or looping, for a looped item); with a pan,
    // the item's pan is set first. Raises "Wave '%s' not found" for a name the
    // wave list lacks.
    virtual void PlaySound(const std::string& name, std::optional<int> pan) = 0;
    virtual void StopSound(const std::string& name) = 0;
    virtual void SetSoundLooped(const std::string& name, bool looped) = 0;
    // Stereo pan of a sound caused at the sprite's screen position.
    virtual int PlayerPan(const TSprite& sprite) = 0;
    virtual void HaltMusic() = 0;
    virtual void ResumeMusic() = 0;
    // Redraws the playfield layer from its map after tiles changed.
    virtual void RefreshPlayfieldLayer() = 0;
    // The main window's caption (the debug cell report writes it).
    virtual void SetCaption(const std::string& caption) = 0;
};

struct TLevelGeometry {
    int32_t CellWidth = 0;
    int32_t CellHeight = 0;
    int32_t MaxScrollX = 0;
    int32_t MaxScrollY = 0;
    int32_t ScrollMarginLeft = 0;
    int32_t ScrollMarginRight = 0;
    int32_t ScrollMarginTop = 0;
    int32_t ScrollMarginBottom = 0;
    int32_t PlayerStartCol = 0;
    int32_t PlayerStartRow = 0;
    int32_t ExitCol = 0;
    int32_t ExitRow = 0;
    int32_t LevelPointsTotal = 0;
    int32_t LevelEnemyTotal = 0;
    int32_t LevelSeconds = 0;
};

// The player and its helpers, and the layers. Handles read empty once their
// sprite is gone.
struct TActorRegistry {
    TSpriteRef<TPlayerSprite> GamePlayer;
    TSpriteRef<TDustSprite> DustSprite;
    std::array<TSpriteRef<TImageSprite>, 7> TraceSprites;
    TSpriteRef<TLevelSprite> LevelEntrySprite;
    TSpriteRef<TLevelSprite> LevelExitSprite;
    TLayerSprites LayerSprites;
};

// An actor the population made, with the map tag it came from.
struct TPopulatedActor {
    TSpriteRef<TImageSprite> Sprite;
    uint8_t Tag = 0;
};

// One list per actor kind, in creation order (row by row, left to right),
// and every actor in that order.
struct TActorLists {
    std::vector<TPopulatedActor> All;
    std::vector<TSpriteRef<TLevelSprite>> InfoSigns;
    std::vector<TSpriteRef<TTriggerSprite>> Triggers;
    std::vector<TSpriteRef<TBlockSprite>> Blocks;
    std::vector<TSpriteRef<TGrateSprite>> Grates;
    std::vector<TSpriteRef<TKeycardSprite>> Keycards;
    std::vector<TSpriteRef<TLaserLockSprite>> LaserLocks;
    std::vector<TSpriteRef<TPlatformTrigger>> PlatformTriggers;
    std::vector<TSpriteRef<TEnemySprite01>> Enemies01;
    std::vector<TSpriteRef<TEnemySprite02>> Enemies02;
    std::vector<TSpriteRef<TEnemySprite03>> Enemies03;
    std::vector<TSpriteRef<TPlatformSprite>> Platforms;
    std::vector<TSpriteRef<TObjectSprite>> ObjectSprites;
    std::vector<TSpriteRef<TPointSprite>> PointSprites;
    std::vector<TSpriteRef<TLiveSprite>> LiveSprites;
    std::vector<TSpriteRef<TAutoMoveSprite>> AutoMoveSprites;

    void Clear() { *this = TActorLists{}; }
};

class TGameWorld final : public TSpriteWorld {
public:
    TGameWorld(TGameGlobals& game, TLevelData& level, TMemIniFileCrypted& globalStore, TDXImageList& images,
               TWorldServices& services)
        : Game(game), Level(level), GlobalStore(globalStore), Images(images), Services(services) {}

    TGameGlobals& Game;
    TLevelData& Level;
    TMemIniFileCrypted& GlobalStore;
    TDXImageList& Images;
    TWorldServices& Services;

    TLevelGeometry Geometry;
    TActorRegistry Actors;
    TActorLists Lists;
    TScrollDelta ScrollDelta;
    // The info message shown during play (set by info signs).
    std::string InfoText;
    // The run flag (Shift held), as the game screen's key handlers last set
    // it; the player lengthens its trace while it is set.
    bool ShiftDown = false;

    // The playfield map (bounds and tags). Raises a list error when the level has none.
    TMapItem& BoundMap() { return Level.CurrentTileSet.Maps.Items(Level.BoundLayerIndex); }
    bool HasBoundMap() const { return Level.BoundLayerIndex < Level.CurrentTileSet.Maps.Count(); }

    // The world a sprite of the game engine lives in.
    static TGameWorld& Of(const TSprite& sprite) { return static_cast<TGameWorld&>(*sprite.Engine()->World); }
};

} // namespace varnok
