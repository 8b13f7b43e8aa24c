// Preloaded (LD_PRELOAD) to make glibc's get_nprocs(), and through it
// std::thread::hardware_concurrency(), report JDPRICER_FAKE_CORES cores. The
// worker pool sizes itself from that count, so the thread tests can run as
// on a 1-core and on a 64-core machine, whatever this one has.
#include <cstdlib>

extern "C" int get_nprocs() {
  const char* cores = std::getenv("JDPRICER_FAKE_CORES");
  return cores != nullptr ? std::atoi(cores) : 1;
}

extern "C" int get_nprocs_conf() { return get_nprocs(); }
