#pragma once
// What a gamepad's controls mean to the game: the keys they stand for.
#include "platform/GameController.h"

namespace varnok {

// The key a pad control stands for in the given game state. Start is Enter
// on the title, the credits and the messages, and the pause key (P) while a
// level is played or paused, where Enter means nothing.
int GamePadKey(platform::PadButton button, char gameState);

} // namespace varnok
