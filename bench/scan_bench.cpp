// kestrel7 scan in real time:
// - 64 silent polling addresses on a 1200-baud line (the pty test transmitter pacing its bytes):
//   one attempt each at HART's time-out, where three would take 92 s;
// - the test gateway's three sub-devices over loopback HART-IP (UDP), replies not held.
// Run: build/bench/bench/scan_bench (scripts/bench builds it in Release).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <memory>

#include "app/scan_command.h"
#include "hart/hart_ip_link.h"
#include "tests/support/gateway_model.h"
#include "tests/support/hart_ip_server.h"
#include "tests/support/test_transmitter.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

void BM_ScanSilentLine(benchmark::State& state) {
  testhart::TestTransmitter line;
  line.SetPaced(true);
  line.SetBehaviour(testhart::TestTransmitter::Behaviour::Silent);
  ScanArgs args;
  args.port = line.Device();
  std::FILE* sink = std::tmpfile();
  for (auto _ : state) {
    const auto start = Clock::now();
    RunScan(args, sink, sink);
    state.SetIterationTime(Seconds(start));
  }
  state.counters["requests"] = static_cast<double>(line.Requests().size());
  std::fclose(sink);
}
BENCHMARK(BM_ScanSilentLine)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_ScanGateway(benchmark::State& state) {
  testhart::GatewayModel gateway;
  testhart::HartIpServer server(testhart::HartIpServer::Transport::Udp, gateway.Function());
  ScanSeams seams;
  seams.gateway = true;
  seams.makeLink = [&] {
    hart::HartIpOptions options;
    std::string error;
    return std::unique_ptr<hart::Link>(hart::HartIpLink::Open(server.Address(), options, error));
  };
  std::FILE* sink = std::tmpfile();
  for (auto _ : state) {
    const auto start = Clock::now();
    RunScan(ScanArgs{}, sink, sink, seams);
    state.SetIterationTime(Seconds(start));
  }
  std::fclose(sink);
}
BENCHMARK(BM_ScanGateway)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
