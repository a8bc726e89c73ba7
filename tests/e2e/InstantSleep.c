/*
 * Preloaded into orvauthctl by the end-to-end tests: sleep() returns at once,
 * so a join the library retries (30 seconds between attempts) finishes in
 * moments while every attempt still reaches the plug-in.
 */
#include <unistd.h>

__attribute__((visibility("default"))) unsigned int sleep(unsigned int seconds)
{
    (void)seconds;
    return 0;
}
