#include "HoldBmc.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>

#include "Board/IpmiSimLink.h"

namespace boardboot {

void HoldBmc(board::IpmiSimProcess& simulator, std::ostream& out) {
  out << "board-boot: ipmi_sim (pid " << simulator.Pid() << ") keeps running until standard input ends or Enter:\n"
      << "  ipmitool " << simulator.IpmitoolOptions() << " sel list -v\n";
  out.flush();

  // The stop signals arrive as readable data, so the simulator is always stopped in order.
  sigset_t stops;
  sigemptyset(&stops);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stops, signal);
  sigset_t previous;
  ::sigprocmask(SIG_BLOCK, &stops, &previous);
  board::SocketFd signals(::signalfd(-1, &stops, SFD_CLOEXEC));

  while (simulator.Running()) {
    pollfd watched[] = {{STDIN_FILENO, POLLIN, 0}, {signals.Get(), POLLIN, 0}};
    int ready = ::poll(watched, signals.Valid() ? 2 : 1, 200);
    if (ready < 0 && errno != EINTR) break;
    if (ready <= 0) continue;
    if (watched[1].revents != 0) {
      signalfd_siginfo info{};  // consumed here, so it does not end board-boot once unblocked
      [[maybe_unused]] auto got = ::read(signals.Get(), &info, sizeof info);
      break;
    }
    if (watched[0].revents != 0) {
      char byte = 0;
      // End of input, an error or the end of a line: stop.
      if (::read(STDIN_FILENO, &byte, 1) <= 0 || byte == '\n') break;
    }
  }
  ::sigprocmask(SIG_SETMASK, &previous, nullptr);
}

}  // namespace boardboot
