#include "app/Harness.h"
#include "common/Files.h"

#include "app/Demo.h"
#include "app/KeyBindings.h"
#include "app/LevelMaps.h"
#include "app/MainForm.h"
#include "app/MapSession.h"
#include "common/Exception.h"
#include "common/Image.h"
#include "common/Paths.h"
#include "common/StrUtils.h"
#include "common/UserFolders.h"
#include "level/TSINI.h"
#include "platform/Application.h"
#include "platform/Clock.h"
#include "platform/Keys.h"
#include "sprites/GrateSprite.h"
#include "sprites/MySprite.h"
#include "sprites/PlatformSprite.h"
#include "sprites/PlayerSprite.h"
#include "tools/Debug.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>

namespace varnok {

namespace {

bool ParseTickOutput(const std::string& value, TTickOutput& out) {
    const size_t at = value.rfind('@');
    if (at == std::string::npos || at == 0) return false;
    const std::string tick = value.substr(at + 1);
    if (tick.empty() || tick.find_first_not_of("0123456789") != std::string::npos) return false;
    out.Path = value.substr(0, at);
    out.Tick = std::stoull(tick);
    return true;
}

bool ParseUnsigned(const std::string& value, uint64_t& out, uint64_t max) {
    if (value.empty() || value.size() > 18 || value.find_first_not_of("0123456789") != std::string::npos)
        return false;
    out = std::stoull(value);
    return out <= max;
}

std::string JsonString(const std::string& latin1) {
    std::string r = "\"";
    for (char c : Latin1ToUtf8(latin1)) {
        switch (c) {
        case '"': r += "\\\""; break;
        case '\\': r += "\\\\"; break;
        case '\n': r += "\\n"; break;
        case '\r': r += "\\r"; break;
        case '\t': r += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20)
                r += Format("\\u%04x", static_cast<unsigned char>(c));
            else
                r.push_back(c);
        }
    }
    return r + "\"";
}

const char* Flag(bool b) { return b ? "true" : "false"; }

// One actor of the level: its class, the tag it came from, its position and
// the fields of its kind that change while playing.
std::string ActorJson(const TImageSprite& sprite, uint8_t tag) {
    std::ostringstream j;
    std::string kind = "TImageSprite";
    std::ostringstream f;
    if (auto* e3 = dynamic_cast<const TEnemySprite03*>(&sprite)) {
        kind = "TEnemySprite03";
        f << ", \"HitCount\": " << e3->HitCount << ", \"DX\": " << e3->DX << ", \"DY\": " << e3->DY;
    } else if (auto* e1 = dynamic_cast<const TEnemySprite01*>(&sprite)) {
        kind = "TEnemySprite01";
        f << ", \"HitCount\": " << e1->HitCount << ", \"DX\": " << e1->DX << ", \"DY\": " << e1->DY;
    } else if (auto* e2 = dynamic_cast<const TEnemySprite02*>(&sprite)) {
        kind = "TEnemySprite02";
        f << ", \"HitCount\": " << e2->HitCount << ", \"DX\": " << e2->DX << ", \"DY\": " << e2->DY
          << ", \"Defeated\": " << Flag(e2->Defeated);
    } else if (auto* point = dynamic_cast<const TPointSprite*>(&sprite)) {
        kind = "TPointSprite";
        f << ", \"Collected\": " << Flag(point->Collected);
    } else if (auto* life = dynamic_cast<const TLiveSprite*>(&sprite)) {
        kind = "TLiveSprite";
        f << ", \"Collected\": " << Flag(life->Collected);
    } else if (auto* block = dynamic_cast<const TBlockSprite*>(&sprite)) {
        kind = "TBlockSprite";
        f << ", \"HitCount\": " << block->HitCount << ", \"Broken\": " << Flag(block->Broken);
    } else if (auto* grate = dynamic_cast<const TGrateSprite*>(&sprite)) {
        kind = "TGrateSprite";
        f << ", \"HitCount\": " << grate->HitCount << ", \"Broken\": " << Flag(grate->Broken);
    } else if (auto* trigger = dynamic_cast<const TTriggerSprite*>(&sprite)) {
        kind = "TTriggerSprite";
        f << ", \"State\": " << trigger->State << ", \"Cooldown\": " << trigger->Cooldown;
    } else if (auto* object = dynamic_cast<const TObjectSprite*>(&sprite)) {
        kind = "TObjectSprite";
        f << ", \"PressedTick\": " << object->PressedTick;
    } else if (auto* platformTrigger = dynamic_cast<const TPlatformTrigger*>(&sprite)) {
        kind = "TPlatformTrigger";
        f << ", \"Used\": " << Flag(platformTrigger->Used);
    } else if (auto* platform = dynamic_cast<const TPlatformSprite*>(&sprite)) {
        kind = "TPlatformSprite";
        f << ", \"DX\": " << platform->DX << ", \"DY\": " << platform->DY;
    } else if (dynamic_cast<const TKeycardSprite*>(&sprite)) {
        kind = "TKeycardSprite";
    } else if (dynamic_cast<const TLaserLockSprite*>(&sprite)) {
        kind = "TLaserLockSprite";
    } else if (dynamic_cast<const TAutoMoveSprite*>(&sprite)) {
        kind = "TAutoMoveSprite";
    } else if (dynamic_cast<const TLevelSprite*>(&sprite)) {
        kind = "TLevelSprite";
    }
    j << "{\"Kind\": \"" << kind << "\", \"Tag\": " << int{tag} << ", \"X\": " << sprite.X << ", \"Y\": " << sprite.Y
      << f.str() << "}";
    return j.str();
}

} // namespace

