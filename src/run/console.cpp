#include "run/console.h"

#include "dataset/signals.h"

#ifdef _WIN32
#include <conio.h>
#include <io.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

namespace scab {

void console_getch(FILE* in) {
#ifdef _WIN32
  if (_isatty(_fileno(in))) {
    _getch();
    return;
  }
#else
  const int fd = fileno(in);
  termios saved;
  if (isatty(fd) && tcgetattr(fd, &saved) == 0) {
    termios raw = saved;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    // A signal meanwhile (Ctrl+C) puts the modes back before the program ends: a shell that
    // does not would be left without echo.
    remember_terminal_modes(fd, saved);
    tcsetattr(fd, TCSANOW, &raw);
    char key;
    ssize_t ignored = read(fd, &key, 1);
    (void)ignored;
    tcsetattr(fd, TCSANOW, &saved);
    forget_terminal_modes();
    return;
  }
#endif
  fgetc(in);
}

bool is_terminal(FILE* stream) {
#ifdef _WIN32
  return _isatty(_fileno(stream)) != 0;
#else
  return isatty(fileno(stream)) != 0;
#endif
}

}  // namespace scab
