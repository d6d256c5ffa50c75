// ptyhold: a card slot with nothing answering. Creates a pseudo-terminal in raw mode, writes
// the path of its slave side (to standard output, or to FILE with -o), and holds it open until
// killed, recording every byte the program on the other side writes (to LOG with -l).
//   ptyhold [-o FILE] [-l LOG]
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

int main(int argc, char **argv) {
    const char *path_file = nullptr, *log_file = nullptr;
    int opt;
    while ((opt = getopt(argc, argv, "o:l:")) != -1) {
        if (opt == 'o')
            path_file = optarg;
        else if (opt == 'l')
            log_file = optarg;
        else {
            fprintf(stderr, "usage: ptyhold [-o FILE] [-l LOG]\n");
            return 2;
        }
    }
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) < 0 || unlockpt(master) < 0) {
        perror("ptyhold: posix_openpt");
        return 1;
    }
    const char *slave = ptsname(master);
    // Hold the slave too, so the line keeps its raw settings between users.
    int held = open(slave, O_RDWR | O_NOCTTY);
    termios tio;
    if (held < 0 || tcgetattr(held, &tio) < 0) {
        perror("ptyhold: slave");
        return 1;
    }
    cfmakeraw(&tio);
    tcsetattr(held, TCSANOW, &tio);

    if (path_file) {
        FILE *f = fopen(path_file, "w");
        if (!f) {
            perror(path_file);
            return 1;
        }
        fprintf(f, "%s\n", slave);
        fclose(f);
    } else {
        printf("%s\n", slave);
        fflush(stdout);
    }
    int log = log_file ? open(log_file, O_WRONLY | O_CREAT | O_APPEND, 0644) : -1;
    char buf[4096];
    for (;;) {
        ssize_t n = read(master, buf, sizeof buf);
        if (n > 0 && log >= 0 && write(log, buf, static_cast<size_t>(n)) < 0) break;
        if (n < 0) pause();  // no program on the other side yet: sleep until killed
    }
    return 0;
}