std::string HarnessUsage() {
    return "usage: varnok [-KV3916] [options] [MAP.tmx]\n"
           "  --help                print this text and end\n"
           "  --version             print the game's name and version and end\n"
           "  MAP.tmx               play this Tiled map as the only level; saved again, it is reloaded\n"
           "  --export-level N DIR  write level N as a Tiled map DIR/levelN.tmx with its pictures\n"
           "  --new-level FILE.tmx  write a new, empty level as a Tiled map\n"
           "  --install-level FILE.tmx\n"
           "                        put the map into the player's own level list, after the last\n"
           "                        level (with --level N: in place of level N)\n"
           "  --headless            no window, no sound device, simulated clock\n"
           "  --tick-ms N           simulated milliseconds per tick (default 16)\n"
           "  --ticks N             run N ticks, then exit\n"
           "  --input FILE          scripted keys: lines 'TICK down KEY' or 'TICK up KEY'\n"
           "  --screenshot PATH@T   write the screen as PNG after tick T (repeatable)\n"
           "  --state PATH@T        write the game state as JSON after tick T (repeatable)\n"
           "  --data DIR            read the game data from DIR instead of the program folder\n"
           "  --level N             the title's Start begins with level N (as the debug Level menu)\n"
           "  --record FILE         write the run's keys and tick times to FILE as a demo\n"
           "  --play FILE           play the demo FILE again, tick for tick\n"
           "  --keys FILE           bind keys as FILE says (lines 'KEY = GAME_KEY')\n"
           "  --action NAME@T       run the menu command NAME after tick T (repeatable), e.g. ActionAboutInfo\n";
}

