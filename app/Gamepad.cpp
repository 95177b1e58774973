#include "app/Gamepad.h"

#include "app/GameState.h"

namespace varnok {

int GamePadKey(platform::PadButton button, char gameState) {
    if (button == platform::PadButton::Start && (gameState == gs::Playing || gameState == gs::Paused))
        return 'P';
    return platform::DefaultPadKey(button);
}

} // namespace varnok
