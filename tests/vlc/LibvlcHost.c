// SPDX-License-Identifier: BSD-2-Clause
// Plays one file through libvlc, VLC's own library and modules, with the
// options the vlc command takes, and returns when it has ended, as
// `vlc --play-and-exit` does. For the sanitizer build: the vlc command hangs
// at start-up, in glibc's gettext lock, with the sanitizer's runtime
// preloaded, while this program simply links it.
//
//   qf25_vlc_host OPTION... FILE
#include <vlc/vlc.h>

#include <stdio.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: %s OPTION... FILE\n", argv[0]);
        return 2;
    }
    libvlc_instance_t* vlc = libvlc_new(argc - 2, (const char* const*)argv + 1);
    if (vlc == NULL) {
        fprintf(stderr, "%s: libvlc does not start with these options\n", argv[0]);
        return 1;
    }
    libvlc_media_t* media = libvlc_media_new_path(vlc, argv[argc - 1]);
    libvlc_media_player_t* player = libvlc_media_player_new_from_media(media);
    libvlc_media_release(media);
    libvlc_media_player_play(player);
    libvlc_state_t state;
    do {
        usleep(20000);
        state = libvlc_media_player_get_state(player);
    } while (state != libvlc_Ended && state != libvlc_Error);
    libvlc_media_player_release(player);
    libvlc_release(vlc);
    return 0;
}