THarnessOptions ParseHarnessOptions(int argc, char** argv, std::string& error) {
    THarnessOptions o;
    error.clear();
    int i = 1;
    auto isMap = [](const std::string& arg) {
        return arg.rfind("--", 0) != 0 && arg.size() > 4 && SameText(arg.substr(arg.size() - 4), ".tmx");
    };
    // The first parameter belongs to the game (the debug switch) unless it is
    // an option or a map.
    if (argc > 1 && std::string(argv[1]).rfind("--", 0) != 0 && !isMap(argv[1])) {
        o.Params.push_back(argv[1]);
        i = 2;
    }
    auto value = [&](const std::string& name) -> std::optional<std::string> {
        if (i + 1 >= argc) {
            error = name + " needs a value";
            return std::nullopt;
        }
        return std::string(argv[++i]);
    };
    for (; i < argc && error.empty(); ++i) {
        const std::string arg = argv[i];
        if (isMap(arg)) {
            if (!o.MapFile.empty()) error = "only one map can be played at a time";
            o.MapFile = arg;
            continue;
        }
        // Only the first parameter is the game's: a later word that is no
        // option has no effect (the debug switch in second place included).
        if (arg.rfind("--", 0) != 0) {
            o.Ignored.push_back(arg);
            continue;
        }
        o.Params.push_back(arg);
        if (arg == "--help") {
            o.Help = true;
        } else if (arg == "--version") {
            o.Version = true;
        } else if (arg == "--headless") {
            o.Headless = true;
        } else if (arg == "--tick-ms") {
            auto v = value(arg);
            uint64_t n = 0;
            if (v && (!ParseUnsigned(*v, n, 60000) || n == 0)) error = "--tick-ms wants a number from 1 to 60000";
            o.TickMs = static_cast<uint32_t>(n);
        } else if (arg == "--ticks") {
            auto v = value(arg);
            uint64_t n = 0;
            if (v && !ParseUnsigned(*v, n, UINT64_MAX / 2)) error = "--ticks wants a number";
            o.Ticks = n;
        } else if (arg == "--input") {
            if (auto v = value(arg)) o.InputFile = *v;
        } else if (arg == "--screenshot" || arg == "--state" || arg == "--action") {
            auto v = value(arg);
            TTickOutput out;
            if (v && !ParseTickOutput(*v, out))
                error = arg + (arg == "--action" ? " wants NAME@TICK" : " wants PATH@TICK");
            else if (v)
                (arg == "--state" ? o.States : arg == "--action" ? o.Actions : o.Screenshots).push_back(out);
        } else if (arg == "--data") {
            if (auto v = value(arg)) o.DataDir = *v;
        } else if (arg == "--level") {
            auto v = value(arg);
            uint64_t n = 0;
            if (v && (!ParseUnsigned(*v, n, 65535) || n == 0)) error = "--level wants a number from 1 to 65535";
            o.StartLevel = static_cast<uint32_t>(n);
        } else if (arg == "--record" || arg == "--play") {
            if (auto v = value(arg)) (arg == "--record" ? o.RecordFile : o.PlayFile) = *v;
        } else if (arg == "--keys") {
            if (auto v = value(arg)) o.KeysFile = *v;
        } else if (arg == "--export-level") {
            auto v = value(arg);
            uint64_t n = 0;
            if (v && (!ParseUnsigned(*v, n, 65535) || n == 0)) error = "--export-level wants a level number and a folder";
            o.ExportLevel = static_cast<uint32_t>(n);
            if (error.empty())
                if (auto dir = value(arg)) o.ExportDir = *dir;
        } else if (arg == "--new-level" || arg == "--install-level") {
            if (auto v = value(arg)) (arg == "--new-level" ? o.NewLevelFile : o.InstallLevelFile) = *v;
        } else {
            error = "unknown option " + arg;
        }
        if (!error.empty()) break;
    }
    // An output after the last tick would never be made: a test asking for
    // it must hear so before the run, not find a file missing afterwards.
    if (error.empty() && o.Ticks) {
        const std::pair<const char*, const std::vector<TTickOutput>*> outputs[] = {
            {"--screenshot", &o.Screenshots}, {"--state", &o.States}, {"--action", &o.Actions}};
        for (const auto& [name, list] : outputs)
            for (const TTickOutput& out : *list)
                if (error.empty() && out.Tick >= *o.Ticks)
                    error = Format("%s %s@%llu comes after the last tick (--ticks %llu runs ticks 0 to %llu)",
                                   name, out.Path.c_str(), static_cast<unsigned long long>(out.Tick),
                                   static_cast<unsigned long long>(*o.Ticks),
                                   static_cast<unsigned long long>(*o.Ticks - 1));
    }
    if (error.empty() && !o.RecordFile.empty() && !o.PlayFile.empty())
        error = "--record and --play cannot be used together";
    if (error.empty() && !o.PlayFile.empty() && !o.InputFile.empty()) error = "--play brings its own keys: no --input";
    return o;
}

