// Placeholder until the sound back end lands.
#include "sound.h"

namespace glidor::sound {

void play(const char *) {}

} // namespace glidor::sound
