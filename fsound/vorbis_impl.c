/* The Ogg Vorbis decoder, compiled once from the system's stb_vorbis.h. */
#include <stb_vorbis.h>