std::string StateJson(TMainForm& form, uint64_t tick) {
    const TGameGlobals& g = form.Game;
    std::ostringstream j;
    j << "{\n";
    j << "  \"Tick\": " << tick << ",\n";
    j << "  \"Time\": " << platform::GetTickCount() << ",\n";
    j << "  \"GameState\": " << JsonString(std::string(1, g.GameState)) << ",\n";
    j << "  \"CurrentLevel\": " << g.CurrentLevel << ",\n";
    j << "  \"StartLevelNumber\": " << g.StartLevelNumber << ",\n";
    j << "  \"LevelCount\": " << form.Level.LevelCount << ",\n";
    j << "  \"FrameRate\": " << form.DXTimer.FrameRate() << ",\n";
    const TSpriteEngine& engine = form.DXSpriteEngine.Engine();
    j << "  \"Engine\": {\"X\": " << engine.X << ", \"Y\": " << engine.Y << ", \"Sprites\": " << engine.AllCount()
      << "},\n";
    j << "  \"Layers\": [";
    bool firstLayer = true;
    for (const auto& ref : form.World.Actors.LayerSprites) {
        const TScrollingLayer* layer = ref.Get();
        if (!layer) continue;
        j << (firstLayer ? "" : ", ") << "{\"Name\": " << JsonString(layer->LayerName) << ", \"X\": " << layer->X
          << ", \"Y\": " << layer->Y << ", \"Hidden\": " << (layer->Hidden ? "true" : "false") << "}";
        firstLayer = false;
    }
    j << "],\n";
    j << "  \"FullScreen\": " << Flag(form.DXDraw.HasOption(platform::doFullScreen)) << ",\n";
    j << "  \"MenuVisible\": " << Flag(form.MenuVisible()) << ",\n";
    j << "  \"WindowModeChecked\": " << Flag(form.ActionToggleWindow.Checked()) << ",\n";
    j << "  \"Scale\": " << form.DXDraw.Scale() << ",\n";
    j << "  \"CreditsScrollY\": " << g.CreditsScrollY << ",\n";
    j << "  \"TimerEnabled\": " << (form.DXTimer.Enabled() ? "true" : "false") << ",\n";
    j << "  \"GodModeOn\": " << (g.GodModeOn ? "true" : "false") << ",\n";
    j << "  \"NoTilesOn\": " << (g.NoTilesOn ? "true" : "false") << ",\n";
    j << "  \"FadeActive\": " << (form.FadeActive ? "true" : "false") << ",\n";
    j << "  \"MusicFile\": " << JsonString(g.CurrentMusicFile) << ",\n";
    j << "  \"Caption\": " << JsonString(form.Caption()) << ",\n";
    j << "  \"DebugSwitch\": " << (form.DebugSwitch ? "true" : "false") << ",\n";
    j << "  \"ShownScore\": " << g.ShownScore << ",\n";
    j << "  \"InfoText\": " << JsonString(form.World.InfoText) << ",\n";
    j << "  \"LevelSeconds\": " << form.World.Geometry.LevelSeconds << ",\n";
    if (const TPlayerSprite* p = form.World.Actors.GamePlayer.Get()) {
        auto flag = [](bool b) { return b ? "true" : "false"; };
        j << "  \"Player\": {\"X\": " << p->X << ", \"Y\": " << p->Y << ", \"Lives\": " << p->Lives
          << ", \"Health\": " << p->Health << ", \"Score\": " << p->Score << ", \"Jumping\": " << flag(p->Jumping)
          << ", \"Falling\": " << flag(p->Falling) << ", \"KillJumping\": " << flag(p->KillJumping)
          << ", \"AutoMoving\": " << flag(p->AutoMoving) << ", \"AnimStart\": " << p->AnimStart
          << ", \"EnemiesKilled\": " << p->EnemiesKilled << ", \"Invulnerable\": " << flag(p->Invulnerable)
          << ", \"OnPlatform\": " << flag(p->OnPlatform) << ", \"LastInfoSign\": " << p->LastInfoSign << "},\n";
    } else {
        j << "  \"Player\": null,\n";
    }
    j << "  \"MessageBoxes\": [";
    const auto& boxes = form.App().MessageBoxes();
    for (size_t i = 0; i < boxes.size(); ++i)
        j << (i ? ", " : "") << "{\"Caption\": " << JsonString(boxes[i].Caption)
          << ", \"Text\": " << JsonString(boxes[i].Text) << "}";
    j << "],\n";
    j << "  \"Dialogs\": [";
    for (size_t i = 0; i < form.Dialogs.size(); ++i) j << (i ? ", " : "") << JsonString(form.Dialogs[i]);
    j << "],\n";
    j << "  \"DebugLog\": " << JsonString(DebugLog().Text()) << ",\n";
    j << "  \"DebugWindowVisible\": " << Flag(DebugLog().Visible()) << ",\n";
    j << "  \"LevelPointsTotal\": " << form.World.Geometry.LevelPointsTotal << ",\n";
    j << "  \"LevelEnemyTotal\": " << form.World.Geometry.LevelEnemyTotal << ",\n";
    j << "  \"Actors\": [";
    bool firstActor = true;
    for (const TPopulatedActor& actor : form.World.Lists.All) {
        const TImageSprite* sprite = actor.Sprite.Get();
        if (!sprite || sprite->IsDead()) continue;
        j << (firstActor ? "\n    " : ",\n    ") << ActorJson(*sprite, actor.Tag);
        firstActor = false;
    }
    j << (firstActor ? "]\n" : "\n  ]\n");
    j << "}\n";
    return j.str();
}

