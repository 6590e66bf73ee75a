// Lets `perf record` sample one phase of a benchmark only. Started as
//
//   mkfifo /tmp/ctl /tmp/ack
//   VARDEL_PERF_CTL=/tmp/ctl VARDEL_PERF_ACK=/tmp/ack VARDEL_PERF_PHASE=restore
//   perf record -D -1 --control=fifo:/tmp/ctl,/tmp/ack -- bench_contacts_bench
//
// the benchmark enables the counters around the phase named in
// VARDEL_PERF_PHASE and leaves them off elsewhere. Without those variables
// it does nothing.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

class PerfPhase {
 public:
  explicit PerfPhase(std::string_view phase) {
    const char* want = std::getenv("VARDEL_PERF_PHASE");
    if (want == nullptr || phase != want) return;
    send("enable");
    on_ = true;
  }
  ~PerfPhase() {
    if (on_) send("disable");
  }
  PerfPhase(const PerfPhase&) = delete;
  PerfPhase& operator=(const PerfPhase&) = delete;

 private:
  // perf answers each command on the ack fifo; waiting for it keeps the
  // phase's first samples.
  static void send(const char* command) {
    const char* ctl = std::getenv("VARDEL_PERF_CTL");
    const char* ack = std::getenv("VARDEL_PERF_ACK");
    if (ctl == nullptr) return;
    if (FILE* f = std::fopen(ctl, "w")) {
      std::fprintf(f, "%s\n", command);
      std::fclose(f);
    }
    if (ack == nullptr) return;
    if (FILE* f = std::fopen(ack, "r")) {
      char buf[16];
      (void)std::fgets(buf, sizeof buf, f);
      std::fclose(f);
    }
  }
  bool on_ = false;
};
