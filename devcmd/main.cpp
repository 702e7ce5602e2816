// devcmd: one vendor request (or one series of file chunks) to one player per run; the
// result is the exit value.
#include <string>
#include <vector>

#include "devcmd/devcmd.h"
#include "devcmd/result_exit.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv, argv + argc);
  devcmd::StdoutOutput out;
  return devcmd::finish(devcmd::run(args, out));
}