void UseUserDataFolderWhenReadOnly() {
    // An installed game's folders belong to the system: what the game writes
    // then goes to the user's data folder, which is also read first.
    bool writable = IsWritableFolder(ProgramFolder());
    for (const char* sub : {"DAT", "GFX"}) {
        const std::string folder = ResolvePath(ProgramFolder(), sub);
        if (std::filesystem::is_directory(folder)) writable = writable && IsWritableFolder(folder);
    }
    SetWriteFolder(writable ? "" : UserDataFolder());
}

std::string StateHash(TMainForm& form, uint64_t tick) {
    // How the window shows the game (full screen, menu bar, scale) is not the
    // game's state: a demo recorded in a window replays headless, where the
    // display only simulates them.
    static const char* const kPresentation[] = {"  \"FullScreen\": ", "  \"MenuVisible\": ",
                                                "  \"WindowModeChecked\": ", "  \"Scale\": "};
    std::istringstream in(StateJson(form, tick));
    std::string kept, line;
    while (std::getline(in, line)) {
        bool skip = false;
        for (const char* prefix : kPresentation) skip = skip || line.rfind(prefix, 0) == 0;
        if (!skip) kept += line + "\n";
    }
    return HashText(kept);
}

namespace {

// Demos check the state this often (in ticks) and after their last tick.
constexpr uint64_t kDemoCheckEvery = 60;

// The window's own events while a demo plays: the demo's events reach the
// game directly; of the window only its closing gets through (and is noted,
// as the viewer ended the show, not the demo).
// Hears nothing: for setting the application's state without telling the game.
class TNoSink final : public platform::EventSink {
public:
    void KeyDown(int&, int) override {}
    void KeyUp(int&, int) override {}
};

class TPlaybackSink final : public platform::EventSink {
public:
    explicit TPlaybackSink(TMainForm& form) : form_(form) {}
    void KeyDown(int&, int) override {}
    void KeyUp(int&, int) override {}
    void CloseQuery() override {
        ClosedByViewer = true;
        form_.CloseQuery();
    }
    bool ClosedByViewer = false;

private:
    TMainForm& form_;
};

} // namespace

