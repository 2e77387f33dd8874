// besttime RUNS COMMAND [ARGUMENT...]: runs the command RUNS times, its
// standard output to /dev/null, and prints the least wall time of one run in
// seconds. Started with posix_spawn, so that what it adds to each run is far
// less than a shell's fork would, and the same for a program and its anchor.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

namespace {

double now()
{
    timespec time{};
    clock_gettime(CLOCK_MONOTONIC, &time);
    return double(time.tv_sec) + double(time.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char *argv[])
{
    const int runs = argc > 2 ? std::atoi(argv[1]) : 0;
    if (runs <= 0) {
        std::fprintf(stderr, "usage: besttime RUNS COMMAND [ARGUMENT...]\n");
        return 2;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    double best = 0;
    for (int run = 0; run < runs; ++run) {
        const double start = now();
        pid_t child = 0;
        if (const int error = posix_spawnp(&child, argv[2], &actions, nullptr, argv + 2, environ)) {
            std::fprintf(stderr, "besttime: could not start %s: %s\n", argv[2],
                         std::strerror(error));
            return 1;
        }
        int status = 0;
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        const double elapsed = now() - start;
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "besttime: %s failed (status %d)\n", argv[2], status);
            return 1;
        }
        if (run == 0 || elapsed < best)
            best = elapsed;
    }
    std::printf("%.6f\n", best);
    return 0;
}