namespace {

extern "C" void TerminateOnHangUp(int) {
    raise(SIGTERM);
}

// Closing the terminal (SIGHUP) ends the game as SIGTERM does: the platform
// turns that into a request to close the window, so the run ends between two
// ticks and a demo being recorded is finished with its end line. A hang-up
// the caller chose to ignore (nohup) stays ignored.
void HangUpEndsLikeTerminate() {
    struct sigaction current {};
    if (sigaction(SIGHUP, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) return;
    struct sigaction hangUp {};
    hangUp.sa_handler = TerminateOnHangUp;
    sigemptyset(&hangUp.sa_mask);
    sigaction(SIGHUP, &hangUp, nullptr);
}

// Writes a harness output file (a state snapshot): every failure, the
// final flush and close included, raises EFileError with the system's reason.
void WriteOutputFile(const std::string& path, const std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw EFileError(Format("cannot create \"%s\": %s", path.c_str(), std::strerror(errno)));
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size() && std::fflush(f) == 0;
    const int err = errno;
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed)
        throw EFileError(
            Format("cannot write \"%s\": %s", path.c_str(), std::strerror(written ? errno : err)));
}

// The game's run; the application is made into app, so that an error that
// ends the run can still be shown on its display.
int RunGameWith(const THarnessOptions& options, std::unique_ptr<platform::Application>& appSlot) {
    if (!options.DataDir.empty()) SetProgramFolder(options.DataDir);
    UseUserDataFolderWhenReadOnly();
    // Level making: tools that write files and end.
    if (options.ExportLevel) return ExportLevelCommand(static_cast<int>(options.ExportLevel), options.ExportDir);
    if (!options.NewLevelFile.empty()) return NewLevelCommand(options.NewLevelFile);
    if (!options.InstallLevelFile.empty())
        return InstallLevelCommand(options.InstallLevelFile, static_cast<int>(options.StartLevel));
    const bool playing = !options.PlayFile.empty();
    const bool recording = !options.RecordFile.empty();
    // Scripted keys, or the demo to play.
    TDemo script;
    try {
        if (playing) {
            script = LoadDemo(options.PlayFile);
            if (!script.IsDemo)
                throw EFileError(options.PlayFile + " is not a demo: its first line is not \"#demo " +
                                 std::to_string(kDemoFormat) + "\"");
        } else if (!options.InputFile.empty()) {
            script = LoadDemo(options.InputFile);
        }
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }

    appSlot = std::make_unique<platform::Application>(options.Headless);
    platform::Application& app = *appSlot;
    if (!app.StartError().empty()) {
        // No window can be shown: the game ends before it reads its data.
        std::fprintf(stderr, "%s\n", app.StartError().c_str());
        return 1;
    }
    app.SetTitle("VARNOK (freeware version)");
    HangUpEndsLikeTerminate();
    for (const std::string& word : options.Ignored) {
        const std::string note =
            "Parameter '" + EscapeControlBytes(word) + "' ignored: only the first parameter is looked at";
        // A demo's checks compare the debug log: recording and playback say it
        // on standard error only.
        if (playing || recording)
            std::fprintf(stderr, "varnok: %s\n", note.c_str());
        else
            AddMessage(note);
    }
    // Gamepads and the player's own keys in the window; a demo brings its
    // own input, and headless runs take keys only from a file they name.
    if (!options.Headless && !playing) {
        app.EnableGameControllers(UserConfigFolder() + "gamecontrollerdb.txt");
        if (const platform::GameControllers* pads = app.Controllers())
            for (const std::string& problem : pads->Problems())
                AddMessage(problem);
    }
    if (!options.KeysFile.empty())
        app.SetKeyBindings(LoadKeyBindings(options.KeysFile, false));
    else if (!options.Headless && !playing)
        app.SetKeyBindings(LoadKeyBindings(UserConfigFolder() + "keys.conf", true));
    // Headless runs and demos run on a simulated clock: all reads of the
    // clock within one tick see the same time, and a demo keeps each tick's.
    platform::SimulatedClock simulated(0);
    platform::RealClock real;
    std::optional<platform::ScopedClock> clockScope;
    const bool realTime = !options.Headless && !playing && !recording;
    if (!realTime) clockScope.emplace(simulated);

    // The data comes first: without it there is no game.
    TDataStores stores;
    try {
        stores = OpenDataFiles(ProgramFolder());
    } catch (const std::exception& e) {
        // Missing data files, or stores that cannot be read.
        app.ShowMessage(e.what());
        return 1;
    }
    if (playing) {
        const std::string mismatch = FirstDataMismatch(script, ProgramFolder());
        if (!mismatch.empty()) {
            app.ShowMessage("This demo was recorded with other game data (" + mismatch +
                            " has changed since); it is not played.");
            return 3;
        }
    }

    // A map played as the only level: read and checked before the window
    // exists; a map with mistakes is shown on the get-ready screen.
    std::unique_ptr<TMapSession> map;
    if (!options.MapFile.empty()) {
        map = std::make_unique<TMapSession>(options.MapFile);
        try {
            map->Images.LoadFromFile(DataPath("GFX\\Images.dxg"));
        } catch (const std::exception& e) {
            app.ShowMessage(e.what());
            return 1;
        }
        map->Load(*stores.LevelStore, *stores.GlobalStore, true);
    }

    // The game's parameters: a demo brings those of its recorded run.
    std::vector<std::string> params = playing ? script.Params : options.Params;
    const uint32_t startLevel = playing ? script.StartLevel : options.StartLevel;

    app.CreateMainWindow("VARNOK", 640, 480);
    TMainForm form(app, *stores.LevelStore, *stores.GlobalStore, params);
    form.StartupNotice = stores.Notice;
    std::unique_ptr<TDemoRecorder> recorder;
    if (recording) {
        try {
            recorder = std::make_unique<TDemoRecorder>(options.RecordFile, form);
        } catch (const Exception& e) {
            app.ShowMessage(e.what());
            return 2;
        }
        // Only a first parameter that is no option reaches the game as its own.
        std::vector<std::string> own;
        if (!params.empty() && params[0].rfind("--", 0) != 0) own.push_back(params[0]);
        recorder->WriteHeader(own, startLevel, DataHashes(ProgramFolder()), app.Active());
    }
    if (playing) {
        // The window's focus as the recorded run began: the game is told of
        // changes only, as then.
        TNoSink nobody;
        app.InjectFocus(nobody, !script.StartsInactive);
    }
    if (map) {
        form.LayerImagesFromBitmap = true;
        form.MapError = map->Error;
        map->Report();
    }
    try {
        form.FormCreate();
        // Chosen before the title shows, which takes the start level over.
        if (startLevel != 0) form.Game.StartLevelNumber = static_cast<int32_t>(startLevel);
        form.FormShow();
    } catch (const std::exception& e) {
        // The main window could not be built (its pictures missing or broken).
        app.ShowMessage(e.what());
        return 1;
    }

    for (const auto& action : options.Actions) {
        if (!form.FindAction(action.Path) && !form.MainMenu.FindItem(action.Path)) {
            std::fprintf(stderr, "varnok: --action: no menu command is named %s\n", action.Path.c_str());
            return 2;
        }
    }

    TPlaybackSink playbackSink(form);
    platform::EventSink& sink = recorder ? static_cast<platform::EventSink&>(*recorder) : form;
    platform::EventSink& windowSink = playing ? static_cast<platform::EventSink&>(playbackSink) : sink;
    if (playing) app.SetRealInputIgnored(true);
    const uint32_t realStart = real.Now();
    uint32_t lastReal = realStart;
    uint64_t demoTime = 0;
    uint64_t lastChecked = UINT64_MAX;
    std::string outOfStep;
    // Compares or writes the check of a tick.
    auto check = [&](uint64_t t) {
        if (lastChecked == t) return;
        lastChecked = t;
        if (recorder) recorder->WriteCheck(t, StateHash(form, t));
        if (!playing) return;
        auto it = script.Checks.find(t);
        if (it != script.Checks.end() && it->second != StateHash(form, t))
            outOfStep = Format("The demo went out of step at tick %llu: the game no longer plays as it was "
                               "recorded.",
                               static_cast<unsigned long long>(t));
    };

    // (Not in the debug log: that is part of the state the demo's checks compare.)
    if (playing && script.Format == 1)
        std::fprintf(
            stderr,
            "varnok: %s is a demo of format 1, written before demos ended with an end line: whether it "
            "is whole cannot be told.\n",
            options.PlayFile.c_str());
    bool outputsFailed = false;
    // The last tick whose actions and outputs ran.
    std::optional<uint64_t> outputsDone;
    auto outputFailed = [&](const char* option, const TTickOutput& out, const std::string& why) {
        std::fprintf(stderr, "varnok: %s %s@%llu: %s\n", option, out.Path.c_str(),
                     static_cast<unsigned long long>(out.Tick), why.c_str());
        outputsFailed = true;
    };
    // Each pass is one tick; when the loop ends, tick is the last tick run.
    uint64_t tick = 0;
    for (;; ++tick) {
        uint32_t elapsed = options.TickMs;
        if (auto it = script.Elapsed.find(tick); it != script.Elapsed.end()) elapsed = it->second;
        if (recording && !options.Headless) {
            // The window's real time, kept for the demo.
            const uint32_t now = real.Now();
            elapsed = now - lastReal;
            lastReal = now;
        }
        if (!realTime) simulated.Advance(elapsed);
        if (playing && !options.Headless) {
            // A demo in the window plays at the speed it was recorded.
            demoTime += elapsed;
            while (real.Now() - realStart < demoTime && !app.Terminated()) {
                app.WaitMessage(static_cast<int>(std::min<uint64_t>(demoTime - (real.Now() - realStart), 10)));
                app.ProcessMessages(windowSink);
            }
        }
        if (recorder) recorder->BeginTick(tick, elapsed);
        // A map saved anew is read again and its level started over.
        if (map && (map->Checking() || real.Now() - map->LastPoll >= kMapPollMs)) {
            map->LastPoll = real.Now();
            map->Poll(form);
        }
        PlayDemoEvents(script, tick, app, sink);
        app.ProcessMessages(windowSink);
        if (app.Terminated()) break;
        if (!form.Idle() && !options.Headless && !playing) app.WaitMessage(form.DXTimer.Enabled() ? 1 : 10);
        // Menu commands come after the tick's frame, as a click between two
        // frames: the next tick sees the time since this one, as it would
        // without the command (a change of window mode then leaves the run
        // exactly as it was).
        // As the player could give them: a command of a hidden menu, a
        // level the game does not have or a disabled item fails the run.
        for (const auto& action : options.Actions) {
            if (action.Tick != tick) continue;
            const std::string refusal = form.CommandRefusal(action.Path);
            if (!refusal.empty())
                outputFailed("--action", action, "not run: " + refusal);
            else
                form.RunNamedCommand(action.Path);
        }

        // A harness output that cannot be made fails the run (standard error
        // says why; the game's own log stays as the game left it).
        for (const auto& shot : options.Screenshots) {
            if (shot.Tick != tick) continue;
            try {
                if (!form.DXDraw.CanDraw()) throw EFileError("there is no picture to take");
                WritePng(shot.Path, form.DXDraw.BackSurface().ToImage());
            } catch (const std::exception& e) {
                outputFailed("--screenshot", shot, e.what());
            }
        }
        for (const auto& state : options.States) {
            if (state.Tick != tick) continue;
            try {
                WriteOutputFile(state.Path, StateJson(form, tick));
            } catch (const std::exception& e) {
                outputFailed("--state", state, e.what());
            }
        }
        outputsDone = tick;
        if ((recording || playing) && (tick + 1) % kDemoCheckEvery == 0) check(tick);
        if (!outOfStep.empty()) break;
        if (options.Ticks && tick + 1 >= *options.Ticks) break;
        if (playing && tick + 1 >= script.TickCount()) break;
        if (app.Terminated()) break;
    }
    if (recording || playing) check(tick);
    if (recorder) {
        recorder->WriteEnd(tick);
        if (!recorder->Good()) {
            app.ShowMessage("The demo file " + options.RecordFile + " could not be written whole.");
            return 2;
        }
    }
    if (playing && outOfStep.empty() && !playbackSink.ClosedByViewer) {
        const bool cutShort = options.Ticks && tick + 1 >= *options.Ticks;
        if (tick + 1 < script.TickCount() && !cutShort)
            outOfStep = Format("The demo went out of step: the game ended at tick %llu, the recorded run at tick %llu.",
                               static_cast<unsigned long long>(tick),
                               static_cast<unsigned long long>(script.TickCount() - 1));
    }
    // Outputs of ticks the run never reached: the game ended before them (a
    // test may mean that, so it is said, not failed).
    const std::pair<const char*, const std::vector<TTickOutput>*> outputs[] = {
        {"--screenshot", &options.Screenshots}, {"--state", &options.States}, {"--action", &options.Actions}};
    for (const auto& [name, list] : outputs)
        for (const TTickOutput& out : *list)
            if (!outputsDone || out.Tick > *outputsDone)
                std::fprintf(stderr, "varnok: %s %s@%llu: not done, the game ended at tick %llu\n", name,
                             out.Path.c_str(), static_cast<unsigned long long>(out.Tick),
                             static_cast<unsigned long long>(tick));
    if (!outOfStep.empty()) {
        app.ShowMessage(outOfStep);
        return 3;
    }
    if (playing && script.CutShortAtLine != 0) {
        // Played as far as it goes; a run that depends on it must know it
        // saw less than was recorded.
        app.ShowMessage(
            Format("The demo %s is cut short at line %d: it played up to tick %llu, as far as it goes.",
                   options.PlayFile.c_str(), script.CutShortAtLine, static_cast<unsigned long long>(tick)));
        return 3;
    }
    if (outputsFailed) return 2;
    return app.ExitCode();
}

// An error that no part of the run caught ends it: it is shown as a message
// box where a display exists, and always on standard error.
int ReportFatalError(platform::Application* app, const THarnessOptions& options, const std::string& text) {
    const bool levelTool =
        options.ExportLevel || !options.NewLevelFile.empty() || !options.InstallLevelFile.empty();
    if (app && app->StartError().empty()) {
        app->ShowMessage(text);
    } else if (!app && !levelTool && !options.Headless) {
        // Before the game had its display: one is opened for the box alone.
        platform::Application shower(false);
        shower.SetTitle("VARNOK (freeware version)");
        if (shower.StartError().empty())
            shower.ShowMessage(text);
        else
            std::fprintf(stderr, "varnok: %s\n", text.c_str());
    } else {
        std::fprintf(stderr, "varnok: %s\n", text.c_str());
    }
    return 1;
}

} // namespace

int RunGame(const THarnessOptions& options) {
    std::unique_ptr<platform::Application> app;
    try {
        return RunGameWith(options, app);
    } catch (const std::exception& e) {
        return ReportFatalError(app.get(), options, e.what());
    } catch (...) {
        return ReportFatalError(app.get(), options, "The game ended with an error of unknown kind.");
    }
}

} // namespace varnok
